#include "container_abstract.h"

#include "status.h"

#include <algorithm>
#include <limits>

namespace {

// Offsets and sizes are stored in bits as signed 64-bit numbers; a hostile file can claim more
// than that, so the conversion saturates instead of wrapping.
qint64 toBits(quint64 bytes, quint64 extraBits = 0)
{
    constexpr quint64 maxBytes = quint64(std::numeric_limits<qint64>::max()) / 8 - 1;
    if (bytes > maxBytes)
        return std::numeric_limits<qint64>::max();
    return qint64(bytes * 8 + extraBits);
}

qint64 clampBits(quint64 bits)
{
    return bits > quint64(std::numeric_limits<qint64>::max()) ? std::numeric_limits<qint64>::max()
                                                                : qint64(bits);
}

// The end of size bytes at offset; sizes read from a file can claim past 2^64.
quint64 endOf(quint64 offset, quint64 size)
{
    return size > std::numeric_limits<quint64>::max() - offset ? std::numeric_limits<quint64>::max()
                                                                : offset + size;
}

} // namespace

ContainerAbstract::ContainerAbstract(QObject *parent) : QObject(parent) {}

ContainerAbstract::~ContainerAbstract() = default;

ElementRecord ContainerAbstract::newRecord(quint64 offset, quint64 size, const QString &name,
                                           qint64 index)
{
    ElementRecord record;
    record.id = ++m_lastId;
    record.level = int(m_open.size());
    record.name = name;
    record.offset = toBits(offset);
    record.size = toBits(size);
    record.index = index;
    if (m_open.empty()) {
        m_lastTopLevelId = record.id;
    } else {
        ElementRecord &parent = m_open.back().record;
        record.parentId = parent.id;
        parent.lastChildId = record.id;
    }
    reportProgress(offset);
    return record;
}

void ContainerAbstract::reportProgress(quint64 offset)
{
    if (m_progress && offset >= m_nextProgressOffset) {
        m_progress(offset);
        m_nextProgressOffset = offset + m_progressStep;
    }
}

void ContainerAbstract::addElement(bool bitField, quint64 offset, uchar firstBit, quint64 size,
                                   const QString &name, const QString &value,
                                   const QString &readable, const QString &description,
                                   qint64 index)
{
    ElementRecord record = newRecord(offset, size, name, index);
    if (bitField) {
        record.offset = toBits(offset, firstBit);
        record.size = clampBits(size);
    }
    record.value = value;
    record.readable = readable;
    if (!m_sink)
        return;
    if (!description.isEmpty())
        m_sink->description(record.id, description);
    if (m_pending.empty()) {
        m_sink->element(record);
        return;
    }
    m_pending.push_back({std::move(record), true});
    flushPending();
}

void ContainerAbstract::beginGroup(quint64 offset, quint64 size, const QString &name, qint64 index)
{
    m_open.push_back({newRecord(offset, size, name, index), false});
    if (!m_sink)
        return;
    ElementRecord slot;
    slot.id = m_open.back().record.id;
    m_pending.push_back({std::move(slot), false});
}

void ContainerAbstract::endGroup()
{
    if (m_open.empty())
        return;
    OpenGroup group = std::move(m_open.back());
    m_open.pop_back();
    if (!m_sink)
        return;
    if (group.emitted) {
        m_sink->update(group.record);
        return;
    }
    Pending &slot = m_pending[size_t(group.record.id - m_pending.front().record.id)];
    slot.record = std::move(group.record);
    slot.complete = true;
    flushPending();
}

