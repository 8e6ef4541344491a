// The file-type, movie, track and media header boxes, the handler, media header and edit list
// boxes (ISO/IEC 14496-12, 4.3 and 8.2 to 8.6).

#include "container_iso.h"

#include "byte_reader.h"
#include "registered_codes.h"
#include "status.h"
#include "summary_text.h"

#include <QDateTime>
#include <QStringDecoder>

#include <algorithm>

namespace {

// Seconds from 1904-01-01 (the ISO epoch) to 1970-01-01.
constexpr quint64 isoEpochOffset = 2082844800;

// Four bytes as text up to the first zero byte, as a box type is read.
QString fourCharacters(const ByteReader &reader, qsizetype at)
{
    const QByteArray bytes = reader.bytes(at, 4);
    return QString::fromLatin1(bytes.constData(), qsizetype(qstrnlen(bytes.constData(), size_t(bytes.size()))));
}

bool isUtf8(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString decoded = decoder(bytes);
    return !decoder.hasError();
}

// Bytes of UTF-8 text without control characters.
bool isText(const QByteArray &bytes)
{
    return isUtf8(bytes) && std::none_of(bytes.cbegin(), bytes.cend(), [](char c) { return uchar(c) < 0x20; });
}

} // namespace

int ContainerIso::parseFileType(quint64 offset, quint64 size)
{
    const QByteArray payload = readAt(offset, size);
    const ByteReader reader(payload);
    addField(offset, 4, QStringLiteral("major_brand"), fourCharacters(reader, 0));
    const auto hex = [&reader](qsizetype at) {
        return QStringLiteral("%1").arg(uint(reader.u8(at)), 2, 16, QLatin1Char('0'));
    };
    addField(offset + 4, 4, QStringLiteral("minor_version"),
             QStringLiteral("%1%2.%3.%4").arg(hex(4), hex(5), hex(6), hex(7)));
    if (size > 8) {
        beginGroup(offset + 8, size - 8, QStringLiteral("compatible_brands"), -1);
        // Every started group of four bytes is a brand.
        for (quint64 at = 8; at < size; at += 4)
            addField(offset + at, 4, QStringLiteral("brand"), fourCharacters(reader, qsizetype(at)));
        endGroup();
    }
    return Status::Success;
}

int ContainerIso::parseBoxMDAT(quint64 offset, quint64 size)
{
    addField(offset, size, QStringLiteral("media_data"), QString());
    return Status::Success;
}

// mvhd: creation_time, modification_time (w), timescale (4), duration (w), rate (4),
// volume (2), reserved (2 + 8), matrix (36), pre_defined (24), next_track_ID (4);
// w = 8 for version 1, else 4.
int ContainerIso::parseBoxMVHD(quint64 offset, quint64 size)
{
    const bool wide = fullBoxVersion == 1;
    const quint64 w = wide ? 8 : 4;
    const quint64 needed = wide ? 108 : 96;
    const QByteArray payload = readAt(offset, qMin<quint64>(size, 108));
    if (quint64(payload.size()) < needed) {
        addNote(QStringLiteral("The box ends before its fixed fields: %1 of %2 bytes.").arg(payload.size()).arg(needed));
        return Status::UnexpectedEnd;
    }
    const ByteReader reader(payload);
    const auto value = [&reader, wide](qsizetype at) { return wide ? reader.u64be(at) : reader.u32be(at); };
    const auto time = [&](quint64 at, const QString &name) {
        quint64 seconds = value(qsizetype(at));
        if (seconds > isoEpochOffset)
            seconds -= isoEpochOffset;
        const QDateTime instant = QDateTime::fromSecsSinceEpoch(qint64(quint32(seconds)));
        addField(offset + at, w, name, number(seconds), QString(),
                 instant.toString(QStringLiteral("dd-MM-yyyy hh:mm:ss")));
    };
    time(0, QStringLiteral("creation_time"));
    time(w, QStringLiteral("modification_time"));
    const quint32 timescale = reader.u32be(qsizetype(2 * w));
    addField(offset + 2 * w, 4, QStringLiteral("timescale"), number(timescale), QString(),
             QStringLiteral("in 1/%1 s").arg(timescale));
    addField(offset + 2 * w + 4, w, QStringLiteral("duration"), number(value(qsizetype(2 * w + 4))));
    const qsizetype at = qsizetype(3 * w);
    const quint32 rate = reader.u32be(at + 4);
    const quint16 volume = reader.u16be(at + 8);
    addField(offset + at + 4, 4, QStringLiteral("rate"), fixed16(rate, true), fixedPointText(qint32(rate), 16));
    addField(offset + at + 8, 2, QStringLiteral("volume"), fixed8(volume, false), fixedPointText(qint16(volume), 8));
    addField(offset + at + 10, 2, QStringLiteral("reserved"), number(reader.u16be(at + 10)));
    addField(offset + at + 12, 8, QStringLiteral("reserved"), wordList(reader, at + 12, 2));
    addField(offset + at + 20, 36, QStringLiteral("transformation_matrix"), wordList(reader, at + 20, 9), QString(),
             QStringLiteral("(u, v, w)"));
    addField(offset + at + 56, 24, QStringLiteral("pre_defined"), wordList(reader, at + 56, 6));
    addField(offset + at + 80, 4, QStringLiteral("next_track_ID"), number(reader.u32be(at + 80)));
    return Status::Success;
}

