// The sample description box (ISO/IEC 14496-12, 8.5.2) and its sample entries: visual and
// sound entries (12.1.3, 12.2.3, with the QuickTime sound description versions 1 and 2), timed
// text (3GPP TS 26.245 "tx3g", QuickTime "text"), timecode, subtitle, metadata and hint
// entries; the 3GPP "d263" and "bitr" boxes (3GPP TS 26.244).

#include "container_iso.h"

#include "byte_reader.h"
#include "status.h"

#include <QtNumeric>

#include <cstring>
#include <initializer_list>
#include <limits>
#include <utility>

namespace {

// Fixed part of a visual sample entry, its 8-byte box header included.
constexpr quint64 visualEntryFields = 86;

int codecOf(const QString &sampleEntryType)
{
    if (sampleEntryType == QLatin1String("avc1"))
        return 28;
    if (sampleEntryType == QLatin1String("mp4v"))
        return 13;
    if (sampleEntryType == QLatin1String("s263"))
        return 5;
    return -1;
}

// The channels and rate of a sound sample entry, where the entry holds the fields: channelcount
// and the integer part of the 16.16 samplerate, or in a QuickTime version 2 description the
// float rate and 32-bit channel count, whose older fields hold fixed placeholders. A cut field
// tells nothing.
void readSoundFormat(const ByteReader &reader, uint descriptionVersion, StreamRecord *stream)
{
    if (descriptionVersion != 0 || reader.u16be(16) != 2) {
        stream->channels = reader.has(24, 2) ? reader.u16be(24) : 0;
        stream->sampleRate = reader.has(32, 4) ? reader.u32be(32) >> 16 : 0;
        return;
    }
    double rate = 0;
    if (reader.has(40, 8)) {
        const quint64 bits = reader.u64be(40);
        std::memcpy(&rate, &bits, sizeof(rate));
    }
    stream->sampleRate = qIsFinite(rate) && rate > 0 ? rate : 0;
    stream->channels = reader.has(48, 4)
        ? int(qMin<quint32>(reader.u32be(48), quint32(std::numeric_limits<int>::max())))
        : 0;
}

QString textUpToZero(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes.constData(), qsizetype(qstrnlen(bytes.constData(), size_t(bytes.size()))));
}

// A string of a fixed field that is either a Pascal string (a length byte below 32, then the
// text) or, written by tools that ignore the length, a plain zero-terminated string.
QString pascalOrCString(const QByteArray &bytes)
{
    const int length = bytes.isEmpty() ? 0 : uchar(bytes.at(0));
    if (length >= 32)
        return textUpToZero(bytes);
    return textUpToZero(bytes.mid(1, length));
}

QString hexOf(const ByteReader &reader, qsizetype at, qsizetype count)
{
    return QString::fromLatin1(reader.bytes(at, count).toHex());
}

QString rgba(const ByteReader &reader, qsizetype at)
{
    return QStringLiteral("#") + hexOf(reader, at, 4);
}

QString justification(quint64 value)
{
    switch (qint8(value)) {
    case 0: return QStringLiteral("left, top");
    case 1: return QStringLiteral("centered");
    case -1: return QStringLiteral("right, bottom");
    default: return QString();
    }
}

QString flagNames(quint64 flags, std::initializer_list<std::pair<quint64, const char *>> names)
{
    QStringList set;
    for (const auto &[bit, name] : names)
        if (flags & bit)
            set << QString::fromLatin1(name);
    return set.join(QStringLiteral(", "));
}

QString textDisplayFlags(quint64 flags)
{
    return flagNames(flags, {{0x20, "scroll in"}, {0x40, "scroll out"}, {0x800, "continuous karaoke"},
                             {0x20000, "vertical text"}, {0x40000, "fill text region"}});
}

QString faceStyle(quint64 flags)
{
    return flagNames(flags, {{1, "bold"}, {2, "italic"}, {4, "underline"}});
}

QString hertz16(quint64 value)
{
    return QStringLiteral("%1 Hz").arg(double(value) / 65536.0, 0, 'g', 10);
}

QString lpcmFlags(quint64 flags)
{
    return flagNames(flags, {{0x1, "float"}, {0x2, "big-endian"}, {0x4, "signed integer"}, {0x8, "packed"},
                             {0x10, "aligned high"}, {0x20, "non-interleaved"}, {0x40, "non-mixable"}});
}

