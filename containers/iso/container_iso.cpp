#include "container_iso.h"

#include "byte_reader.h"
#include "status.h"

#include <QFileInfo>

#include <cstdio>
#include <new>

namespace {

// The name the tree shows as leftover data: bytes that belong to no box.
const QString leftoverName = QStringLiteral("d771bd4e-a2e6-46e3-ad1c-1aafa1b60c87");

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

int ContainerIso::getID(QString *id)
{
    char bytes[5] = {};
    file.read(bytes, 4);
    *id = QString::fromLatin1(bytes, qsizetype(qstrnlen(bytes, 4)));
    return Status::Success;
}

int ContainerIso::getSize(quint64 *size, uchar bytes)
{
    quint64 value = 0;
    const uchar count = qMin<uchar>(bytes, sizeof(value));
    file.read(reinterpret_cast<char *>(&value), count);
    swapByteOrder(&value, count);
    *size = value;
    return Status::Success;
}

int ContainerIso::getUUID(QUuid *uuid)
{
    char bytes[16] = {};
    file.read(bytes, sizeof(bytes));
    *uuid = QUuid::fromRfc4122(QByteArrayView(bytes, sizeof(bytes)));
    return Status::Success;
}

int ContainerIso::searchID(const QString &type, Box *out)
{
    return m_boxes.search(type, out);
}

void ContainerIso::boxStarting(const QString &) {}

void ContainerIso::handlerFound(const QString &handlerType)
{
    if (TrackSampleTables *track = currentTrack())
        track->video = handlerType == QLatin1String("vide");
}

bool ContainerIso::walksTrack(const TrackSampleTables &) const
{
    return true;
}

TrackSampleTables *ContainerIso::currentTrack()
{
    return m_openTracks > 0 && !m_tracks.empty() ? &m_tracks.back() : nullptr;
}

TrackSampleTables *ContainerIso::currentVideoTrack()
{
    TrackSampleTables *track = currentTrack();
    return track && track->video ? track : nullptr;
}

// Box header (ISO/IEC 14496-12, 4.2):
//   size(32) type(32) [big_size(64) when size = 1] [usertype(128) when type = "uuid"]
//   [version(8) flags(24) for a full box]
// A size of 0 means the box extends to the end of the file.
int ContainerIso::parseElement(quint64 *size)
{
    const quint64 start = currentOffset;
    const quint64 fileSize = quint64(qMax<qint64>(file.size(), 0));
    const quint64 end = qMin(m_limit, fileSize);
    const quint64 room = end > start ? end - start : 0;
    *size = room;
    if (room == 0)
        return Status::Success;

    const auto finish = [this, start](int status) {
        currentOffset = start;
        file.seek(qint64(start));
        return status;
    };
    if (room < 8) {
        addElement(false, start, 0, room, leftoverName, QString(), QString(), QString(), -1);
        addNote(QStringLiteral("%1 bytes left over: too few for a box header.").arg(room));
        return finish(start + 8 > fileSize ? Status::UnexpectedEnd : Status::Success);
    }

    file.seek(qint64(start));
    quint64 sizeField = 0;
    getSize(&sizeField, 4);
    QString type;
    getID(&type);
    const bool big = sizeField == 1;
    const bool userType = m_variant.userTypes && type.compare(QLatin1String("uuid"), Qt::CaseInsensitive) == 0;
    boxStarting(type);
    Box record;
    const bool known = searchID(type, &record) == Status::Success;
    fullBox = known && record.kind == 1;

    const quint64 minimalHeader = big ? 16 : 8;
    quint64 boxSize = sizeField;
    QString sizeNote;
    if (sizeField == 0) {
        boxSize = fileSize - start;
        sizeNote = QStringLiteral("Element extends to end of file.");
    } else if (big) {
        boxSize = 0;
        if (room >= 16) {
            file.seek(qint64(start + 8));
            getSize(&boxSize, 8);
        }
        sizeNote = QStringLiteral("big_size contains true size");
    }
    const quint64 declaredSize = boxSize;
    bool walkable = true;
    QString cutNote;
    if (boxSize < minimalHeader) {
        // Nothing tells where such a box ends, so nothing after it in its parent can be trusted.
        walkable = false;
        boxSize = room;
        cutNote = QStringLiteral("The box size %1 is smaller than its header; the rest of the enclosing box is not walked.")
                      .arg(declaredSize);
    } else if (boxSize > room) {
        cutNote = m_limit < fileSize && boxSize > m_limit - start
            ? QStringLiteral("The box size %1 runs past the end of the enclosing box; the box is cut to %2 bytes.")
            : QStringLiteral("The box size %1 runs past the end of the file; the box is cut to %2 bytes.");
        cutNote = cutNote.arg(declaredSize).arg(room);
        boxSize = room;
    }
    const quint64 boxEnd = start + boxSize;
    *size = boxSize;

    beginGroup(start, boxSize, type, -1);
    addElement(false, start, 0, 4, QStringLiteral("size"), QString::number(sizeField, numberBase),
               QString(), sizeNote, -1);
    addElement(false, start + 4, 0, 4, QStringLiteral("type"), type, QString(), QString(), -1);
    quint64 header = 8;
    if (big && boxSize >= 16)
        addElement(false, start + 8, 0, 8, QStringLiteral("big_size"),
                   QString::number(declaredSize, numberBase), QString(), QString(), -1);
    if (big)
        header += 8;
    if (!cutNote.isEmpty())
        addNote(cutNote);

    int status = Status::Success;
    bool headerFits = walkable;
    if (headerFits && userType) {
        headerFits = header + 16 <= boxSize;
        if (headerFits) {
            file.seek(qint64(start + header));
            QUuid uuid;
            getUUID(&uuid);
            addElement(false, start + header, 0, 16, QStringLiteral("usertype"), uuid.toString(),
                       QString(), QString(), -1);
            header += 16;
        }
    }
    if (headerFits && fullBox) {
        headerFits = header + 4 <= boxSize;
        if (headerFits) {
            file.seek(qint64(start + header));
            quint64 word = 0;
            getSize(&word, 4);
            fullBoxVersion = uint(word >> 24);
            fullBoxFlags = uint(word & 0xFFFFFF);
            addElement(false, start + header, 0, 1, QStringLiteral("version"),
                       QString::number(fullBoxVersion, valueBase), QString(), QString(), -1);
            addElement(false, start + header + 1, 0, 3, QStringLiteral("flags"),
                       QString::number(fullBoxFlags, valueBase), QString(), QString(), -1);
            header += 4;
        }
    }
    if (walkable && !headerFits)
        addNote(QStringLiteral("The box ends inside its header."));

    if (headerFits) {
        const quint64 payload = start + header;
        const quint64 payloadSize = boxEnd - payload;
        if (!known) {
            status = parseUnknownObject(payload, payloadSize);
            addNote(QStringLiteral("Unknown element!"));
        } else if (record.type != Master) {
            if (record.handler) {
                const quint64 savedFieldEnd = m_fieldEnd;
                const bool savedFieldsCut = m_fieldsCut;
                m_fieldEnd = boxEnd;
                m_fieldsCut = false;
                file.seek(qint64(payload));
                status = (this->*record.handler)(payload, payloadSize);
                if (m_fieldsCut)
                    addNote(QStringLiteral("The box ends inside its fields; the fields past its end are not shown."));
                m_fieldEnd = savedFieldEnd;
                m_fieldsCut = savedFieldsCut;
            } else {
                addElement(false, payload, 0, payloadSize, QStringLiteral("data"), QString(),
                           QString(), QString(), -1);
            }
        } else {
            const bool track = type == QLatin1String("trak");
            if (track) {
                beginStream();
                m_tracks.emplace_back();
                ++m_openTracks;
            }
            status = walkBoxes(payload, boxEnd);
            if (track)
                --m_openTracks;
        }
    } else if (!walkable && start + minimalHeader > fileSize) {
        status = Status::UnexpectedEnd;
    }

    if (known && !record.description.isEmpty())
        addNote(record.description);
    endGroup();
    return finish(status);
}

int ContainerIso::walkBoxes(quint64 begin, quint64 end)
{
    if (begin >= end)
        return Status::Success;
    if (depth() >= maxDepth) {
        addElement(false, begin, 0, end - begin, QStringLiteral("data"), QString(), QString(),
                   QString(), -1);
        addNote(QStringLiteral("The boxes are nested too deeply; the boxes inside this one are not walked."));
        return Status::Success;
    }
    const quint64 savedLimit = m_limit;
    const quint64 savedOffset = currentOffset;
    m_limit = end;
    int status = Status::Success;
    for (quint64 child = begin; child < end;) {
        currentOffset = child;
        file.seek(qint64(child));
        quint64 childSize = 0;
        status = parseElement(&childSize);
        if (childSize == 0)
            break;
        child += childSize;
    }
    m_limit = savedLimit;
    currentOffset = savedOffset;
    file.seek(qint64(savedOffset));
    return status;
}

int ContainerIso::parseJunk(quint64 offset, quint64 size)
{
    field(offset, size, QStringLiteral("data"), QString());
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
    for (char &c : bytes)
        if (uchar(c) < 0x20 || uchar(c) > 0x7F)
            c = '.';
    file.seek(qint64(offset));
    field(offset, quint64(bytes.size()), QStringLiteral("data"), QString::fromLatin1(bytes));
    return Status::Success;
}

bool ContainerIso::fits(quint64 offset, quint64 size)
{
    if (offset <= m_fieldEnd && size <= m_fieldEnd - offset)
        return true;
    m_fieldsCut = true;
    return false;
}

void ContainerIso::field(quint64 offset, quint64 size, const QString &name, const QString &value,
                         const QString &description, qint64 index)
{
    if (fits(offset, size))
        addElement(false, offset, 0, size, name, value, QString(), description, index);
}

void ContainerIso::bitField(quint64 offset, uchar firstBit, quint64 bits, const QString &name,
                            const QString &value)
{
    if (fits(offset, (firstBit + bits + 7) / 8))
        addElement(true, offset, firstBit, bits, name, value, QString(), QString(), -1);
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