// tkhd: creation_time, modification_time (w), track_ID (4), reserved (4), duration (w),
// reserved (8), layer (2), alternate_group (2), volume (2), reserved (2), matrix (36),
// width (4), height (4).
int ContainerIso::parseBoxTKHD(quint64 offset, quint64 size)
{
    const bool wide = fullBoxVersion == 1;
    const quint64 w = wide ? 8 : 4;
    const quint64 needed = wide ? 92 : 80;
    const QByteArray payload = readAt(offset, qMin<quint64>(size, 92));
    if (quint64(payload.size()) < needed) {
        addNote(QStringLiteral("The box ends before its fixed fields: %1 of %2 bytes.").arg(payload.size()).arg(needed));
        return Status::UnexpectedEnd;
    }
    const ByteReader reader(payload);
    const auto value = [&reader, wide](quint64 at) {
        return wide ? reader.u64be(qsizetype(at)) : reader.u32be(qsizetype(at));
    };
    addField(offset, w, QStringLiteral("creation_time"), number(value(0)));
    addField(offset + w, w, QStringLiteral("modification_time"), number(value(w)));
    const quint32 trackId = reader.u32be(qsizetype(2 * w));
    addField(offset + 2 * w, 4, QStringLiteral("track_id"), number(trackId));
    if (TrackSampleTables *track = currentTrack())
        track->trackId = trackId;
    addField(offset + 2 * w + 4, 4, QStringLiteral("reserved"), number(reader.u32be(qsizetype(2 * w + 4))));
    addField(offset + 2 * w + 8, w, QStringLiteral("duration"), number(value(2 * w + 8)));
    const qsizetype at = qsizetype(3 * w);
    addField(offset + at + 8, 8, QStringLiteral("reserved"), wordList(reader, at + 8, 2));
    addField(offset + at + 16, 2, QStringLiteral("layer"), signedNumber(qint16(reader.u16be(at + 16))));
    addField(offset + at + 18, 2, QStringLiteral("alternate_group"), signedNumber(qint16(reader.u16be(at + 18))));
    const quint16 volume = reader.u16be(at + 20);
    addField(offset + at + 20, 2, QStringLiteral("volume"), fixed8(volume, false), fixedPointText(qint16(volume), 8));
    addField(offset + at + 22, 2, QStringLiteral("reserved"), number(reader.u16be(at + 22)));
    addField(offset + at + 24, 36, QStringLiteral("transformation_matrix"), wordList(reader, at + 24, 9), QString(),
             QStringLiteral("(u, v, w)"));
    const quint32 width = reader.u32be(at + 60);
    const quint32 height = reader.u32be(at + 64);
    addField(offset + at + 60, 4, QStringLiteral("width"), fixed16(width, false), fixedPointText(width, 16));
    addField(offset + at + 64, 4, QStringLiteral("height"), fixed16(height, false), fixedPointText(height, 16));
    return Status::Success;
}

// mdhd: creation_time, modification_time (w), timescale (4), duration (w), then one 16-bit word
//   pad(1) language(15: three 5-bit letters, each 0x60 less, or a Macintosh language code in
//   QuickTime) and pre_defined (2).
int ContainerIso::parseBoxMDHD(quint64 offset, quint64 size)
{
    const bool wide = fullBoxVersion == 1;
    const quint64 w = wide ? 8 : 4;
    const quint64 needed = wide ? 32 : 20;
    const QByteArray payload = readAt(offset, qMin(size, needed));
    if (quint64(payload.size()) < needed) {
        addNote(QStringLiteral("The box ends before its fixed fields: %1 of %2 bytes.").arg(payload.size()).arg(needed));
        return Status::UnexpectedEnd;
    }
    const ByteReader reader(payload);
    const auto value = [&reader, wide](quint64 at) {
        return wide ? reader.u64be(qsizetype(at)) : reader.u32be(qsizetype(at));
    };
    addField(offset, w, QStringLiteral("creation_time"), number(value(0)));
    addField(offset + w, w, QStringLiteral("modification_time"), number(value(w)));
    const quint32 timescale = reader.u32be(qsizetype(2 * w));
    addField(offset + 2 * w, 4, QStringLiteral("timescale"), number(timescale));
    addField(offset + 2 * w + 4, w, QStringLiteral("duration"), number(value(2 * w + 4)));
    // The track's frame times count ticks of its media timescale.
    if (StreamRecord *stream = currentStream())
        stream->timescale = timescale;
    const quint64 at = 3 * w + 4;
    addPackedLanguage(offset + at, reader.u16be(qsizetype(at)));
    addField(offset + at + 2, 2, QStringLiteral("pre_defined"), number(reader.u16be(qsizetype(at + 2))));
    return Status::Success;
}

