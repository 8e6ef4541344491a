#pragma once

#include "container_mkv.h"
#include "parse_run.h"

/// What one walk of the Matroska parser over a file reported.
struct MkvParse : ParseRun
{
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
    runParser(parse, parser, fileName, options);
}

inline void parseMkvBytes(MkvParse *parse, const QByteArray &bytes,
                          const ParseOptions &options = ParseOptions())
{
    ContainerMKV parser;
    runParser(parse, parser, bytes, QStringLiteral("mkv"), options);
}