// Groups are complete only when they close, after their children, but the sink takes the
// elements in id order. Elements wait here behind the oldest open group; a group that holds
// more than pendingLimit elements goes out unfinished and is updated when it closes, so the
// wait stays bounded.
void ContainerAbstract::flushPending()
{
    while (!m_pending.empty()) {
        Pending &front = m_pending.front();
        if (!front.complete) {
            if (m_pending.size() <= pendingLimit)
                return;
            auto group = std::find_if(m_open.begin(), m_open.end(),
                                      [&front](const OpenGroup &g) { return g.record.id == front.record.id; });
            group->emitted = true;
            m_sink->element(group->record);
        } else {
            m_sink->element(front.record);
        }
        m_pending.pop_front();
    }
}

void ContainerAbstract::beginEntry(const QString &name, qint64 index)
{
    beginGroup(0, 0, name, index);
}

void ContainerAbstract::setEntryOffset(quint64 offset)
{
    if (m_open.empty())
        return;
    m_open.back().record.offset = toBits(offset);
}

void ContainerAbstract::setEntrySize(quint64 size)
{
    if (!m_open.empty())
        m_open.back().record.size = toBits(size);
}

void ContainerAbstract::addDataElement(quint64 offset, quint64 size, const uchar *data,
                                       const QString &name, const QString &description)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data),
                                                     qsizetype(size));
    addElement(false, offset, 0, size, name, QString::fromLatin1(bytes.toHex()), QString(),
               description, -1);
}

void ContainerAbstract::addNote(const QString &note)
{
    const qint64 id = m_open.empty() ? m_lastId : m_open.back().record.id;
    if (m_sink && id > 0)
        m_sink->note(id, note);
}

void ContainerAbstract::setGroupValue(const QString &value)
{
    if (!m_open.empty())
        m_open.back().record.value = value;
}

void ContainerAbstract::setGroupReadable(const QString &readable)
{
    if (!m_open.empty())
        m_open.back().record.readable = readable;
}

void ContainerAbstract::linkLastElement(quint64 target)
{
    if (m_sink && m_lastId > 0)
        m_sink->link(m_lastId, target);
}

void ContainerAbstract::setGroupDescription(const QString &description)
{
    if (m_sink && !m_open.empty() && !description.isEmpty())
        m_sink->description(m_open.back().record.id, description);
}

void ContainerAbstract::swapByteOrder(void *data, uchar size)
{
    auto *bytes = static_cast<uchar *>(data);
    std::reverse(bytes, bytes + size);
}

int ContainerAbstract::registerFrame(uint stream, quint64 frameNumber)
{
    if (!m_sink)
        return 0;
    FrameRecord record;
    record.stream = stream;
    record.number = frameNumber;
    record.offset = frameOffset;
    record.size = frameSize;
    record.time = frameTime;
    record.time2 = frameTime2;
    record.duration = frameDuration;
    record.keyFrame = keyFrame != 0;
    m_sink->frame(record);
    return 0;
}

int ContainerAbstract::openFile(const QString &fileName)
{
    file.close();
    file.setFileName(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return Status::CannotOpen;
    window.reset();
    return Status::Success;
}

void ContainerAbstract::closeFile()
{
    file.close();
}

QString ContainerAbstract::toPrintable(const QByteArray &bytes)
{
    QString text(bytes.size(), QLatin1Char('.'));
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const uchar c = uchar(bytes.at(i));
        if (c >= 0x20 && c < 0x7F)
            text[i] = QLatin1Char(char(c));
    }
    return text;
}

ContainerAbstract::Bound::Bound(ContainerAbstract &parser, quint64 end)
    : m_parser(parser), m_level(parser.m_bounds.size())
{
    parser.m_bounds.push_back({qMin(end, parser.boundEnd()), 0});
}

ContainerAbstract::Bound::~Bound()
{
    m_parser.m_bounds.resize(m_level);
}

quint64 ContainerAbstract::Bound::end() const
{
    return m_parser.m_bounds[m_level].end;
}

quint64 ContainerAbstract::Bound::missing() const
{
    const BoundState &state = m_parser.m_bounds[m_level];
    return state.furthest > state.end ? state.furthest - state.end : 0;
}

