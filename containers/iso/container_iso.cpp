#include "container_iso.h"

#include "byte_reader.h"
#include "leftover_marker.h"
#include "registered_codes.h"
#include "status.h"

#include <QFile>
#include <QHash>
#include <QFileInfo>

#include <cstdio>
#include <new>

namespace {

StreamRecord::Kind kindOf(const QString &handlerType)
{
    if (handlerType == QLatin1String("vide"))
        return StreamRecord::Video;
    if (handlerType == QLatin1String("soun"))
        return StreamRecord::Audio;
    for (const char *subtitle : {"sbtl", "subt", "text", "clcp"})
        if (handlerType == QLatin1String(subtitle))
            return StreamRecord::Subtitle;
    return StreamRecord::Other;
}

// The set flags of the full boxes whose flags are bits of their own, by name, lowest bit first
// (ISO/IEC 14496-12, 8.3.2, 8.8.7 and 8.8.8); an empty string for other boxes.
QString flagNames(const QString &type, uint flags)
{
    struct Flag
    {
        uint bit;
        const char *name;
    };
    static constexpr Flag trackHeader[] = {{0x1, "enabled"}, {0x2, "in movie"}, {0x4, "in preview"},
                                           {0x8, "size is aspect ratio"}};
    static constexpr Flag fragmentHeader[] = {{0x1, "base data offset"}, {0x2, "sample description index"},
                                              {0x8, "default duration"}, {0x10, "default size"},
                                              {0x20, "default flags"}, {0x10000, "duration is empty"},
                                              {0x20000, "default base is moof"}};
    static constexpr Flag run[] = {{0x1, "data offset"}, {0x4, "first sample flags"}, {0x100, "durations"},
                                   {0x200, "sizes"}, {0x400, "sample flags"}, {0x800, "composition offsets"}};
    const auto names = [flags](const auto &table) {
        QString text;
        for (const Flag &flag : table)
            if (flags & flag.bit)
                text += (text.isEmpty() ? QString() : QStringLiteral(", ")) + QLatin1String(flag.name);
        return text;
    };
    if (flags == 0)
        return QString();
    if (type == QLatin1String("tkhd"))
        return names(trackHeader);
    if (type == QLatin1String("tfhd"))
        return names(fragmentHeader);
    if (type == QLatin1String("trun"))
        return names(run);
    return QString();
}

} // namespace

ContainerIso::ContainerIso(const Variant &variant) : m_variant(variant) {}

ContainerIso::~ContainerIso() = default;

int ContainerIso::verifySuffix(const QString &fileName, const QStringList &suffixes,
                               const char *label)
{
    if (!suffixes.contains(QFileInfo(fileName).suffix().toLower()) || !startsWithBox(fileName))
        return Status::NotThisFormat;
    std::fprintf(stderr, "Container format:\t%s\n", label);
    return Status::Success;
}

