#include "container_iso.h"

#include "byte_reader.h"
#include "leftover_marker.h"
#include "status.h"

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

} // namespace

ContainerIso::ContainerIso(const Variant &variant) : m_variant(variant) {}

ContainerIso::~ContainerIso() = default;

int ContainerIso::verifySuffix(const QString &fileName, const QStringList &suffixes,
                               const char *label)
{
    if (!suffixes.contains(QFileInfo(fileName).suffix().toLower()))
        return Status::NotThisFormat;
    std::fprintf(stderr, "Container format:\t%s\n", label);
    return Status::Success;
}

int ContainerIso::findBeginOfContainer(qint64 *offset)
{
    *offset = 0;
    return Status::Success;
}

void ContainerIso::prepareParsing() {}

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
    if (!track || track->handled)
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
// A size of 0 means the box extends to the end of the file.
int ContainerIso::parseElement(quint64 *size)
{
    const quint64 start = currentOffset;
    const quint64 fileSize = window.size();
    const quint64 end = boundEnd();
    const quint64 room = end > start ? end - start : 0;
    *size = room;
    if (room == 0)
        return Status::Success;

    const auto finish = [this, start](int status) {
        currentOffset = start;
        return status;
    };
    if (room < 8) {
        addField(start, room, QLatin1String(leftoverMarker), QString());
        addNote(QStringLiteral("%1 bytes left over: too few for a box header.").arg(room));
        return finish(start + 8 > fileSize ? Status::UnexpectedEnd : Status::Success);
    }

    quint64 sizeField = 0;
    getSize(start, &sizeField, 4);
    QString type;
    getID(start + 4, &type);
    const bool big = sizeField == 1;
    const bool userType = m_variant.userTypes && type.compare(QLatin1String("uuid"), Qt::CaseInsensitive) == 0;
    Box record;
    const bool known = searchID(type, &record) == Status::Success;
    fullBox = known && record.kind == 1;

    const quint64 minimalHeader = big ? 16 : 8;
    quint64 declaredSize = sizeField;
    QString sizeNote;
    if (sizeField == 0) {
        declaredSize = fileSize - start;
        sizeNote = QStringLiteral("Element extends to end of file.");
    } else if (big) {
        declaredSize = 0;
        if (room >= 16)
            getSize(start + 8, &declaredSize, 8);
        sizeNote = QStringLiteral("big_size contains true size");
    }
    // Nothing tells where a box smaller than its header ends, so nothing after it in its parent
    // can be trusted: it takes the rest of the parent.
    const bool walkable = declaredSize >= minimalHeader;
    const quint64 boxSize = walkable ? fit(start, declaredSize) : room;
    const quint64 boxEnd = start + boxSize;
    *size = boxSize;

    int status = Status::Success;
    const auto fail = [this, &status](int result) {
        keepFailure(result);
        if (status == Status::Success)
            status = result;
    };
    beginGroup(start, boxSize, type, -1);
    m_boxPath.push_back(type);
    if (!walkable) {
        addNote(QStringLiteral("The box size %1 is smaller than its header; the rest of the enclosing box is not walked.")
                    .arg(declaredSize));
        if (start + minimalHeader > fileSize)
            fail(Status::UnexpectedEnd);
    } else if (boxSize < declaredSize) {
        noteCut(start, declaredSize);
        fail(Status::UnexpectedEnd);
    }

    const Bound bound(*this, boxEnd);
    addField(start, 4, QStringLiteral("size"), QString::number(sizeField, numberBase), QString(), sizeNote);
    addField(start + 4, 4, QStringLiteral("type"), type);
    quint64 header = 8;
    if (big) {
        if (walkable)
            addField(start + 8, 8, QStringLiteral("big_size"), QString::number(declaredSize, numberBase));
        header += 8;
    }
    if (walkable && userType) {
        QUuid uuid;
        getUUID(start + header, &uuid);
        addField(start + header, 16, QStringLiteral("usertype"), uuid.toString());
        header += 16;
    }
    if (walkable && fullBox) {
        quint64 word = 0;
        getSize(start + header, &word, 4);
        fullBoxVersion = uint(word >> 24);
        fullBoxFlags = uint(word & 0xFFFFFF);
        addField(start + header, 1, QStringLiteral("version"), QString::number(fullBoxVersion, valueBase));
        addField(start + header + 1, 3, QStringLiteral("flags"), QString::number(fullBoxFlags, valueBase));
        header += 4;
    }

    if (walkable && header <= boxSize) {
        const quint64 payload = start + header;
        const quint64 payloadSize = boxEnd - payload;
        if (!known) {
            fail(parseUnknownObject(payload, payloadSize));
            addNote(QStringLiteral("Unknown element!"));
        } else if (record.type != Master) {
            if (record.handler)
                fail((this->*record.handler)(payload, payloadSize));
            else
                addField(payload, payloadSize, QStringLiteral("data"), QString());
        } else {
            const bool track = type == QLatin1String("trak");
            if (track) {
                m_tracks.emplace_back();
                m_tracks.back().stream = beginStream();
                ++m_openTracks;
            }
            fail(walkBoxes(payload));
            if (track)
                --m_openTracks;
        }
    }
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
    addField(offset, size, QStringLiteral("data"), QString());
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
