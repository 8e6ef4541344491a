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
    if (m_progress && offset >= m_nextProgressOffset) {
        m_progress(offset);
        m_nextProgressOffset = offset + m_progressStep;
    }
    return record;
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
    return file.open(QIODevice::ReadOnly) ? Status::Success : Status::CannotOpen;
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

int ContainerAbstract::beginStream()
{
    streams.append(StreamRecord());
    frameCounters.append(0);
    return int(streams.size()) - 1;
}

quint64 ContainerAbstract::bytesLeft(quint64 offset) const
{
    const quint64 size = quint64(qMax<qint64>(file.size(), 0));
    return offset < size ? size - offset : 0;
}

QByteArray ContainerAbstract::readAt(quint64 offset, quint64 count)
{
    const quint64 available = std::min(count, bytesLeft(offset));
    if (available == 0 || !file.seek(qint64(offset)))
        return QByteArray();
    return file.read(qint64(available));
}

void ContainerAbstract::closeAllGroups()
{
    while (!m_open.empty())
        endGroup();
}