// hdlr: pre_defined (4), handler_type (4), reserved (3 x 4), name (to the end, zero-terminated).
// QuickTime calls pre_defined the component type ("mhlr" for a media handler, "dhlr" for a data
// handler) and the reserved words the component manufacturer, flags and flags mask, and writes
// the name as a Pascal string: a length byte, then the text.
int ContainerIso::parseBoxHDLR(quint64 offset, quint64 size)
{
    // The fixed fields and the longest Pascal name; a longer name is read where it is shown.
    const QByteArray payload = readAt(offset, qMin<quint64>(size, 21 + 255));
    const ByteReader reader(payload);
    const QString componentType = printableCode(reader.u32be(0));
    const bool component = componentType == QLatin1String("mhlr") || componentType == QLatin1String("dhlr");
    const QString handlerType = fourCharacters(reader, 4);
    addField(offset, 4, QStringLiteral("pre_defined"), number(reader.u32be(0)), componentType);
    addField(offset + 4, 4, QStringLiteral("handler_type"), handlerType, RegisteredCodes::instance().handler(handlerType));
    const char *roles[] = {"component manufacturer", "component flags", "component flags mask"};
    for (qsizetype i = 0; i < 3; ++i) {
        const quint32 word = reader.u32be(8 + 4 * i);
        const QString code = i == 0 ? printableCode(word) : QString();
        const QString readable = component || word != 0
                                     ? QStringLiteral("%1: %2").arg(QLatin1String(roles[i]), code.isEmpty() ? number(word) : code)
                                     : QString();
        addField(offset + 8 + quint64(4 * i), 4, QStringLiteral("reserved"), number(word), readable);
    }
    if (size > 20)
        addHandlerName(reader, offset + 20, size - 20, component);
    handlerFound(handlerType);
    return Status::Success;
}

// The name of a QuickTime component is a Pascal string; so is a name whose first byte counts
// the text bytes after it exactly. Any other name is zero-terminated. reader holds the payload,
// whose name, size bytes, begins at offset.
void ContainerIso::addHandlerName(const ByteReader &reader, quint64 offset, quint64 size, bool component)
{
    const uint length = reader.u8(20);
    const quint64 following = size - 1;
    const QByteArray text = reader.bytes(21, qsizetype(length));
    const bool pascal = component ? length <= following || length < 0x20
                                  : length > 0 && length == following && isText(text);
    if (!pascal) {
        addField(offset, size, QStringLiteral("name"), textAt(offset, size));
        return;
    }
    addField(offset, 1, QStringLiteral("name_length"), number(length));
    if (length > 0)
        addField(offset + 1, length, QStringLiteral("name"), textAt(offset + 1, fit(offset + 1, length), !isUtf8(text)));
    if (length < following)
        addField(offset + 1 + length, following - length, QStringLiteral("padding"), QString());
}

int ContainerIso::parseBoxVMHD(quint64 offset, quint64 size)
{
    const QByteArray payload = readAt(offset, qMin<quint64>(size, 8));
    const ByteReader reader(payload);
    const quint16 mode = reader.u16be(0);
    addField(offset, 2, QStringLiteral("graphicsmode"), number(mode), QString(),
             mode == 0 ? QStringLiteral("Copy over existing image.") : QString());
    addField(offset + 2, 6, QStringLiteral("opcolor"),
             QStringLiteral("%1, %2, %3").arg(reader.u16be(2)).arg(reader.u16be(4)).arg(reader.u16be(6)), QString(),
             QStringLiteral("red, green, blue"));
    return Status::Success;
}

int ContainerIso::parseBoxSMHD(quint64 offset, quint64 size)
{
    const QByteArray payload = readAt(offset, qMin<quint64>(size, 4));
    const ByteReader reader(payload);
    const quint16 balance = reader.u16be(0);
    addField(offset, 2, QStringLiteral("balance"), fixed8(balance, true), fixedPointText(qint16(balance), 8));
    addField(offset + 2, 2, QStringLiteral("reserved"), number(reader.u16be(2)));
    return Status::Success;
}