QString timecodeFlags(quint64 flags)
{
    return flagNames(flags, {{0x1, "drop frame"}, {0x2, "24-hour maximum"}, {0x4, "negative times"},
                             {0x8, "counter"}});
}

bool isOneOf(const QString &type, std::initializer_list<const char *> types)
{
    for (const char *t : types)
        if (type == QLatin1String(t))
            return true;
    return false;
}

} // namespace

// stsd: entry_count (4), then the sample entries, each a box: size (4), type (4), its fields.
int ContainerIso::parseBoxSTSD(quint64 offset, quint64 size)
{
    const uint descriptionVersion = fullBoxVersion;
    const QByteArray payload = readAt(offset, size);
    const ByteReader reader(payload);
    const quint32 claimed = reader.u32be(0);
    addField(offset, 4, QStringLiteral("entry_count"), number(claimed));
    int status = Status::Success;
    quint64 at = 4;
    quint32 shown = 0;
    while (shown < claimed && at < size) {
        if (size - at < 8) {
            addNote(QStringLiteral("%1 bytes after the last sample entry are too few for another one.").arg(size - at));
            break;
        }
        const quint64 entryClaim = reader.u32be(qsizetype(at));
        quint64 entrySize = entryClaim;
        if (entryClaim < 8) {
            addNote(QStringLiteral("Sample entry %1 claims %2 bytes; it is taken to end with the box.").arg(shown).arg(entryClaim));
            entrySize = size - at;
        } else if (entryClaim > size - at) {
            entrySize = size - at;
        }
        const int entryStatus = walkSampleEntry(payload, offset, at, entrySize, qMax(entryClaim, entrySize), shown,
                                                descriptionVersion);
        if (status == Status::Success)
            status = entryStatus;
        ++shown;
        at += entrySize;
    }
    if (shown < claimed && at >= size)
        addNote(QStringLiteral("entry_count claims %1 entries; only %2 fit in the box.").arg(claimed).arg(shown));
    if (shown == claimed && at < size) {
        addField(offset + at, size - at, QStringLiteral("data"), QString());
        addNote(QStringLiteral("%1 bytes follow the last sample entry that entry_count gives.").arg(size - at));
    }
    return status;
}

int ContainerIso::walkSampleEntry(const QByteArray &payload, quint64 payloadOffset, quint64 entryStart,
                                  quint64 entrySize, quint64 claimed, qint64 index, uint descriptionVersion)
{
    const quint64 e = payloadOffset + entryStart;
    const QByteArray entry = payload.mid(qsizetype(entryStart), qsizetype(entrySize));
    const ByteReader reader(entry);
    const QByteArray type = reader.bytes(4, 4);
    const QString typeText = QString::fromLatin1(type.constData(), qsizetype(qstrnlen(type.constData(), size_t(type.size()))));
    int status = Status::Success;
    const auto fail = [this, &status](int result) {
        keepFailure(result);
        if (status == Status::Success)
            status = result;
    };
    beginGroup(e, entrySize, QStringLiteral("sample_entry"), index);
    if (claimed > entrySize) {
        noteCut(e, claimed);
        fail(Status::UnexpectedEnd);
    }
    const Bound bound(*this, e + entrySize);
    addField(e, 4, QStringLiteral("size"), QString::number(reader.u32be(0), numberBase));
    addField(e + 4, 4, QStringLiteral("type"), typeText);
    // The first entry names the track's codec.
    StreamRecord *stream = index == 0 ? currentStream() : nullptr;
    if (stream && stream->codec.isEmpty())
        stream->codec = typeText;
    const StreamRecord *track = currentStream();
    const StreamRecord::Kind kind = track ? track->kind : StreamRecord::Other;
    if (kind == StreamRecord::Video) {
        const int codec = codecOf(typeText);
        if (stream && codec >= 0)
            stream->codecId = codec;
        if (stream) {
            stream->width = reader.u16be(32);
            stream->height = reader.u16be(34);
        }
        fail(walkVisualEntry(e, reader, entrySize));
    } else if (kind == StreamRecord::Audio) {
        if (stream)
            readSoundFormat(reader, descriptionVersion, stream);
        fail(walkSoundEntry(e, reader, entrySize, descriptionVersion));
    } else {
        fail(walkOtherEntry(e, reader, entrySize, typeText));
    }
    noteMissingFields(bound, e);
    if (bound.missing() > 0)
        fail(Status::UnexpectedEnd);
    endGroup();
    return status;
}

