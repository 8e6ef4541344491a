#pragma once

#include "container_avi.h"
#include "container_driver.h"
#include "recording_sink.h"

#include <QDir>
#include <QTemporaryFile>
#include <QTest>

/// What one walk of the AVI parser over a file reported.
struct AviParse
{
    RecordingSink sink;
    ContainerDriver::Outcome outcome;

    /// The first element named name whose parent is named parentName.
    const ElementRecord *field(const QString &parentName, const QString &name)
    {
        const std::vector<ElementRecord> &all = sink.elements();
        for (const ElementRecord &record : all) {
            if (record.name != name)
                continue;
            for (const ElementRecord &parent : all)
                if (parent.id == record.parentId && parent.name == parentName)
                    return &record;
        }
        return nullptr;
    }

    QString value(const QString &parentName, const QString &name)
    {
        const ElementRecord *record = field(parentName, name);
        return record ? record->value : QStringLiteral("<missing>");
    }

    QString readable(const QString &parentName, const QString &name)
    {
        const ElementRecord *record = field(parentName, name);
        return record ? record->readable : QStringLiteral("<missing>");
    }

    int count(const QString &name)
    {
        int n = 0;
        for (const ElementRecord &record : sink.elements())
            n += record.name == name;
        return n;
    }
};

inline void parseAviFile(AviParse *parse, const QString &fileName)
{
    ContainerAVI parser;
    parse->outcome = ContainerDriver::run(parser, fileName, parse->sink, ParseOptions());
}

inline void parseAviBytes(AviParse *parse, const QByteArray &bytes)
{
    QTemporaryFile file(QDir::tempPath() + QStringLiteral("/kestrune-avi-XXXXXX.avi"));
    QVERIFY(file.open());
    QCOMPARE(file.write(bytes), qint64(bytes.size()));
    file.close();
    parseAviFile(parse, file.fileName());
}

/// Every element lies inside its parent and inside the file; returns the first one that does
/// not, as its compact text, or an empty text.
inline QString firstOutside(RecordingSink &sink, qint64 fileSize)
{
    const std::vector<ElementRecord> &all = sink.elements();
    QHash<qint64, const ElementRecord *> byId;
    for (const ElementRecord &record : all)
        byId.insert(record.id, &record);
    for (const ElementRecord &record : all) {
        const qint64 end = record.offset + record.size;
        bool inside = record.offset >= 0 && record.size >= 0 && end <= fileSize * 8;
        if (const ElementRecord *parent = byId.value(record.parentId, nullptr))
            inside = inside && record.offset >= parent->offset && end <= parent->offset + parent->size;
        if (!inside)
            return QStringLiteral("%1@%2+%3").arg(record.name).arg(record.offset / 8).arg(record.size / 8);
    }
    return QString();
}
