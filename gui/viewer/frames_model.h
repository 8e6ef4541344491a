#pragma once

#include "viewer_database.h"

#include <QAbstractTableModel>
#include <QCache>

/// The frames of one stream as a table that is read in windows: a row asks for the window of
/// windowRows frames that holds it, one query seeking in the frame index, and the last
/// cachedWindows windows are kept. Nothing is read for rows the view never asks about.
class FramesModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { NumberColumn, OffsetColumn, SizeColumn, KeyColumn, TimeColumn, DurationColumn, Time2Column,
                  ColumnCount };
    static constexpr int windowRows = 256;
    static constexpr int cachedWindows = 64;

    explicit FramesModel(QObject *parent = nullptr);

    /// Shows the frames of stream; database is not owned. A null database empties the table.
    void setStream(ViewerDatabase *database, qint64 stream);
    void clear();
    qint64 stream() const { return m_stream; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    /// The frame of row; a default Frame (number -1) outside the table.
    ViewerDatabase::Frame frameAt(int row) const;
    /// The row of frame number; -1 when the stream has no such frame.
    int rowOfFrame(qint64 number) const;
    /// The frames held in the cache now.
    qint64 cachedFrames() const;
    /// The window queries run since the stream was set.
    qint64 windowReads() const { return m_reads; }

private:
    const QList<ViewerDatabase::Frame> *window(qint64 number) const;

    ViewerDatabase *m_database = nullptr;
    qint64 m_stream = -1;
    ViewerDatabase::FrameNumbering m_numbering;
    mutable QCache<qint64, QList<ViewerDatabase::Frame>> m_windows;
    mutable qint64 m_reads = 0;
};
