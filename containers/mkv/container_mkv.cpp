#include "container_mkv.h"

#include "status.h"

#include <QFileInfo>
#include <QtEndian>

#include <algorithm>
#include <utility>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

constexpr quint32 ebmlId = 0x1A45DFA3;
constexpr quint32 segmentId = 0x18538067;
constexpr quint32 blockGroupId = 0xA0;
constexpr quint32 trackEntryId = 0xAE;
constexpr quint32 referenceBlockId = 0xFB;
constexpr quint32 seekId = 0x4DBB;
constexpr quint32 cueTrackPositionsId = 0xB7;
constexpr quint32 simpleTagId = 0x67C8;

// Elements that may follow an element of unknown size on the level of its parent or above;
// meeting one ends the unknown-size element.
bool isTopLevel(quint32 id)
{
    return id == ebmlId || id == segmentId;
}

bool isSegmentChild(quint32 id)
{
    switch (id) {
    case 0x114D9B74: // SeekHead
    case 0x1549A966: // SegmentInfo
    case 0x1654AE6B: // Tracks
    case 0x1F43B675: // Cluster
    case 0x1C53BB6B: // Cues
    case 0x1941A469: // Attachments
    case 0x1043A770: // Chapters
    case 0x1254C367: // Tags
        return true;
    default:
        return false;
    }
}

} // namespace

QByteArray ContainerMKV::cutAtZero(const QByteArray &bytes)
{
    const qsizetype zero = bytes.indexOf('\0');
    return zero < 0 ? bytes : bytes.left(zero);
}

ContainerMKV::ContainerMKV()
{
    buildDictionary();

    // The flag texts of a block header, one per flag byte:
    //   bit 7 key frame, bit 3 invisible, bits 2-1 lacing, bit 0 discardable.
    static const char *const lacing[] = {"No", "Xiph", "Fixed-size", "EBML"};
    m_flagTexts.reserve(256);
    for (int flags = 0; flags < 256; ++flags) {
        QString text;
        if (flags & 0x80)
            text += QStringLiteral("Keyframe. ");
        if (flags & 0x08)
            text += QStringLiteral("Invisible. ");
        if ((flags >> 1) & 3)
            text += QLatin1String(lacing[(flags >> 1) & 3]) + QStringLiteral(" lacing. ");
        if (flags & 0x01)
            text += QStringLiteral("Discardable.");
        m_flagTexts.append(text);
    }
}

ContainerMKV::~ContainerMKV() = default;

int ContainerMKV::verifyContainerFormat(const QString &fileName)
{
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix != QLatin1String("mkv") && suffix != QLatin1String("webm"))
        return Status::NotThisFormat;
    std::fputs("Container format:\tMKV\n", stderr);
    return Status::Success;
}

int ContainerMKV::findBeginOfContainer(qint64 *begin)
{
    *begin = 0;
    return Status::Success;
}

void ContainerMKV::prepareParsing()
{
    m_segmentData = 0;
    m_seekId = 0;
    m_cueCluster = 0;
    m_lastTarget = Target();
    m_tag = Tag();
    m_clusterTime = 0;
    m_entryStart = 0;
    m_defaultDurations.clear();
    m_codecStream = -1;
    m_codecId.clear();
}

void ContainerMKV::finalizeParsing()
{
    // Block timestamps count ticks of the segment's scale, in nanoseconds each.
    const quint64 timescale = quint64(qRound64(1e9 / double(m_timecodeScale)));
    for (StreamRecord &stream : streams) {
        stream.timescale = timescale;
        // An audio track without Channels or SamplingFrequency has their defaults, 1 and 8000 Hz.
        if (stream.kind == StreamRecord::Audio) {
            if (stream.channels == 0)
                stream.channels = 1;
            if (stream.sampleRate == 0)
                stream.sampleRate = 8000;
        }
    }
}

uchar ContainerMKV::getEBMLsize(uchar firstByte)
{
    // The length is one more than the number of leading zero bits; a first byte of 0 would
    // mean more than 8 bytes and is taken as 8.
    return firstByte == 0 ? 8 : uchar(qCountLeadingZeroBits(firstByte) + 1);
}

int ContainerMKV::getID(quint64 offset, quint64 end, quint32 *id, uchar *length)
{
    quint64 available = 0;
    const char *bytes = offset < end ? window.peek(offset, 4, &available) : nullptr;
    available = std::min(available, end - std::min(end, offset));
    if (available == 0)
        return Status::UnexpectedEnd;
    const uchar n = getEBMLsize(uchar(bytes[0]));
    if (n > 4)
        return Status::TooLong;
    *length = n;
    if (available < n)
        return Status::UnexpectedEnd;
    quint32 value = 0;
    for (uchar i = 0; i < n; ++i)
        value = value << 8 | uchar(bytes[i]);
    *id = value;
    return Status::Success;
}

