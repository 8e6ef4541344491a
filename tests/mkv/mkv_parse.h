#pragma once

#include "container_driver.h"
#include "container_mkv.h"
#include "recording_sink.h"

#include <QDir>
#include <QTemporaryFile>
#include <QTest>

/// What one walk of the Matroska parser over a file reported.
struct MkvParse
{
    RecordingSink sink;
    ContainerDriver::Outcome outcome;

    /// The EBML elements only (every group that begins with an "id" field), without the fields.
    std::vector<ElementRecord> elements() const
    {
        std::vector<ElementRecord> groups;
        const std::vector<ElementRecord> &all = sink.elements();
        for (size_t i = 0; i + 1 < all.size(); ++i)
            if (all[i + 1].parentId == all[i].id && all[i + 1].name == QLatin1String("id"))
                groups.push_back(all[i]);
        return groups;
    }
};

inline void parseMkvFile(MkvParse *parse, const QString &fileName,
                         const ParseOptions &options = ParseOptions())
{
    ContainerMKV parser;
    parse->outcome = ContainerDriver::run(parser, fileName, parse->sink, options);
}

inline void parseMkvBytes(MkvParse *parse, const QByteArray &bytes,
                          const ParseOptions &options = ParseOptions())
{
    QTemporaryFile file(QDir::tempPath() + QStringLiteral("/kestrune-mkv-XXXXXX.mkv"));
    QVERIFY(file.open());
    QCOMPARE(file.write(bytes), qint64(bytes.size()));
    file.close();
    parseMkvFile(parse, file.fileName(), options);
}
