#pragma once

#include "byte_builder.h"
#include "container_abstract.h"
#include "container_driver.h"
#include "recording_sink.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryFile>

#include <functional>
#include <memory>
#include <vector>

/// Helpers shared by the ISO parser tests: run a parser over bytes, build movies, check trees.
namespace IsoTest {

using Factory = std::function<std::unique_ptr<ContainerAbstract>()>;

struct Result
{
    RecordingSink sink;
    ContainerDriver::Outcome outcome;
    bool ran = false;
};

/// Writes bytes to a temporary file and runs the parser of factory over it.
inline void parse(Result *result, const Factory &factory, const QByteArray &bytes,
                  const ParseOptions &options = ParseOptions())
{
    QTemporaryFile file;
    if (!file.open())
        return;
    file.write(bytes);
    file.close();
    std::unique_ptr<ContainerAbstract> parser = factory();
    result->outcome = ContainerDriver::run(*parser, file.fileName(), result->sink, options);
    result->ran = true;
}

/// Every element inside its parent and inside the file; the first offender, or an empty text.
inline QString misplaced(RecordingSink &sink, qint64 fileSize)
{
    std::vector<const ElementRecord *> path;
    for (const ElementRecord &record : sink.elements()) {
        while (!path.empty() && path.back()->id != record.parentId)
            path.pop_back();
        const qint64 end = record.offset + record.size;
        if (record.offset < 0 || end > fileSize * 8)
            return QStringLiteral("%1@%2+%3 lies outside the file").arg(record.name).arg(record.offset / 8).arg(record.size / 8);
        if (record.parentId != 0) {
            if (path.empty())
                return QStringLiteral("%1 has a parent that is not open").arg(record.name);
            const ElementRecord *parent = path.back();
            if (record.offset < parent->offset || end > parent->offset + parent->size)
                return QStringLiteral("%1@%2+%3 lies outside %4@%5+%6")
                    .arg(record.name).arg(record.offset / 8).arg(record.size / 8)
                    .arg(parent->name).arg(parent->offset / 8).arg(parent->size / 8);
        }
        path.push_back(&record);
    }
    return QString();
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

} // namespace IsoTest