// Visual sample entry (ISO/IEC 14496-12, 12.1.3), from the start of the entry:
//   size (4) type (4) reserved (6) data_reference_index (2) pre_defined (2) reserved (2)
//   pre_defined (12) width (2) height (2) horizresolution (4) vertresolution (4) reserved (4)
//   frame_count (2) compressorname (32) depth (2) pre_defined (2), then boxes.
int ContainerIso::walkVisualEntry(quint64 e, const ByteReader &reader, quint64 entrySize)
{
    const auto raw = [&](quint64 at, quint64 bytes, const QString &name, const QString &description) {
        addField(e + at, bytes, name, hexOf(reader, qsizetype(at), qsizetype(bytes)), QString(), description);
    };
    const QString defaultZero = QStringLiteral("default 0");
    const QString defaultResolution = QStringLiteral("default 0x00480000 (72 dpi)");
    raw(8, 6, QStringLiteral("reserved"), defaultZero);
    addField(e + 14, 2, QStringLiteral("data_reference_index"), number(reader.u16be(14)));
    addField(e + 16, 2, QStringLiteral("pre_defined"), number(reader.u16be(16)), QString(), defaultZero);
    addField(e + 18, 2, QStringLiteral("reserved"), number(reader.u16be(18)), QString(), defaultZero);
    raw(20, 12, QStringLiteral("pre_defined"), defaultZero);
    addField(e + 32, 2, QStringLiteral("width"), number(reader.u16be(32)));
    addField(e + 34, 2, QStringLiteral("height"), number(reader.u16be(34)));
    raw(36, 4, QStringLiteral("horizresolution"), defaultResolution);
    raw(40, 4, QStringLiteral("vertresolution"), defaultResolution);
    addField(e + 44, 4, QStringLiteral("reserved"), number(reader.u32be(44)), QString(), defaultZero);
    addField(e + 48, 2, QStringLiteral("frame_count"), number(reader.u16be(48)), QString(), QStringLiteral("default 1"));
    addField(e + 50, 32, QStringLiteral("compressorname"), pascalOrCString(reader.bytes(50, 32)));
    addField(e + 82, 2, QStringLiteral("depth"), number(reader.u16be(82)), QString(), QStringLiteral("default 24 (0x18)"));
    addField(e + 84, 2, QStringLiteral("pre_defined"), signedNumber(qint16(reader.u16be(84))), QString(), QStringLiteral("default -1"));
    return walkEntryBoxes(e, visualEntryFields, entrySize);
}

