#pragma once

#include "container_avi.h"
#include "parse_run.h"

/// What one walk of the AVI parser over a file reported.
struct AviParse : ParseRun
{
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
    runParser(parse, parser, fileName);
}

inline void parseAviBytes(AviParse *parse, const QByteArray &bytes)
{
    ContainerAVI parser;
    runParser(parse, parser, bytes, QStringLiteral("avi"));
}