int ContainerMKV::getEBMLelement(quint64 offset, quint64 end, quint64 *value, uchar *length)
{
    quint64 available = 0;
    const char *bytes = offset < end ? window.peek(offset, 8, &available) : nullptr;
    available = std::min(available, end - std::min(end, offset));
    if (available == 0)
        return Status::UnexpectedEnd;
    const uchar first = uchar(bytes[0]);
    const uchar n = getEBMLsize(first);
    quint64 number = first ^ uchar(1u << (8 - n));
    for (uchar i = 1; i < n; ++i)
        number = number << 8 | (i < available ? uchar(bytes[i]) : 0);
    *value = number;
    *length = n;
    if (available < n)
        return Status::UnexpectedEnd;
    return first == 0 ? Status::TooLong : Status::Success;
}

int ContainerMKV::searchID(quint32 id, ElementMKV *out) const
{
    return m_dictionary.search(id, out);
}

ContainerMKV::ElementHeader ContainerMKV::readElementHeader(quint64 start, quint64 end,
                                                           ElementMKV *element)
{
    ElementHeader header;
    header.idStatus = getID(start, end, &header.id, &header.idLength);
    // An identifier that is too long counts as zero bytes; the size is read in its place.
    const quint64 sizeAt = start + (header.idStatus == Status::Success ? header.idLength : 0);
    header.sizeStatus = header.idStatus == Status::UnexpectedEnd
        ? int(Status::UnexpectedEnd)
        : getEBMLelement(sizeAt, end, &header.claimed, &header.sizeLength);
    if (header.idStatus == Status::TooLong)
        header.idLength = 0;
    header.cut = header.sizeStatus == Status::UnexpectedEnd;
    header.known = header.idStatus == Status::Success && searchID(header.id, element) == Status::Success;
    if (!header.known)
        element->name = header.idStatus == Status::Success ? hexName(header.id) : identifierBytes(start, end);

    element->start = start;
    element->dataOffset = sizeAt + header.sizeLength;
    header.unknownSize = !header.cut && header.claimed == (quint64(1) << (7 * header.sizeLength)) - 1;
    if (header.cut) {
        // Nothing after a header cut off by its parent or the file can belong to the parent.
        element->totalSize = end - start;
        return header;
    }
    element->dataSize = header.unknownSize ? end - element->dataOffset : header.claimed;
    header.claimedTotal = element->dataOffset - start + element->dataSize;
    element->totalSize = std::min(header.claimedTotal, end - start);
    return header;
}

int ContainerMKV::reportElementHeader(const ElementMKV &element, const ElementHeader &header)
{
    const quint64 start = element.start;
    int status = Status::Success;
    if (element.totalSize < header.claimedTotal) {
        noteCut(start, header.claimedTotal);
        status = Status::UnexpectedEnd;
    }
    addField(start, header.idLength, QStringLiteral("id"), element.name);
    if (header.sizeLength > 0)
        addField(element.dataOffset - header.sizeLength, header.sizeLength, QStringLiteral("size"),
                 QString::number(header.claimed, numberBase));
    if (header.idStatus == Status::TooLong) {
        addNote(QStringLiteral("The identifier is longer than 4 bytes."));
        status = Status::TooLong;
    }
    if (header.cut)
        return Status::UnexpectedEnd;
    if (header.sizeStatus == Status::TooLong) {
        addNote(QStringLiteral("The size field is longer than 8 bytes."));
        status = Status::TooLong;
    }
    if (header.unknownSize)
        addNote(QStringLiteral("The size is unknown: the element ends with its parent or before "
                               "the next element of a higher level."));
    setGroupDescription(element.description);
    if (element.deprecated)
        addNote(QStringLiteral("This element is deprecated: it is no longer part of the format."));
    return status;
}

int ContainerMKV::parsePayload(ElementMKV *element, const ElementHeader &header)
{
    m_currentId = header.id;
    if (!header.known) {
        addNote(QStringLiteral("Unknown element!"));
        // Only a master element may have an unknown size: its children show where it ends.
        if (header.unknownSize)
            return walkChildren(element, header.id, true);
        return parseUnknownObject(element->dataOffset, element->dataSize);
    }
    if (element->type != Master) {
        if (header.id == referenceBlockId)
            m_groupBlock.referenced = true;
        return element->handler ? (this->*element->handler)(element) : reportValue(element);
    }
    int status = element->handler ? (this->*element->handler)(element) : int(Status::Success);
    const int children = walkChildren(element, header.id, header.unknownSize);
    return status == Status::Success ? children : status;
}

