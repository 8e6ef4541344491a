#include "container_mkv.h"

#include "status.h"

#include <QFileInfo>
#include <QtEndian>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

constexpr quint32 ebmlId = 0x1A45DFA3;
constexpr quint32 segmentId = 0x18538067;
constexpr quint32 blockGroupId = 0xA0;
constexpr quint32 referenceBlockId = 0xFB;

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

// The first failure of a walk is the one worth reporting; later successes do not hide it.
void keepFirstFailure(int *status, int next)
{
    if (*status == Status::Success)
        *status = next;
}

QByteArray cutAtZero(const QByteArray &bytes)
{
    const qsizetype zero = bytes.indexOf('\0');
    return zero < 0 ? bytes : bytes.left(zero);
}

} // namespace

ContainerMKV::ContainerMKV() : m_window(file)
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
    m_window.reset();
}

void ContainerMKV::finalizeParsing() {}

uchar ContainerMKV::getEBMLsize(uchar firstByte)
{
    // The length is one more than the number of leading zero bits; a first byte of 0 would
    // mean more than 8 bytes and is taken as 8.
    return firstByte == 0 ? 8 : uchar(qCountLeadingZeroBits(firstByte) + 1);
}

int ContainerMKV::getID(quint64 offset, quint64 end, quint32 *id, uchar *length)
{
    quint64 available = 0;
    const char *bytes = offset < end ? m_window.peek(offset, 4, &available) : nullptr;
    available = std::min(available, end - std::min(end, offset));
    if (available == 0)
        return Status::UnexpectedEnd;
    const uchar n = getEBMLsize(uchar(bytes[0]));
    if (n > 4)
        return Status::TooLong;
    if (available < n)
        return Status::UnexpectedEnd;
    quint32 value = 0;
    for (uchar i = 0; i < n; ++i)
        value = value << 8 | uchar(bytes[i]);
    *id = value;
    *length = n;
    return Status::Success;
}

int ContainerMKV::getEBMLelement(quint64 offset, quint64 end, quint64 *value, uchar *length)
{
    quint64 available = 0;
    const char *bytes = offset < end ? m_window.peek(offset, 8, &available) : nullptr;
    available = std::min(available, end - std::min(end, offset));
    if (available == 0)
        return Status::UnexpectedEnd;
    const uchar first = uchar(bytes[0]);
    const uchar n = getEBMLsize(first);
    if (available < n)
        return Status::UnexpectedEnd;
    quint64 number = first ^ uchar(1u << (8 - n));
    for (uchar i = 1; i < n; ++i)
        number = number << 8 | uchar(bytes[i]);
    *value = number;
    *length = n;
    return first == 0 ? Status::TooLong : Status::Success;
}

int ContainerMKV::searchID(quint32 id, ElementMKV *out) const
{
    return m_dictionary.search(id, out);
}

