#pragma once

#include "container_abstract.h"
#include "container_driver.h"
#include "recording_sink.h"
#include "tree_shape.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryFile>

/// What one run of a parser over a file reported.
struct ParseRun
{
    RecordingSink sink;
    ContainerDriver::Outcome outcome;
    bool ran = false;

    /// The first way the tree breaks its shape in a file of fileBytes (TreeShape::fault), or "".
    QString shapeFault(qint64 fileBytes) const { return TreeShape::fault(sink.elements(), fileBytes * 8); }
};

/// Runs parser over the file at path.
inline void runParser(ParseRun *run, ContainerAbstract &parser, const QString &path,
                      const ParseOptions &options = ParseOptions())
{
    run->outcome = ContainerDriver::run(parser, path, run->sink, options);
    run->ran = true;
}

/// Writes bytes to a temporary file named "*.suffix" (parsers that decide by the name need it)
/// and runs parser over it; run->ran stays false when the file cannot be written.
inline void runParser(ParseRun *run, ContainerAbstract &parser, const QByteArray &bytes,
                      const QString &suffix, const ParseOptions &options = ParseOptions())
{
    QTemporaryFile file(QDir::tempPath() + QStringLiteral("/kestrune-XXXXXX.") + suffix);
    if (!file.open() || file.write(bytes) != bytes.size())
        return;
    file.close();
    runParser(run, parser, file.fileName(), options);
}