int ContainerMKV::parseElement(quint64 *consumed)
{
    const quint64 start = currentOffset;
    const quint64 end = boundEnd();
    *consumed = 0;
    if (start >= end)
        return Status::UnexpectedEnd;

    ElementMKV element;
    const ElementHeader header = readElementHeader(start, end, &element);
    beginGroup(start, element.totalSize, element.name, -1);
    // A failure belongs to this element while its group is open; the walk returns the first
    // one of the element and its children.
    int status = keepFailure(reportElementHeader(element, header));
    if (!header.cut) {
        const int payload = keepFailure(parsePayload(&element, header));
        if (status == Status::Success)
            status = payload;
    }
    endGroup();

    currentOffset = start;
    *consumed = element.totalSize;
    return status;
}

QString ContainerMKV::hexName(quint32 id)
{
    return QStringLiteral("0x") + QString::number(id, 16).toUpper();
}

// The bytes of an identifier that cannot be read as one, as far as its length marker reaches.
QString ContainerMKV::identifierBytes(quint64 start, quint64 end)
{
    quint64 available = 0;
    const char *bytes = start < end ? window.peek(start, 8, &available) : nullptr;
    available = std::min(available, end - start);
    if (!bytes || available == 0)
        return QString();
    const quint64 length = std::min<quint64>(getEBMLsize(uchar(bytes[0])), available);
    return QStringLiteral("0x") + QString::fromLatin1(QByteArray(bytes, qsizetype(length)).toHex().toUpper());
}

int ContainerMKV::walkChildren(ElementMKV *element, quint32 id, bool unknownSize)
{
    if (depth() >= maxDepth) {
        addNote(QStringLiteral("Nested too deeply; the children are not shown."));
        return Status::Success;
    }
    const GroupBlock outerGroupBlock = m_groupBlock;
    if (id == blockGroupId) {
        m_groupBlock = GroupBlock();
        m_groupBlock.open = true;
    }
    const Tag outerTag = std::exchange(m_tag, Tag());
    if (id == seekId)
        m_seekId = 0;
    else if (id == cueTrackPositionsId)
        m_cueCluster = 0;

    const Bound bound(*this, element->dataOffset + element->dataSize);
    const quint64 end = bound.end();
    int status = Status::Success;
    quint64 pos = element->dataOffset;
    while (pos < end) {
        if (unknownSize && endsUnknownSize(id, pos, end))
            break;
        currentOffset = pos;
        quint64 childSize = 0;
        const int child = parseElement(&childSize);
        if (status == Status::Success)
            status = child;
        if (childSize == 0)
            break;
        pos += std::min(childSize, end - pos);
    }

    if (id == simpleTagId && !m_tag.name.isEmpty())
        setGroupReadable(m_tag.name + QStringLiteral(" = ") + m_tag.value);
    m_tag = outerTag;
    if (id == blockGroupId) {
        // Whether the Block is a key frame is known only now, from the ReferenceBlocks beside it.
        if (m_groupBlock.hasBlock)
            setGroupReadable(blockSummary(m_groupBlock.track, m_groupBlock.block.time,
                                          uchar((m_groupBlock.flags & 0x7F) | (m_groupBlock.referenced ? 0 : 0x80))));
        finishGroupBlock();
        m_groupBlock = outerGroupBlock;
    } else if (id == trackEntryId) {
        // Track elements outside an entry belong to no track.
        m_trackNumber = 0;
        m_trackType = 0;
        m_entryStream = -1;
    }
    if (unknownSize) {
        element->dataSize = pos - element->dataOffset;
        element->totalSize = element->dataOffset - element->start + element->dataSize;
        setEntrySize(element->totalSize);
    }
    return status;
}

bool ContainerMKV::endsUnknownSize(quint32 parentId, quint64 offset, quint64 end)
{
    quint32 id = 0;
    uchar length = 0;
    if (getID(offset, end, &id, &length) != Status::Success)
        return false;
    if (isTopLevel(id))
        return true;
    return !isTopLevel(parentId) && isSegmentChild(id);
}

bool ContainerMKV::dataCut(const ElementMKV *element) const
{
    return fit(element->dataOffset, element->dataSize) < element->dataSize;
}

// The field claims the element's whole data; the base keeps what lies inside its parent.
void ContainerMKV::addValue(const ElementMKV *element, const QString &text,
                            const QString &description)
{
    addField(element->dataOffset, element->dataSize, QStringLiteral("value"), text, QString(),
             description);
}

// A number decoded from part of its bytes would be wrong: its field shows the bytes that exist.
int ContainerMKV::reportCutNumber(const ElementMKV *element)
{
    const QByteArray bytes = readAt(element->dataOffset, fit(element->dataOffset, element->dataSize));
    addValue(element, QString::fromLatin1(bytes.toHex()));
    return Status::UnexpectedEnd;
}