// A file of this family starts with a box header: a type of four printable characters (or the
// copyright sign of QuickTime's text atoms) and a size that is 0 (up to the end of the file), 1
// (a big size follows) or at least the header. A size past the end of the file is plausible
// for a known box only: a cut file keeps its first box's size.
bool ContainerIso::startsWithBox(const QString &fileName)
{
    QFile probe(fileName);
    if (!probe.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = probe.read(16);
    if (head.size() < 8)
        return false;
    const ByteReader reader(head);
    for (int i = 4; i < 8; ++i) {
        const uchar c = reader.u8(i);
        if ((c < 0x20 || c > 0x7E) && c != 0xA9)
            return false;
    }
    const bool big = reader.u32be(0) == 1;
    const quint64 size = big ? (head.size() == 16 ? reader.u64be(8) : 0) : reader.u32be(0);
    if (size == 0 && !big)
        return true;
    if (size < (big ? 16u : 8u))
        return false;
    const QString type = QString::fromLatin1(head.constData() + 4, 4);
    Box record;
    return size <= quint64(probe.size()) || searchID(type, &record) == Status::Success
           || !RegisteredCodes::instance().box(type).isEmpty();
}

int ContainerIso::findBeginOfContainer(qint64 *offset)
{
    *offset = 0;
    return Status::Success;
}

void ContainerIso::prepareParsing()
{
    m_tracks.clear();
    m_boxPath.clear();
    m_openTracks = 0;
    m_metadataKeys.clear();
    m_fragment = FragmentCursor();
    m_samplesWithoutFields = 0;
}

void ContainerIso::addBox(const char *type, int elementType, int kind, Box::Handler handler)
{
    m_boxes.add(QString::fromLatin1(type), new Box(elementType, kind, handler, QString(), QString()));
}

void ContainerIso::addDecodedBoxes()
{
    addCodecConfigurationBoxes();
    addMetadataBoxes();
    addSampleTableBoxes();
    addFragmentBoxes();
}

int ContainerIso::getID(quint64 offset, QString *id)
{
    char bytes[4];
    window.read(offset, bytes, sizeof(bytes));
    *id = QString::fromLatin1(bytes, qsizetype(qstrnlen(bytes, sizeof(bytes))));
    return Status::Success;
}

int ContainerIso::getSize(quint64 offset, quint64 *size, uchar bytes)
{
    quint64 value = 0;
    const uchar count = qMin<uchar>(bytes, sizeof(value));
    window.read(offset, reinterpret_cast<char *>(&value), count);
    swapByteOrder(&value, count);
    *size = value;
    return Status::Success;
}

int ContainerIso::getUUID(quint64 offset, QUuid *uuid)
{
    char bytes[16];
    window.read(offset, bytes, sizeof(bytes));
    *uuid = QUuid::fromRfc4122(QByteArrayView(bytes, sizeof(bytes)));
    return Status::Success;
}

int ContainerIso::searchID(const QString &type, Box *out)
{
    return m_boxes.search(type, out);
}

void ContainerIso::handlerFound(const QString &handlerType)
{
    TrackSampleTables *track = currentTrack();
    if (!track || track->handled || enclosingBox(1) != QLatin1String("mdia"))
        return;
    track->handled = true;
    streams[track->stream].kind = kindOf(handlerType);
}

QString ContainerIso::enclosingBox(int up) const
{
    if (up < 0 || size_t(up) >= m_boxPath.size())
        return QString();
    return m_boxPath[m_boxPath.size() - 1 - size_t(up)];
}

quint32 ContainerIso::addEntryCount(quint64 offset, const ByteReader &reader, qsizetype at)
{
    const quint32 claimed = reader.u32be(at);
    addField(offset + quint64(at), 4, QStringLiteral("entry_count"), number(claimed));
    return claimed;
}

TrackSampleTables *ContainerIso::trackById(quint32 trackId)
{
    for (TrackSampleTables &track : m_tracks)
        if (track.trackId == trackId)
            return &track;
    return nullptr;
}

bool ContainerIso::walksTrack(const TrackSampleTables &) const
{
    return true;
}

TrackSampleTables *ContainerIso::currentTrack()
{
    return m_openTracks > 0 && !m_tracks.empty() ? &m_tracks.back() : nullptr;
}

StreamRecord *ContainerIso::currentStream()
{
    TrackSampleTables *track = currentTrack();
    return track ? &streams[track->stream] : nullptr;
}

// Box header (ISO/IEC 14496-12, 4.2):
//   size(32) type(32) [big_size(64) when size = 1] [usertype(128) when type = "uuid"]
//   [version(8) flags(24) for a full box]
// A size of 0 means the box extends to the end of the file. Nothing but the header is read
// here; where the box ends is the smaller of its size and the room its parent leaves.
ContainerIso::BoxHeader ContainerIso::readBoxHeader(quint64 start)
{
    BoxHeader header;
    header.start = start;
    getSize(start, &header.sizeField, 4);
    getID(start + 4, &header.type);
    header.big = header.sizeField == 1;
    header.userType = m_variant.userTypes && header.type.compare(QLatin1String("uuid"), Qt::CaseInsensitive) == 0;
    header.declaredSize = header.sizeField;
    if (header.sizeField == 0) {
        header.declaredSize = window.size() - start;
        header.sizeNote = QStringLiteral("Element extends to end of file.");
    } else if (header.big) {
        header.declaredSize = 0;
        if (fit(start, 16) == 16)
            getSize(start + 8, &header.declaredSize, 8);
        header.sizeNote = QStringLiteral("big_size contains true size");
    }
    // Nothing tells where a box smaller than its header ends, so nothing after it in its parent
    // can be trusted: it takes the rest of the parent.
    header.walkable = header.declaredSize >= (header.big ? 16u : 8u);
    header.size = header.walkable ? fit(start, header.declaredSize) : boundEnd() - start;
    header.length = (header.big ? 16 : 8) + (header.userType ? 16 : 0);
    return header;
}

// A "meta" box is a full box in ISO files and a plain container in QuickTime; MP4 files
// written by QuickTime tools use either. Its first child, a handler, tells which: its type
// stands 4 bytes in for the plain form and 8 bytes in for the full one.
bool ContainerIso::metaIsFullBox(quint64 payload)
{
    QString at4;
    QString at8;
    if (fit(payload + 4, 4) == 4)
        getID(payload + 4, &at4);
    if (fit(payload + 8, 4) == 4)
        getID(payload + 8, &at8);
    if (at4 == QLatin1String("hdlr"))
        return false;
    if (at8 == QLatin1String("hdlr"))
        return true;
    return !m_variant.quickTime;
}

void ContainerIso::reportBoxHeader(BoxHeader *header, bool full)
{
    const quint64 start = header->start;
    addField(start, 4, QStringLiteral("size"), QString::number(header->sizeField, numberBase), QString(),
             header->sizeNote);
    addField(start + 4, 4, QStringLiteral("type"), header->type);
    if (!header->walkable)
        return;
    if (header->big)
        addField(start + 8, 8, QStringLiteral("big_size"), QString::number(header->declaredSize, numberBase));
    if (header->userType) {
        QUuid uuid;
        getUUID(start + header->length - 16, &uuid);
        header->uuid = uuid;
        addField(start + header->length - 16, 16, QStringLiteral("usertype"), uuid.toString());
    }
    if (full) {
        quint64 word = 0;
        getSize(start + header->length, &word, 4);
        fullBoxVersion = uint(word >> 24);
        fullBoxFlags = uint(word & 0xFFFFFF);
        addField(start + header->length, 1, QStringLiteral("version"), QString::number(fullBoxVersion, valueBase));
        addField(start + header->length + 1, 3, QStringLiteral("flags"), QString::number(fullBoxFlags, valueBase),
                 flagNames(header->type, fullBoxFlags));
        header->length += 4;
    }
}

// The payload of a box whose header fits in it: a handler, child boxes, or data.
int ContainerIso::parsePayload(const BoxHeader &header, const Box *record)
{
    const quint64 payload = header.start + header.length;
    const quint64 payloadSize = header.start + header.size - payload;
    if (!record) {
        // A "uuid" box is only known by its user type.
        if (header.userType) {
            const int status = parseUserTypeBox(header.uuid, payload, payloadSize);
            if (status != Status::NotThisFormat)
                return status;
            const QString name = userTypeName(header.uuid);
            if (!name.isEmpty()) {
                setGroupReadable(name);
                addField(payload, payloadSize, QStringLiteral("data"), QString());
                return Status::Success;
            }
        }
        return parseUnrecordedPayload(header.type, payload, payloadSize);
    }
    if (record->type != Master) {
        if (record->handler)
            return (this->*record->handler)(payload, payloadSize);
        addField(payload, payloadSize, QStringLiteral("data"), QString());
        return Status::Success;
    }
    if (header.type != QLatin1String("trak"))
        return walkBoxes(payload);
    m_tracks.emplace_back();
    m_tracks.back().stream = beginStream();
    ++m_openTracks;
    const int status = walkBoxes(payload);
    --m_openTracks;
    return status;
}

int ContainerIso::parseUnrecordedPayload(const QString &type, quint64 offset, quint64 size)
{
    if (type != QLatin1String("uuid") && !RegisteredCodes::instance().box(type).isEmpty()) {
        addField(offset, size, QStringLiteral("data"), QString());
        return Status::Success;
    }
    const int status = parseUnknownObject(offset, size);
    addNote(QStringLiteral("Unknown element!"));
    return status;
}

// What is left of a parent too small for a box header: the zero word that ends a QuickTime
// user data list, or leftover bytes.
// User types that Smooth Streaming (PIFF) files carry, recognised by name.
QString ContainerIso::userTypeName(const QUuid &userType)
{
    static const QHash<QUuid, QString> names{
        {QUuid::fromString(u"6d1d9b05-42d5-44e6-80e2-141daff757b2"), QStringLiteral("PIFF track fragment time (tfxd)")},
        {QUuid::fromString(u"d4807ef2-ca39-4695-8e54-26cb9e46a79f"), QStringLiteral("PIFF track fragment reference (tfrf)")},
        {QUuid::fromString(u"a2394f52-5a9b-4f14-a244-6c427c648df4"), QStringLiteral("PIFF sample encryption")},
        {QUuid::fromString(u"8974dbce-7be7-4c51-84f9-7148f9882554"), QStringLiteral("PIFF track encryption")},
        {QUuid::fromString(u"d08a4f18-10f3-4a82-b6c8-32d8aba1830f"), QStringLiteral("PIFF protection system specific header")},
    };
    return names.value(userType);
}

int ContainerIso::parseTail(quint64 start, quint64 room)
{
    const QByteArray bytes = readAt(start, room);
    const bool terminator = room == 4 && bytes == QByteArray(4, '\0') && endsWithTerminator(enclosingBox(0));
    if (terminator) {
        addField(start, room, QStringLiteral("terminator"), QStringLiteral("0"));
        return Status::Success;
    }
    addField(start, room, QLatin1String(leftoverMarker), QString());
    addNote(QStringLiteral("%1 bytes left over: too few for a box header.").arg(room));
    return start + 8 > window.size() ? Status::UnexpectedEnd : Status::Success;
}

bool ContainerIso::endsWithTerminator(const QString &parent)
{
    return parent == QLatin1String("udta") || parent == QLatin1String("wave");
}

int ContainerIso::parseElement(quint64 *size)
{
    const quint64 start = currentOffset;
    const quint64 end = boundEnd();
    const quint64 room = end > start ? end - start : 0;
    *size = room;
    if (room == 0)
        return Status::Success;
    const auto finish = [this, start](int status) {
        currentOffset = start;
        return status;
    };
    if (room < 8)
        return finish(parseTail(start, room));

    BoxHeader header = readBoxHeader(start);
    *size = header.size;
    Box record;
    const bool known = searchID(header.type, &record) == Status::Success;
    // An 8-byte box of type zero ends a QuickTime sound description's "wave" list.
    if (header.sizeField == 8 && header.type.isEmpty() && endsWithTerminator(enclosingBox(0))) {
        addField(start, 8, QStringLiteral("terminator"), QStringLiteral("0"));
        return finish(Status::Success);
    }

    int status = Status::Success;
    const auto fail = [this, &status](int result) {
        keepFailure(result);
        if (status == Status::Success)
            status = result;
    };
    beginGroup(start, header.size, header.type, -1);
    m_boxPath.push_back(header.type);
    const QString registered = RegisteredCodes::instance().box(header.type);
    if (!registered.isEmpty())
        setGroupReadable(registered);
    if (!header.walkable) {
        addNote(QStringLiteral("The box size %1 is smaller than its header; the rest of the enclosing box is not walked.")
                    .arg(header.declaredSize));
        if (start + (header.big ? 16 : 8) > window.size())
            fail(Status::UnexpectedEnd);
    } else if (header.size < header.declaredSize) {
        noteCut(start, header.declaredSize);
        fail(Status::UnexpectedEnd);
    }

    const Bound bound(*this, start + header.size);
    const bool full = known && header.walkable
                      && (header.type == QLatin1String("meta") ? metaIsFullBox(start + header.length) : record.kind == 1);
    fullBox = full;
    reportBoxHeader(&header, full);
    if (header.walkable && header.length <= header.size)
        fail(parsePayload(header, known ? &record : nullptr));
    noteMissingFields(bound, start);
    if (bound.missing() > 0)
        fail(Status::UnexpectedEnd);

    if (known && !record.description.isEmpty())
        addNote(record.description);
    m_boxPath.pop_back();
    endGroup();
    return finish(status);
}

int ContainerIso::walkBoxes(quint64 begin)
{
    const quint64 end = boundEnd();
    if (begin >= end)
        return Status::Success;
    if (depth() >= maxDepth) {
        addField(begin, end - begin, QStringLiteral("data"), QString());
        addNote(QStringLiteral("The boxes are nested too deeply; the boxes inside this one are not walked."));
        return Status::Success;
    }
    int status = Status::Success;
    for (quint64 child = begin; child < end;) {
        currentOffset = child;
        quint64 childSize = 0;
        const int childStatus = parseElement(&childSize);
        if (status == Status::Success)
            status = childStatus;
        if (childSize == 0)
            break;
        child += childSize;
    }
    return status;
}

int ContainerIso::parseJunk(quint64 offset, quint64 size)
{
    // The filler's bytes are rendered only when asked for; the field covers it all either way.
    addField(offset, size, QStringLiteral("data"), showJunk ? toPrintable(readAt(offset, qMin(displayLimit, size))) : QString());
    return Status::Success;
}

int ContainerIso::parseUnknownObject(quint64 offset, quint64 size)
{
    if (!showUnknown || size == 0)
        return Status::Success;
    QByteArray bytes;
    try {
        bytes = readAt(offset, qMin(displayLimit, size));
    } catch (const std::bad_alloc &) {
        return Status::AllocationFailed;
    }
    addField(offset, quint64(bytes.size()), QStringLiteral("data"), toPrintable(bytes));
    return Status::Success;
}

QString ContainerIso::number(quint64 value) const
{
    return QString::number(value, valueBase);
}

QString ContainerIso::signedNumber(qint64 value) const
{
    return QString::number(value, valueBase);
}

QString ContainerIso::fixed16(quint32 value, bool signedHalves) const
{
    if (signedHalves)
        return signedNumber(qint16(value >> 16)) + QLatin1Char('.') + signedNumber(qint16(value & 0xFFFF));
    return number(value >> 16) + QLatin1Char('.') + number(value & 0xFFFF);
}

QString ContainerIso::fixed8(quint16 value, bool signedHalves) const
{
    if (signedHalves)
        return signedNumber(qint8(value >> 8)) + QLatin1Char('.') + signedNumber(qint8(value & 0xFF));
    return number(value >> 8) + QLatin1Char('.') + number(value & 0xFF);
}

QString ContainerIso::wordList(const ByteReader &reader, qsizetype at, int count) const
{
    QStringList words;
    for (int i = 0; i < count; ++i)
        words << number(reader.u32be(at + 4 * i));
    return words.join(QStringLiteral(", "));
}

quint64 ContainerIso::fitEntries(quint64 claimed, quint64 bytes, quint64 entrySize)
{
    const quint64 fit = bytes / entrySize;
    if (claimed <= fit)
        return claimed;
    addNote(QStringLiteral("entry_count claims %1 entries; only %2 fit in the box.").arg(claimed).arg(fit));
    return fit;
}
