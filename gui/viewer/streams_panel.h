#pragma once

#include "viewer_database.h"

#include <QDockWidget>

class QTreeWidget;
class QTreeWidgetItem;

/// The dock that lists the streams of the file: kind, codec, timescale, picture size and frame
/// rate where the file gives them, and what the frames add up to (count, bytes, duration).
/// Choosing a stream asks for its frames to be shown.
class StreamsPanel : public QDockWidget
{
    Q_OBJECT

public:
    enum Column { IdColumn, KindColumn, CodecColumn, TimescaleColumn, FormatColumn, RateColumn, FramesColumn,
                  BytesColumn, DurationColumn };

    explicit StreamsPanel(QWidget *parent = nullptr);

    /// Lists the streams of database's file; an empty list when detached.
    void load(ViewerDatabase *database);
    void clear();
    const QList<ViewerDatabase::Stream> &streams() const { return m_streams; }
    /// The stream with id; a default Stream (id -1) for none.
    ViewerDatabase::Stream stream(qint64 id) const;
    /// Selects the row of stream id without asking for its frames.
    void markStream(qint64 id);
    QTreeWidget *list() const { return m_list; }

    /// ticks of timescale as "h:mm:ss.mmm"; empty when the timescale is not above 0.
    static QString durationText(qint64 ticks, qint64 timescale);

signals:
    void streamChosen(qint64 id);

private:
    void rowActivated(QTreeWidgetItem *item);

    QTreeWidget *m_list;
    QList<ViewerDatabase::Stream> m_streams;
};
