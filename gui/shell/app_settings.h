#pragma once

class QSettings;

/// The program's one settings store (organisation "Orvane", application "Kestrune", native
/// format, user scope). Created on first use, safely against two threads racing for it, and
/// destroyed at process exit. Every class of the program reads and writes settings through it.
QSettings &appSettings();
