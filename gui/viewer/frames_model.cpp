#include "frames_model.h"

#include <limits>
#include <memory>

FramesModel::FramesModel(QObject *parent) : QAbstractTableModel(parent), m_windows(cachedWindows)
{
}

void FramesModel::setStream(ViewerDatabase *database, qint64 stream)
{
    beginResetModel();
    m_windows.clear();
    m_reads = 0;
    m_database = database && database->isAttached() ? database : nullptr;
    m_stream = m_database ? stream : -1;
    m_numbering = {};
    if (m_database) {
        m_database->ensureFrameIndex(ViewerDatabase::FrameIndex::ByNumber);
        m_numbering = m_database->frameNumbering(stream);
    }
    endResetModel();
}

void FramesModel::clear()
{
    setStream(nullptr, -1);
}

int FramesModel::rowCount(const QModelIndex &parent) const
{
    // A view counts rows in int; a stream of more frames shows the first ones.
    return parent.isValid() ? 0 : int(qMin<qint64>(m_numbering.count, std::numeric_limits<int>::max()));
}

int FramesModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant FramesModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::TextAlignmentRole))
        return {};
    if (role == Qt::TextAlignmentRole)
        return index.column() == KeyColumn ? int(Qt::AlignCenter) : int(Qt::AlignRight | Qt::AlignVCenter);
    const ViewerDatabase::Frame frame = frameAt(index.row());
    if (frame.number < 0)
        return {};
    switch (index.column()) {
    case NumberColumn:
        return frame.number;
    case OffsetColumn:
        return frame.offset;
    case SizeColumn:
        return frame.size;
    case KeyColumn:
        return frame.keyframe ? tr("key") : QString();
    case TimeColumn:
        return frame.time;
    case DurationColumn:
        return frame.duration;
    case Time2Column:
        return frame.time2;
    }
    return {};
}

QVariant FramesModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case NumberColumn:
        return tr("Frame");
    case OffsetColumn:
        return tr("Offset");
    case SizeColumn:
        return tr("Size");
    case KeyColumn:
        return tr("Key");
    case TimeColumn:
        return tr("Time");
    case DurationColumn:
        return tr("Duration");
    case Time2Column:
        return tr("Time 2");
    }
    return {};
}

ViewerDatabase::Frame FramesModel::frameAt(int row) const
{
    if (row < 0 || row >= rowCount())
        return {};
    const QList<ViewerDatabase::Frame> *frames = window(row / windowRows);
    const int at = row % windowRows;
    return frames && at < frames->size() ? frames->at(at) : ViewerDatabase::Frame();
}

int FramesModel::rowOfFrame(qint64 number) const
{
    if (!m_database)
        return -1;
    const qint64 row = m_database->frameRow(m_stream, m_numbering, number);
    return row >= 0 && row < rowCount() ? int(row) : -1;
}

qint64 FramesModel::cachedFrames() const
{
    qint64 frames = 0;
    for (const qint64 key : m_windows.keys())
        frames += m_windows.object(key)->size();
    return frames;
}

const QList<ViewerDatabase::Frame> *FramesModel::window(qint64 number) const
{
    if (const QList<ViewerDatabase::Frame> *cached = m_windows.object(number))
        return cached;
    auto frames = std::make_unique<QList<ViewerDatabase::Frame>>();
    frames->reserve(windowRows);
    ++m_reads;
    if (!m_database || m_database->fetchFrames(m_stream, m_numbering, number * windowRows, windowRows, *frames) < 0)
        return nullptr;
    const QList<ViewerDatabase::Frame> *kept = frames.get();
    m_windows.insert(number, frames.release());
    return kept;
}