// Sound sample entry (ISO/IEC 14496-12, 12.2.3; QuickTime sound description), from the start of
// the entry: size (4) type (4) reserved (6) data_reference_index (2) version (2)
// revision_level (2) vendor (4) channelcount (2) samplesize (2) compression_id (2)
// packet_size (2) samplerate (4, 16.16), then
//   version 1: samples_per_packet, bytes_per_packet, bytes_per_frame, bytes_per_sample (4 each)
//   version 2: sizeOfStructOnly (4) audioSampleRate (8, float) numAudioChannels (4)
//              always7F000000 (4) constBitsPerChannel (4) formatSpecificFlags (4)
//              constBytesPerAudioPacket (4) constLPCMFramesPerAudioPacket (4)
// and then boxes. Inside a version 1 "stsd", version 1 is the ISO layout, without the extra
// fields.
int ContainerIso::walkSoundEntry(quint64 e, const ByteReader &reader, quint64 entrySize, uint descriptionVersion)
{
    int status = Status::Success;
    beginGroup(e + 8, entrySize - 8, QStringLiteral("specific_config_data"), -1);
    addField(e + 8, 6, QStringLiteral("reserved"), hexOf(reader, 8, 6));
    addNumber(e, reader, 14, 2, QStringLiteral("data_reference_index"));
    const quint64 version = addNumber(e, reader, 16, 2, QStringLiteral("version"));
    addNumber(e, reader, 18, 2, QStringLiteral("revision_level"));
    const QByteArray vendor = reader.bytes(20, 4);
    addField(e + 20, 4, QStringLiteral("vendor"), number(reader.u32be(20)),
             reader.u32be(20) != 0 ? toPrintable(vendor) : QString());
    addNumber(e, reader, 24, 2, QStringLiteral("channelcount"));
    addNumber(e, reader, 26, 2, QStringLiteral("samplesize"));
    addField(e + 28, 2, QStringLiteral("compression_id"), signedNumber(qint16(reader.u16be(28))), QString(),
             QStringLiteral("pre_defined"));
    addField(e + 30, 2, QStringLiteral("packet_size"), number(reader.u16be(30)), QString(), QStringLiteral("reserved"));
    addNumber(e, reader, 32, 4, QStringLiteral("samplerate"), hertz16);
    quint64 boxes = 36;
    if (descriptionVersion == 0 && version == 1) {
        for (const char *name : {"samples_per_packet", "bytes_per_packet", "bytes_per_frame", "bytes_per_sample"}) {
            addNumber(e, reader, qsizetype(boxes), 4, QLatin1String(name));
            boxes += 4;
        }
    } else if (descriptionVersion == 0 && version == 2) {
        addNumber(e, reader, 36, 4, QStringLiteral("sizeOfStructOnly"));
        const quint64 bits = reader.u64be(40);
        double rate = 0;
        std::memcpy(&rate, &bits, sizeof(rate));
        addField(e + 40, 8, QStringLiteral("audioSampleRate"), QString::number(rate, 'g', 17),
                 QStringLiteral("%1 Hz").arg(rate, 0, 'g', 10));
        addNumber(e, reader, 48, 4, QStringLiteral("numAudioChannels"));
        addNumber(e, reader, 52, 4, QStringLiteral("always7F000000"));
        addNumber(e, reader, 56, 4, QStringLiteral("constBitsPerChannel"));
        addNumber(e, reader, 60, 4, QStringLiteral("formatSpecificFlags"), lpcmFlags);
        addNumber(e, reader, 64, 4, QStringLiteral("constBytesPerAudioPacket"));
        addNumber(e, reader, 68, 4, QStringLiteral("constLPCMFramesPerAudioPacket"));
        boxes = 72;
    }
    if (entrySize > boxes) {
        const quint64 rest = entrySize - boxes;
        if (rest < m_variant.nestedBoxesFrom)
            addField(e + boxes, rest, QStringLiteral("data"), QString());
        else
            status = walkBoxes(e + boxes);
    }
    endGroup();
    return status;
}

// Entries of tracks that are neither video nor sound: reserved (6) data_reference_index (2),
// then the fields of their type and the boxes the type allows.
int ContainerIso::walkOtherEntry(quint64 e, const ByteReader &reader, quint64 entrySize, const QString &type)
{
    addField(e + 8, 6, QStringLiteral("reserved"), hexOf(reader, 8, 6));
    addNumber(e, reader, 14, 2, QStringLiteral("data_reference_index"));
    const qsizetype end = qsizetype(entrySize);
    qsizetype at = 16;
    const auto strings = [&](std::initializer_list<const char *> names) {
        for (const char *name : names)
            at = addCString(e, reader, at, end, QLatin1String(name));
    };
    // MP4 muxers write chapter text tracks as "text" entries in the "tx3g" layout, whose font
    // table box follows its 46 bytes of fields. An entry cut before that box takes the layout
    // its file format uses most.
    const bool timedTextLayout = reader.has(50, 4) ? reader.bytes(50, 4) == "ftab" : !m_variant.quickTime;
    if (type == QLatin1String("tx3g") || (type == QLatin1String("text") && timedTextLayout)) {
        at = addTimedTextFields(e, reader);
    } else if (type == QLatin1String("text")) {
        at = addQuickTimeTextFields(e, reader, entrySize);
    } else if (type == QLatin1String("tmcd")) {
        // QuickTime timecode sample description.
        addNumber(e, reader, 16, 4, QStringLiteral("reserved"));
        addNumber(e, reader, 20, 4, QStringLiteral("flags"), timecodeFlags);
        addNumber(e, reader, 24, 4, QStringLiteral("timescale"));
        addNumber(e, reader, 28, 4, QStringLiteral("frame_duration"));
        addNumber(e, reader, 32, 1, QStringLiteral("number_of_frames"));
        addNumber(e, reader, 33, 1, QStringLiteral("reserved"));
        at = 34;
    } else if (type == QLatin1String("stpp")) {
        strings({"namespace", "schema_location", "auxiliary_mime_types"});
    } else if (isOneOf(type, {"mett", "sbtt", "stxt"})) {
        strings({"content_encoding", "mime_format"});
    } else if (type == QLatin1String("metx")) {
        strings({"content_encoding", "namespace", "schema_location"});
    } else if (isOneOf(type, {"rtp ", "srtp", "rrtp"})) {
        addNumber(e, reader, 16, 2, QStringLiteral("hinttrackversion"));
        addNumber(e, reader, 18, 2, QStringLiteral("highestcompatibleversion"));
        addNumber(e, reader, 20, 4, QStringLiteral("maxpacketsize"));
        at = 24;
    } else if (!isOneOf(type, {"mp4s", "wvtt", "c608", "c708", "urim", "fdp "})) {
        if (entrySize > 16)
            addField(e + 16, entrySize - 16, QStringLiteral("data"), QString());
        return Status::Success;
    }
    return walkEntryBoxes(e, quint64(at), entrySize);
}

