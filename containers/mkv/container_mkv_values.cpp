// Readable values: times, dates, positions in the segment and the elements they point at,
// flags, enumerations and tags.

#include "container_mkv.h"

#include "status.h"

#include <QDateTime>
#include <QTimeZone>

#include <cmath>
#include <limits>

namespace {

constexpr quint32 seekPositionId = 0x53AC;
constexpr quint32 cueClusterPositionId = 0xF1;
constexpr quint32 clusterId = 0x1F43B675;
constexpr qint64 nanosecondsPerSecond = 1000000000;
constexpr quint64 nanosecondsPerMillisecond = 1000000;

QString fraction(qint64 nanoseconds)
{
    return QStringLiteral("%1").arg(nanoseconds, 9, 10, QLatin1Char('0'));
}

// h:mm:ss.fff for magnitude units of 10^-digits seconds, written by hand backwards to end:
// every block's timestamp goes through here. Returns the first character.
char *writeClock(char *end, bool negative, quint64 magnitude, int digits)
{
    quint64 unitsPerSecond = 1;
    for (int digit = 0; digit < digits; ++digit)
        unitsPerSecond *= 10;
    quint64 seconds = magnitude / unitsPerSecond;
    quint64 rest = magnitude % unitsPerSecond;
    char *at = end;
    for (int digit = 0; digit < digits; ++digit, rest /= 10)
        *--at = char('0' + rest % 10);
    *--at = '.';
    for (const quint64 unit : {quint64(60), quint64(60)}) {
        const quint64 part = seconds % unit;
        seconds /= unit;
        *--at = char('0' + part % 10);
        *--at = char('0' + part / 10);
        *--at = ':';
    }
    do {
        *--at = char('0' + seconds % 10);
        seconds /= 10;
    } while (seconds > 0);
    if (negative)
        *--at = '-';
    return at;
}

// The magnitude of the most negative value does not fit; it is one nanosecond off.
quint64 magnitudeOf(qint64 value)
{
    return value < 0 ? quint64(-(value + 1)) + 1 : quint64(value);
}

// Enough for the sign, the hours of 2^64 units, ":mm:ss", the point and nine digits of fraction.
constexpr int clockLength = 40;

} // namespace

QString ContainerMKV::nanosecondsText(qint64 nanoseconds)
{
    char text[clockLength];
    const char *begin = writeClock(text + clockLength, nanoseconds < 0, magnitudeOf(nanoseconds), 9);
    return QString::fromLatin1(begin, text + clockLength - begin);
}

void ContainerMKV::appendMilliseconds(SummaryText &summary, qint64 nanoseconds)
{
    const quint64 milliseconds = (magnitudeOf(nanoseconds) + nanosecondsPerMillisecond / 2) / nanosecondsPerMillisecond;
    char text[clockLength];
    const char *begin = writeClock(text + clockLength, nanoseconds < 0 && milliseconds > 0, milliseconds, 3);
    summary.append(begin, text + clockLength - begin);
}

QString ContainerMKV::ticksText(double ticks) const
{
    const double nanoseconds = ticks * double(m_timecodeScale);
    if (!std::isfinite(nanoseconds) || std::fabs(nanoseconds) >= 9.2e18)
        return QString();
    return nanosecondsText(std::llround(nanoseconds));
}

int ContainerMKV::parseSegment(ElementMKV *element)
{
    m_segmentData = element->dataOffset;
    return Status::Success;
}

int ContainerMKV::readSigned(const ElementMKV *element, qint64 *value)
{
    quint64 bits = 0;
    const int status = readInteger(element, &bits);
    if (status != Status::Success)
        return status;
    const quint64 width = element->dataSize * 8;
    if (width > 0 && width < 64 && (bits >> (width - 1)) & 1)
        bits |= ~quint64(0) << width;
    *value = qint64(bits);
    return Status::Success;
}

