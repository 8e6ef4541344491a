#pragma once

#include <QString>

/// The engine alone on file, on a worker thread as the tree widget runs it, into ":memory:":
/// the milliseconds of parseFile, or -1 when it fails (with the engine's message in *error).
/// The connection is removed afterwards.
double engineParseMilliseconds(const QString &file, QString *error = nullptr);