int ContainerIso::walkEntryBoxes(quint64 e, quint64 from, quint64 entrySize)
{
    if (entrySize <= from)
        return Status::Success;
    const quint64 rest = entrySize - from;
    if (rest < m_variant.nestedBoxesFrom) {
        addField(e + from, rest, QStringLiteral("data"), QString());
        return Status::Success;
    }
    beginGroup(e + from, rest, QStringLiteral("specific_config_data"), -1);
    const int status = walkBoxes(e + from);
    endGroup();
    return status;
}

// 3GPP timed text sample entry (3GPP TS 26.245, 5.16) after data_reference_index:
// displayFlags (4) horizontal_justification (1) vertical_justification (1)
// background_color_rgba (4), BoxRecord default_text_box: top, left, bottom, right (2 each),
// StyleRecord default_style: startChar (2) endChar (2) font_ID (2) face_style_flags (1)
// font_size (1) text_color_rgba (4); then the font table box.
qsizetype ContainerIso::addTimedTextFields(quint64 e, const ByteReader &reader)
{
    addNumber(e, reader, 16, 4, QStringLiteral("displayFlags"), textDisplayFlags);
    const auto justified = [&](qsizetype at, const QString &name) {
        addField(e + quint64(at), 1, name, signedNumber(qint8(reader.u8(at))), justification(reader.u8(at)));
    };
    justified(20, QStringLiteral("horizontal_justification"));
    justified(21, QStringLiteral("vertical_justification"));
    addField(e + 22, 4, QStringLiteral("background_color_rgba"), number(reader.u32be(22)), rgba(reader, 22));
    addGroup(e + 26, 8, QStringLiteral("default_text_box"), -1, [&] {
        qsizetype at = 26;
        for (const char *name : {"top", "left", "bottom", "right"}) {
            addField(e + quint64(at), 2, QLatin1String(name), signedNumber(qint16(reader.u16be(at))));
            at += 2;
        }
    });
    addGroup(e + 34, 12, QStringLiteral("default_style"), -1, [&] {
        addNumber(e, reader, 34, 2, QStringLiteral("startChar"));
        addNumber(e, reader, 36, 2, QStringLiteral("endChar"));
        addNumber(e, reader, 38, 2, QStringLiteral("font_ID"));
        addNumber(e, reader, 40, 1, QStringLiteral("face_style_flags"), faceStyle);
        addNumber(e, reader, 41, 1, QStringLiteral("font_size"));
        addField(e + 42, 4, QStringLiteral("text_color_rgba"), number(reader.u32be(42)), rgba(reader, 42));
    });
    return 46;
}