// Nanoseconds since 2001-01-01 00:00:00 UTC.
int ContainerMKV::parseDate(ElementMKV *element)
{
    qint64 nanoseconds = 0;
    const int status = readSigned(element, &nanoseconds);
    if (status != Status::Success)
        return status;
    qint64 seconds = nanoseconds / nanosecondsPerSecond;
    qint64 rest = nanoseconds % nanosecondsPerSecond;
    if (rest < 0) {
        rest += nanosecondsPerSecond;
        --seconds;
    }
    const QDateTime date = QDateTime(QDate(2001, 1, 1), QTime(0, 0), QTimeZone::utc()).addSecs(seconds);
    addField(element->dataOffset, element->dataSize, QStringLiteral("value"), valueNumber(nanoseconds),
             date.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.")) + fraction(rest) + QStringLiteral(" UTC"));
    return Status::Success;
}

int ContainerMKV::parseNanoseconds(ElementMKV *element)
{
    quint64 value = 0;
    const int status = readInteger(element, &value);
    if (status != Status::Success)
        return status;
    addField(element->dataOffset, element->dataSize, QStringLiteral("value"), valueNumber(value),
             value <= quint64(std::numeric_limits<qint64>::max()) ? nanosecondsText(qint64(value)) : QString());
    return Status::Success;
}

int ContainerMKV::parseSignedNanoseconds(ElementMKV *element)
{
    qint64 value = 0;
    const int status = readSigned(element, &value);
    if (status != Status::Success)
        return status;
    addField(element->dataOffset, element->dataSize, QStringLiteral("value"), valueNumber(value),
             nanosecondsText(value));
    return Status::Success;
}

int ContainerMKV::parseTicks(ElementMKV *element)
{
    quint64 value = 0;
    const int status = readInteger(element, &value);
    if (status == Status::Success)
        addField(element->dataOffset, element->dataSize, QStringLiteral("value"), valueNumber(value),
                 ticksText(double(value)));
    return status;
}

int ContainerMKV::parseSignedTicks(ElementMKV *element)
{
    qint64 value = 0;
    const int status = readSigned(element, &value);
    if (status != Status::Success)
        return status;
    addField(element->dataOffset, element->dataSize, QStringLiteral("value"), valueNumber(value),
             ticksText(double(value)));
    return Status::Success;
}

int ContainerMKV::parseSegmentDuration(ElementMKV *element)
{
    double value = 0;
    const int status = readFloat(element, &value);
    if (status == Status::Success)
        addField(element->dataOffset, element->dataSize, QStringLiteral("value"),
                 QString::number(value, 'g', 6), ticksText(value));
    return status;
}

ContainerMKV::Target ContainerMKV::elementAt(quint64 offset)
{
    if (m_lastTarget.valid && m_lastTarget.offset == offset)
        return m_lastTarget;
    Target target;
    target.offset = offset;
    const QByteArray bytes = window.glance(offset, 12);
    if (!bytes.isEmpty()) {
        const uchar idLength = getEBMLsize(uchar(bytes[0]));
        if (idLength <= 4 && bytes.size() >= idLength) {
            for (uchar i = 0; i < idLength; ++i)
                target.id = target.id << 8 | uchar(bytes[i]);
            const uchar sizeLength = bytes.size() > idLength ? getEBMLsize(uchar(bytes[idLength])) : 0;
            target.valid = true;
            target.headerSize = idLength + sizeLength;
        }
    }
    m_lastTarget = target;
    return target;
}

QString ContainerMKV::elementName(quint32 id) const
{
    const ElementMKV *row = m_dictionary.find(id);
    return row ? row->name : hexName(id);
}

QString ContainerMKV::targetText(quint64 offset, const Target &target) const
{
    const QString at = QStringLiteral("byte %1").arg(QString::number(offset, numberBase));
    return target.valid ? elementName(target.id) + QStringLiteral(" at ") + at : at;
}

// A position counted from the first data byte of the segment; readable as the element at the
// absolute file offset it gives.
int ContainerMKV::parseSegmentPosition(ElementMKV *element)
{
    quint64 value = 0;
    const int status = readInteger(element, &value);
    if (status != Status::Success)
        return status;
    const quint64 size = window.size();
    const bool inside = value < size && m_segmentData < size - value;
    const quint64 offset = m_segmentData + value;
    const Target target = inside ? elementAt(offset) : Target();
    addField(element->dataOffset, element->dataSize, QStringLiteral("value"), offsetNumber(value),
             inside ? targetText(offset, target)
                    : QStringLiteral("past the end of the file"));
    if (inside)
        linkLastElement(offset);
    if (m_currentId == cueClusterPositionId)
        m_cueCluster = inside && target.valid && target.id == clusterId ? offset + target.headerSize : 0;
    if (!inside) {
        addNote(QStringLiteral("It points past the end of the file."));
    } else if (m_currentId == seekPositionId && m_seekId != 0 && target.valid && target.id != m_seekId) {
        addNote(QStringLiteral("The seek entry names %1, but the element at byte %2 is %3.")
                    .arg(elementName(m_seekId), QString::number(offset, numberBase), elementName(target.id)));
    } else if (m_currentId == cueClusterPositionId && target.valid && target.id != clusterId) {
        addNote(QStringLiteral("It points at %1, not at a Cluster.").arg(elementName(target.id)));
    }
    return Status::Success;
}

// Counted from the first data byte of the cluster the cue's CueClusterPosition points at.
int ContainerMKV::parseCueRelativePosition(ElementMKV *element)
{
    quint64 value = 0;
    const int status = readInteger(element, &value);
    if (status != Status::Success)
        return status;
    const bool inside = m_cueCluster != 0 && value < window.size() - std::min(window.size(), m_cueCluster);
    const quint64 offset = m_cueCluster + value;
    addField(element->dataOffset, element->dataSize, QStringLiteral("value"), offsetNumber(value),
             inside ? targetText(offset, elementAt(offset)) : QString());
    if (inside)
        linkLastElement(offset);
    return Status::Success;
}

int ContainerMKV::parseSeekID(ElementMKV *element)
{
    QByteArray bytes;
    const int status = readText(element, displayLimit, &bytes);
    if (status != Status::Success)
        return status;
    m_seekId = 0;
    const bool whole = element->dataSize > 0 && element->dataSize <= 4 && !dataCut(element);
    for (const char byte : bytes)
        m_seekId = whole ? m_seekId << 8 | uchar(byte) : 0;
    addField(element->dataOffset, element->dataSize, QStringLiteral("value"), QString::fromLatin1(bytes.toHex()),
             whole ? elementName(m_seekId) : QString());
    return Status::Success;
}

int ContainerMKV::parseFlag(ElementMKV *element)
{
    quint64 value = 0;
    const int status = readInteger(element, &value);
    if (status == Status::Success)
        addField(element->dataOffset, element->dataSize, QStringLiteral("value"), valueNumber(value),
                 value == 0 ? QStringLiteral("no") : value == 1 ? QStringLiteral("yes") : QString());
    return status;
}

int ContainerMKV::reportTagText(ElementMKV *element, QString *text)
{
    QByteArray bytes;
    const int status = readText(element, displayLimit, &bytes);
    if (status != Status::Success)
        return status;
    *text = QString::fromUtf8(cutAtZero(bytes));
    addValue(element, *text);
    return Status::Success;
}

int ContainerMKV::parseTagName(ElementMKV *element)
{
    return reportTagText(element, &m_tag.name);
}

int ContainerMKV::parseTagString(ElementMKV *element)
{
    return reportTagText(element, &m_tag.value);
}