int ContainerMKV::readInteger(const ElementMKV *element, quint64 *value)
{
    if (element->dataSize > 8) {
        addNote(QStringLiteral("An integer of more than 8 bytes is not shown."));
        return Status::TooLong;
    }
    if (dataCut(element))
        return reportCutNumber(element);
    quint64 available = 0;
    const char *bytes = window.peek(element->dataOffset, element->dataSize, &available);
    quint64 number = 0;
    for (quint64 i = 0; i < available; ++i)
        number = number << 8 | uchar(bytes[i]);
    *value = number;
    return Status::Success;
}

int ContainerMKV::readFloat(const ElementMKV *element, double *value)
{
    if (element->dataSize != 4 && element->dataSize != 8) {
        addNote(QStringLiteral("A float of %1 bytes is not shown.").arg(element->dataSize));
        return Status::TooLong;
    }
    if (dataCut(element))
        return reportCutNumber(element);
    quint64 available = 0;
    const char *bytes = window.peek(element->dataOffset, element->dataSize, &available);
    if (available < element->dataSize)
        return Status::UnexpectedEnd;
    if (element->dataSize == 4) {
        const quint32 bits = qFromBigEndian<quint32>(bytes);
        float number = 0;
        std::memcpy(&number, &bits, sizeof number);
        *value = number;
    } else {
        const quint64 bits = qFromBigEndian<quint64>(bytes);
        std::memcpy(value, &bits, sizeof *value);
    }
    return Status::Success;
}

int ContainerMKV::readText(const ElementMKV *element, quint64 limit, QByteArray *bytes)
{
    try {
        *bytes = readAt(element->dataOffset, std::min(fit(element->dataOffset, element->dataSize), limit));
    } catch (const std::bad_alloc &) {
        return Status::AllocationFailed;
    }
    return Status::Success;
}

int ContainerMKV::reportValue(ElementMKV *element)
{
    switch (element->type) {
    case SInteger:
    case Date:
        return reportValueSInteger(element);
    case UInteger:
        return reportValueUInteger(element);
    case Float:
        return reportValueFloat(element);
    case String:
        return reportValueString(element);
    case UTF8:
        return reportValueUTF8(element);
    case Binary:
        return reportValueBinary(element);
    default:
        return Status::Success;
    }
}

int ContainerMKV::reportValueUInteger(ElementMKV *element)
{
    quint64 value = 0;
    return reportUnsigned(element, &value);
}

int ContainerMKV::reportUnsigned(ElementMKV *element, quint64 *value)
{
    const int status = readInteger(element, value);
    if (status == Status::Success)
        addField(element->dataOffset, element->dataSize, QStringLiteral("value"), valueNumber(*value),
                 enumLabel(m_currentId, *value));
    return status;
}

int ContainerMKV::reportValueSInteger(ElementMKV *element)
{
    qint64 value = 0;
    const int status = readSigned(element, &value);
    if (status != Status::Success)
        return status;
    addValue(element, valueNumber(value));
    return Status::Success;
}

int ContainerMKV::reportValueFloat(ElementMKV *element)
{
    double value = 0;
    const int status = readFloat(element, &value);
    if (status == Status::Success)
        addValue(element, QString::number(value, 'g', 6));
    return status;
}

int ContainerMKV::reportValueString(ElementMKV *element)
{
    QByteArray bytes;
    const int status = readText(element, displayLimit, &bytes);
    if (status == Status::Success)
        addValue(element, QString::fromUtf8(cutAtZero(bytes)));
    return status;
}

int ContainerMKV::reportValueUTF8(ElementMKV *element)
{
    QByteArray bytes;
    const int status = readText(element, displayLimit, &bytes);
    if (status == Status::Success)
        addValue(element, QString::fromUtf8(cutAtZero(bytes)));
    return status;
}

int ContainerMKV::reportValueBinary(ElementMKV *element)
{
    QByteArray bytes;
    const int status = readText(element, displayLimit, &bytes);
    if (status == Status::Success)
        addValue(element, QString::fromLatin1(bytes.toHex()));
    return status;
}

int ContainerMKV::reportValueDate(ElementMKV *)
{
    return Status::Success;
}

int ContainerMKV::parseJunk(ElementMKV *element)
{
    if (!showJunk)
        return Status::Success;
    return reportValueUTF8(element);
}

int ContainerMKV::parseData(ElementMKV *element)
{
    addValue(element, QString());
    return Status::Success;
}

int ContainerMKV::parseUnknownObject(quint64 offset, quint64 size)
{
    if (!showUnknown || size == 0)
        return Status::Success;
    const quint64 length = std::min(size, displayLimit);
    QByteArray bytes;
    try {
        bytes = readAt(offset, fit(offset, length));
    } catch (const std::bad_alloc &) {
        return Status::AllocationFailed;
    }
    addField(offset, length, QStringLiteral("value"), toPrintable(bytes));
    return Status::Success;
}
