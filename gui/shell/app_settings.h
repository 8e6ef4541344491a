#pragma once

class QSettings;

/// The program's one settings store (organisation "Orvane", application "Kestrune", native
/// format, user scope). Created on first use, safely against two threads racing for it, and
/// destroyed at process exit. Every class of the program reads and writes settings through it.
QSettings &appSettings();

namespace AppSettingsKeys {

/// The last files opened, most recent first: a list of full paths, at most recentFilesLimit.
inline constexpr char recentFiles[] = "main/recent_files";
inline constexpr int recentFilesLimit = 10;

} // namespace AppSettingsKeys