// QuickTime base media information (gmhd/gmin): graphicsmode (2), opcolor (6), balance (2),
// reserved (2).
int ContainerIso::parseBoxGMIN(quint64 offset, quint64 size)
{
    const int status = parseBoxVMHD(offset, size);
    const QByteArray payload = readAt(offset + 8, qMin<quint64>(size > 8 ? size - 8 : 0, 4));
    const ByteReader reader(payload);
    const quint16 balance = reader.u16be(0);
    addField(offset + 8, 2, QStringLiteral("balance"), fixed8(balance, true), fixedPointText(qint16(balance), 8));
    addField(offset + 10, 2, QStringLiteral("reserved"), number(reader.u16be(2)));
    return status;
}

// A "text" box in "gmhd" holds the text track's matrix (9 words); elsewhere its bytes are data.
int ContainerIso::parseBoxGmhdText(quint64 offset, quint64 size)
{
    if (enclosingBox(1) != QLatin1String("gmhd")) {
        addField(offset, size, QStringLiteral("data"), QString());
        return Status::Success;
    }
    const QByteArray payload = readAt(offset, qMin<quint64>(size, 36));
    const ByteReader reader(payload);
    addField(offset, 36, QStringLiteral("transformation_matrix"), wordList(reader, 0, 9), QString(),
             QStringLiteral("(u, v, w)"));
    if (size > 36)
        addField(offset + 36, size - 36, QStringLiteral("data"), QString());
    return Status::Success;
}

// dref: entry_count (4), then the data entry boxes ("url ", "urn ", QuickTime "alis").
int ContainerIso::parseBoxDREF(quint64 offset, quint64 size)
{
    const QByteArray payload = readAt(offset, qMin<quint64>(size, 4));
    addEntryCount(offset, ByteReader(payload));
    return size > 4 ? walkBoxes(offset + 4) : Status::Success;
}

// "url ", "urn " and "alis": flag 1 says the media data is in this file and no location follows;
// otherwise zero-terminated strings: the name ("urn " only) and the location.
int ContainerIso::parseBoxDataEntry(quint64 offset, quint64 size)
{
    if (fullBoxFlags & 1) {
        setGroupValue(QStringLiteral("media data in this file"));
        if (size > 0)
            addField(offset, size, QStringLiteral("data"), QString());
        return Status::Success;
    }
    if (enclosingBox(0) == QLatin1String("alis")) {
        // A Macintosh alias record.
        addField(offset, size, QStringLiteral("data"), QString());
        return Status::Success;
    }
    quint64 at = offset;
    const quint64 end = offset + size;
    if (enclosingBox(0) == QLatin1String("urn ") && at < end)
        at = addString(at, end, QStringLiteral("name"));
    if (at < end)
        addString(at, end, QStringLiteral("location"));
    return Status::Success;
}

// elst: entry_count (4), then per entry
//   version 1: segment_duration (8), media_time (8), media_rate_integer (2), media_rate_fraction (2)
//   version 0: segment_duration (4), media_time (4), media_rate_integer (2), media_rate_fraction (2)
// An entry of an unknown version is read as the two rate fields alone.
int ContainerIso::parseBoxELST(quint64 offset, quint64 size)
{
    const QByteArray payload = readAt(offset, size);
    const ByteReader reader(payload);
    const quint32 claimed = addEntryCount(offset, reader);
    const uint version = fullBoxVersion;
    const quint64 w = version == 1 ? 8 : 4;
    const quint64 entrySize = version == 1 ? 20 : version == 0 ? 12 : 4;
    forEachEntry(claimed, 4, size, entrySize, [&](quint64 i, quint64 at) {
        beginEntry(QStringLiteral("entry"), qint64(i));
        setEntryOffset(offset + at);
        setEntrySize(entrySize);
        quint64 rate = at;
        if (version <= 1) {
            const qsizetype pos = qsizetype(at);
            const quint64 duration = version == 1 ? reader.u64be(pos) : reader.u32be(pos);
            const qint64 mediaTime = version == 1 ? qint64(reader.u64be(pos + 8))
                                                  : qint64(qint32(reader.u32be(pos + 4)));
            // A media time of -1 marks an empty edit: nothing of the media plays for its duration.
            SummaryText summary;
            if (mediaTime == -1)
                summary << "empty, duration " << duration;
            else
                summary << "duration " << duration << " from media time " << mediaTime;
            setGroupReadable(summary.toString());
            addField(offset + at, w, QStringLiteral("segment_duration"), number(duration));
            addField(offset + at + w, w, QStringLiteral("media_time"), signedNumber(mediaTime));
            rate = at + 2 * w;
        }
        addField(offset + rate, 2, QStringLiteral("media_rate_integer"),
                 signedNumber(qint16(reader.u16be(qsizetype(rate)))));
        addField(offset + rate + 2, 2, QStringLiteral("media_rate_fraction"),
                 signedNumber(qint16(reader.u16be(qsizetype(rate + 2)))), QString(), QStringLiteral("default 0"));
        endGroup();
    });
    return Status::Success;
}
