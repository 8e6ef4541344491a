#pragma once

#include "byte_builder.h"
#include "parse_run.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

/// Helpers shared by the ISO parser tests: run a parser over bytes, build movies, check trees.
namespace IsoTest {

using Factory = std::function<std::unique_ptr<ContainerAbstract>()>;

using Result = ParseRun;

/// Writes bytes to a temporary file and runs the parser of factory over it.
inline void parse(Result *result, const Factory &factory, const QByteArray &bytes,
                  const ParseOptions &options = ParseOptions())
{
    std::unique_ptr<ContainerAbstract> parser = factory();
    runParser(result, *parser, bytes, QStringLiteral("mp4"), options);
}

/// The deepest level of any element.
inline int deepest(RecordingSink &sink)
{
    int level = 0;
    for (const ElementRecord &record : sink.elements())
        level = qMax(level, record.level);
    return level;
}

/// Every note, in element order.
inline QStringList notes(RecordingSink &sink)
{
    QStringList all;
    for (const ElementRecord &record : sink.elements())
        if (sink.notes.contains(record.id))
            all << sink.notes.value(record.id);
    return all;
}

/// A movie whose only track has the handler type given and whose "stbl" holds tables.
inline QByteArray movie(const char *handler, const ByteBuilder::Body &tables)
{
    ByteBuilder b;
    b.box("moov", [&](ByteBuilder &moov) {
        moov.box("trak", [&](ByteBuilder &trak) {
            trak.box("mdia", [&](ByteBuilder &mdia) {
                mdia.fullBox("hdlr", 0, 0, [&](ByteBuilder &h) { h.u32be(0).fourcc(handler).zeros(12).text("h").u8(0); });
                mdia.box("minf", [&](ByteBuilder &minf) { minf.box("stbl", tables); });
            });
        });
    });
    return b.bytes();
}

/// A full box of 32-bit words, as the sample tables are: words(b, "stco", {2, 1000, 2000}).
inline void words(ByteBuilder &b, const char *type, const QList<quint32> &values)
{
    b.fullBox(type, 0, 0, [&](ByteBuilder &t) {
        for (quint32 value : values)
            t.u32be(value);
    });
}

/// The frames as "offset+size" with "*" for a key frame and "@time" (and "s<stream>:" before
/// each when streams is set), joined by spaces.
inline QString frames(const RecordingSink &sink, bool streams = false)
{
    QStringList list;
    for (const FrameRecord &frame : sink.frames)
        list << (streams ? QStringLiteral("s%1:").arg(frame.stream) : QString())
                + QStringLiteral("%1+%2%3@%4").arg(frame.offset).arg(frame.size)
                      .arg(frame.keyFrame ? QStringLiteral("*") : QString()).arg(frame.time);
    return list.join(QLatin1Char(' '));
}

/// The readable values of the elements named name whose parent is named parent, joined by " | ".
inline QString readablesUnder(const RecordingSink &sink, const QString &parent, const QString &name)
{
    const std::vector<ElementRecord> &all = sink.elements();
    QStringList list;
    for (const ElementRecord &record : all)
        if (record.name == name && record.parentId > 0 && all[size_t(record.parentId - 1)].name == parent)
            list << record.readable;
    return list.join(QStringLiteral(" | "));
}

} // namespace IsoTest