void ContainerAbstract::claimPast(quint64 end)
{
    if (!m_bounds.empty())
        m_bounds.back().furthest = qMax(m_bounds.back().furthest, end);
}

QString ContainerAbstract::missingText(quint64 missing, const QString &claim, quint64 kept,
                                       quint64 end) const
{
    const QString where = end >= window.size() ? QStringLiteral("the file") : QStringLiteral("its parent");
    return QStringLiteral("%1 bytes are missing: %2, but %3 ends after %4.")
        .arg(missing)
        .arg(claim, where)
        .arg(kept);
}

void ContainerAbstract::addField(quint64 offset, quint64 size, const QString &name,
                                 const QString &value, const QString &readable,
                                 const QString &description, qint64 index)
{
    const quint64 kept = fit(offset, size);
    if (size == 0 && offset > boundEnd())
        return; // an empty field past the bound holds no byte there
    if (kept == size) {
        addElement(false, offset, 0, size, name, value, readable, description, index);
        return;
    }
    claimPast(endOf(offset, size));
    if (kept == 0)
        return;
    // A number decoded from part of its bytes would be wrong; the bytes that exist are shown.
    const QString bytes = value.isEmpty() ? QString()
                                          : QString::fromLatin1(window.bytes(offset, qMin(kept, displayLimit)).toHex());
    addElement(false, offset, 0, kept, name, bytes, QString(), description, index);
    if (m_sink)
        m_sink->note(m_lastId, missingText(size - kept, QStringLiteral("it claims %1 bytes").arg(size), kept, boundEnd()));
}

void ContainerAbstract::addBitField(quint64 offset, uchar firstBit, quint64 bits, const QString &name,
                                    const QString &value, const QString &readable)
{
    const quint64 bytes = (quint64(firstBit) + bits + 7) / 8;
    if (fit(offset, bytes) < bytes) {
        claimPast(endOf(offset, bytes));
        return;
    }
    addElement(true, offset, firstBit, bits, name, value, readable, QString(), -1);
}

void ContainerAbstract::noteCut(quint64 offset, quint64 size)
{
    const quint64 kept = fit(offset, size);
    if (kept < size)
        addNote(missingText(size - kept, QStringLiteral("it claims %1 bytes").arg(size), kept, boundEnd()));
}

void ContainerAbstract::noteMissingFields(const Bound &bound, quint64 offset)
{
    const quint64 missing = bound.missing();
    if (missing == 0)
        return;
    const quint64 held = bound.end() > offset ? bound.end() - offset : 0;
    addNote(QStringLiteral("%1 bytes are missing: its fields need %2 bytes, but it holds %3.")
                .arg(missing)
                .arg(held + missing)
                .arg(held));
}

int ContainerAbstract::keepFailure(int status)
{
    if (status == Status::Success || m_failure.status != Status::Success)
        return status;
    m_failure.status = status;
    if (m_open.empty()) {
        m_failure.offset = currentOffset;
    } else {
        const ElementRecord &group = m_open.back().record;
        m_failure.offset = quint64(group.offset / 8);
        m_failure.name = group.name;
    }
    return status;
}

void ContainerAbstract::registerStreamFrame(int stream)
{
    quint64 number = 0;
    if (stream >= 0 && stream < frameCounters.size())
        number = frameCounters[stream]++;
    registerFrame(uint(qMax(stream, 0)), number);
}

int ContainerAbstract::beginStream()
{
    streams.append(StreamRecord());
    frameCounters.append(0);
    return int(streams.size()) - 1;
}

quint64 ContainerAbstract::bytesLeft(quint64 offset) const
{
    const quint64 size = window.size();
    return offset < size ? size - offset : 0;
}

QByteArray ContainerAbstract::readAt(quint64 offset, quint64 count)
{
    return window.bytes(offset, count);
}

void ContainerAbstract::closeAllGroups()
{
    while (!m_open.empty())
        endGroup();
}