int ContainerMKV::parseElement(quint64 *consumed)
{
    const quint64 fileSize = m_window.size();
    if (depth() == 0)
        m_end = fileSize;
    const quint64 start = currentOffset;
    const quint64 end = std::min(m_end, fileSize);
    *consumed = 0;
    if (start >= end)
        return Status::UnexpectedEnd;

    quint32 id = 0;
    uchar idLength = 0;
    const int idStatus = getID(start, end, &id, &idLength);
    quint64 claimed = 0;
    uchar sizeLength = 0;
    // An identifier that is too long counts as zero bytes; the size is then read in its place.
    const int sizeStatus = idStatus == Status::UnexpectedEnd
        ? Status::UnexpectedEnd
        : getEBMLelement(start + idLength, end, &claimed, &sizeLength);

    ElementMKV element;
    const bool found = idStatus == Status::Success && searchID(id, &element) == Status::Success;
    if (!found)
        element.name = QStringLiteral(""); // shown with an empty, not a missing, name
    element.start = start;

    if (sizeStatus == Status::UnexpectedEnd) {
        // Nothing after a header that does not fit can belong to the parent either.
        element.totalSize = end - start;
        beginGroup(start, element.totalSize, element.name, -1);
        if (idStatus == Status::Success)
            addElement(false, start, 0, idLength, QStringLiteral("id"), element.name, QString(),
                       QString(), -1);
        addNote(end == fileSize
                    ? QStringLiteral("The element header is cut off by the end of the file.")
                    : QStringLiteral("The element header is cut off by the end of its parent."));
        endGroup();
        currentOffset = start;
        *consumed = element.totalSize;
        return Status::UnexpectedEnd;
    }

    const quint64 dataOffset = start + idLength + sizeLength;
    const quint64 room = end - dataOffset;
    const bool unknownSize = claimed == (quint64(1) << (7 * sizeLength)) - 1;
    const bool cut = !unknownSize && claimed > room;
    element.dataOffset = dataOffset;
    element.dataSize = unknownSize || cut ? room : claimed;
    element.totalSize = idLength + sizeLength + element.dataSize;

    int status = Status::Success;
    beginGroup(start, element.totalSize, element.name, -1);
    addElement(false, start, 0, idLength, QStringLiteral("id"), element.name, QString(), QString(), -1);
    addElement(false, start + idLength, 0, sizeLength, QStringLiteral("size"),
               QString::number(claimed, numberBase), QString(), QString(), -1);
    if (idStatus == Status::TooLong) {
        keepFirstFailure(&status, Status::TooLong);
        addNote(QStringLiteral("The identifier is longer than 4 bytes."));
    }
    if (sizeStatus == Status::TooLong) {
        keepFirstFailure(&status, Status::TooLong);
        addNote(QStringLiteral("The size field is longer than 8 bytes."));
    }
    if (unknownSize)
        addNote(QStringLiteral("The size is unknown: the element ends with its parent or before "
                               "the next element of a higher level."));
    if (cut) {
        keepFirstFailure(&status, Status::UnexpectedEnd);
        addNote(QStringLiteral("The element claims %1 bytes of data; only %2 lie inside %3.")
                    .arg(claimed)
                    .arg(room)
                    .arg(end == fileSize ? QStringLiteral("the file") : QStringLiteral("its parent")));
    }

    if (found) {
        if (element.type == Master) {
            if (element.handler) {
                m_currentId = id;
                keepFirstFailure(&status, (this->*element.handler)(&element));
            }
            keepFirstFailure(&status, walkChildren(&element, id, unknownSize));
        } else {
            if (id == referenceBlockId)
                m_groupBlock.referenced = true;
            m_currentId = id;
            m_dataCut = cut;
            keepFirstFailure(&status, element.handler ? (this->*element.handler)(&element)
                                                      : reportValue(&element));
        }
        if (!element.description.isEmpty())
            addNote(element.description);
    } else {
        keepFirstFailure(&status, parseUnknownObject(dataOffset, element.dataSize));
        addNote(QStringLiteral("Unknown element!"));
    }
    endGroup();

    currentOffset = start;
    *consumed = element.totalSize;
    return status;
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

    const quint64 outerEnd = m_end;
    const quint64 end = element->dataOffset + element->dataSize;
    m_end = end;
    int status = Status::Success;
    quint64 pos = element->dataOffset;
    while (pos < end) {
        if (unknownSize && endsUnknownSize(id, pos, end))
            break;
        currentOffset = pos;
        quint64 childSize = 0;
        keepFirstFailure(&status, parseElement(&childSize));
        if (childSize == 0)
            break;
        pos += std::min(childSize, end - pos);
    }
    m_end = outerEnd;

    if (id == blockGroupId) {
        finishGroupBlock();
        m_groupBlock = outerGroupBlock;
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

void ContainerMKV::addValue(const ElementMKV *element, quint64 length, const QString &text,
                            const QString &description)
{
    addElement(false, element->dataOffset, 0, length, QStringLiteral("value"), text, QString(),
               description, -1);
}

int ContainerMKV::readInteger(const ElementMKV *element, quint64 *value)
{
    if (element->dataSize > 8) {
        addNote(QStringLiteral("An integer of more than 8 bytes is not shown."));
        return Status::TooLong;
    }
    // A value whose bytes are cut off would show a wrong number; the walker noted the cut.
    if (m_dataCut)
        return Status::UnexpectedEnd;
    quint64 available = 0;
    const char *bytes = m_window.peek(element->dataOffset, element->dataSize, &available);
    if (available < element->dataSize)
        return Status::UnexpectedEnd;
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
    if (m_dataCut)
        return Status::UnexpectedEnd;
    quint64 available = 0;
    const char *bytes = m_window.peek(element->dataOffset, element->dataSize, &available);
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
        *bytes = m_window.bytes(element->dataOffset, std::min(element->dataSize, limit));
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
    const int status = readInteger(element, &value);
    if (status == Status::Success)
        addValue(element, element->dataSize, QString::number(value));
    return status;
}

int ContainerMKV::reportValueSInteger(ElementMKV *element)
{
    quint64 value = 0;
    const int status = readInteger(element, &value);
    if (status != Status::Success)
        return status;
    const quint64 bits = element->dataSize * 8;
    if (bits > 0 && bits < 64 && (value >> (bits - 1)) & 1)
        value |= ~quint64(0) << bits;
    addValue(element, element->dataSize, QString::number(qint64(value)));
    return Status::Success;
}

int ContainerMKV::reportValueFloat(ElementMKV *element)
{
    double value = 0;
    const int status = readFloat(element, &value);
    if (status == Status::Success)
        addValue(element, element->dataSize, QString::number(value, 'g', 6));
    return status;
}

int ContainerMKV::reportValueString(ElementMKV *element)
{
    QByteArray bytes;
    const int status = readText(element, displayLimit, &bytes);
    if (status == Status::Success)
        addValue(element, element->dataSize, QString::fromUtf8(cutAtZero(bytes)));
    return status;
}

int ContainerMKV::reportValueUTF8(ElementMKV *element)
{
    QByteArray bytes;
    const int status = readText(element, displayLimit, &bytes);
    if (status == Status::Success)
        addValue(element, element->dataSize, QString::fromUtf8(cutAtZero(bytes)));
    return status;
}

int ContainerMKV::reportValueBinary(ElementMKV *element)
{
    QByteArray bytes;
    const int status = readText(element, displayLimit, &bytes);
    if (status == Status::Success)
        addValue(element, element->dataSize, QString::fromLatin1(bytes.toHex()));
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
    addValue(element, element->dataSize, QString());
    return Status::Success;
}

int ContainerMKV::parseUnknownObject(quint64 offset, quint64 size)
{
    if (!showUnknown || size == 0)
        return Status::Success;
    QByteArray bytes;
    try {
        bytes = m_window.bytes(offset, std::min(size, displayLimit));
    } catch (const std::bad_alloc &) {
        return Status::AllocationFailed;
    }
    // Printable ASCII stays, 0x7F included; every other byte shows as a dot.
    QString text(bytes.size(), QLatin1Char('.'));
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const uchar c = uchar(bytes.at(i));
        if (c >= 0x20 && c <= 0x7F)
            text[i] = QLatin1Char(char(c));
    }
    addElement(false, offset, 0, quint64(bytes.size()), QStringLiteral("value"), text, QString(),
               QString(), -1);
    return Status::Success;
}