// QuickTime text sample description after data_reference_index: display_flags (4)
// text_justification (4) background_color (6) default_text_box (8) reserved (8)
// font_number (2) font_face (2) reserved (1) reserved (2) foreground_color (6)
// text_name (Pascal string).
qsizetype ContainerIso::addQuickTimeTextFields(quint64 e, const ByteReader &reader, quint64 entrySize)
{
    const auto colour = [&](qsizetype at, const QString &name) {
        addField(e + quint64(at), 6, name,
                 QStringLiteral("%1, %2, %3").arg(reader.u16be(at)).arg(reader.u16be(at + 2)).arg(reader.u16be(at + 4)),
                 QString(), QStringLiteral("red, green, blue"));
    };
    addNumber(e, reader, 16, 4, QStringLiteral("display_flags"));
    addField(e + 20, 4, QStringLiteral("text_justification"), signedNumber(qint32(reader.u32be(20))),
             justification(quint64(qint8(qint32(reader.u32be(20))))));
    colour(24, QStringLiteral("background_color"));
    addField(e + 30, 8, QStringLiteral("default_text_box"),
             QStringLiteral("%1, %2, %3, %4")
                 .arg(qint16(reader.u16be(30))).arg(qint16(reader.u16be(32)))
                 .arg(qint16(reader.u16be(34))).arg(qint16(reader.u16be(36))),
             QString(), QStringLiteral("top, left, bottom, right"));
    addField(e + 38, 8, QStringLiteral("reserved"), hexOf(reader, 38, 8));
    addNumber(e, reader, 46, 2, QStringLiteral("font_number"));
    addNumber(e, reader, 48, 2, QStringLiteral("font_face"), faceStyle);
    addNumber(e, reader, 50, 1, QStringLiteral("reserved"));
    addNumber(e, reader, 51, 2, QStringLiteral("reserved"));
    colour(53, QStringLiteral("foreground_color"));
    if (entrySize <= 59)
        return 59;
    const qsizetype length = reader.u8(59);
    addField(e + 59, quint64(1 + length), QStringLiteral("text_name"), textUpToZero(reader.bytes(60, length)));
    return 60 + length;
}

// ftab: entry_count (2), then per font: font_ID (2) font_name_length (1) font_name.
int ContainerIso::parseBoxFTAB(quint64 offset, quint64 size)
{
    const QByteArray payload = readAt(offset, size);
    const ByteReader reader(payload);
    const quint64 claimed = addNumber(offset, reader, 0, 2, QStringLiteral("entry_count"));
    qsizetype at = 2;
    quint64 shown = 0;
    for (; shown < claimed && at < reader.size(); ++shown) {
        const qsizetype length = reader.u8(at + 2);
        addGroup(offset + quint64(at), quint64(3 + length), QStringLiteral("font_record"), qint64(shown), [&] {
            addNumber(offset, reader, at, 2, QStringLiteral("font_ID"));
            addNumber(offset, reader, at + 2, 1, QStringLiteral("font_name_length"));
            if (length > 0)
                addField(offset + quint64(at) + 3, quint64(length), QStringLiteral("font_name"),
                         QString::fromUtf8(reader.bytes(at + 3, length)));
        });
        at += 3 + length;
    }
    if (shown < claimed)
        addNote(QStringLiteral("entry_count is %1; the box holds the start of %2 of the fonts.").arg(claimed).arg(shown));
    return Status::Success;
}

// d263: vendor (4), decoder_version (1), h263_Level (1), h263_profile (1), then optional boxes.
int ContainerIso::parseBoxD263(quint64 offset, quint64 size)
{
    if (StreamRecord *stream = currentStream()) {
        stream->configOffset = offset;
        stream->configSize = size;
    }
    const QByteArray payload = readAt(offset, qMin<quint64>(size, 7));
    const ByteReader reader(payload);
    const QByteArray vendor = reader.bytes(0, 4);
    beginGroup(offset, qMin<quint64>(size, 7), QStringLiteral("h263_dec_spec_struc"), -1);
    addField(offset, 4, QStringLiteral("vendor"),
             QString::fromLatin1(vendor.constData(), qsizetype(qstrnlen(vendor.constData(), size_t(vendor.size())))));
    addField(offset + 4, 1, QStringLiteral("decoder_version"), number(reader.u8(4)));
    addField(offset + 5, 1, QStringLiteral("h263_Level"), number(reader.u8(5)));
    addField(offset + 6, 1, QStringLiteral("h263_profile"), number(reader.u8(6)));
    endGroup();
    int status = Status::Success;
    if (size >= 16)
        status = walkBoxes(offset + 7);
    else if (size > 7)
        addField(offset + 7, size - 7, QStringLiteral("unknown_data"), QString(), QString(),
                 QStringLiteral("These data would not be here!"));
    return status;
}

// bitr: avg_bitrate (4), max_bitrate (4).
int ContainerIso::parseBoxBITR(quint64 offset, quint64 size)
{
    const QByteArray payload = readAt(offset, qMin<quint64>(size, 8));
    const ByteReader reader(payload);
    beginGroup(offset, qMin<quint64>(size, 8), QStringLiteral("dec_bitr_struc"), -1);
    addField(offset, 4, QStringLiteral("avg_bitrate"), number(reader.u32be(0)));
    addField(offset + 4, 4, QStringLiteral("max_bitrate"), number(reader.u32be(4)));
    endGroup();
    return Status::Success;
}
