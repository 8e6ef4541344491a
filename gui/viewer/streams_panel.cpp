#include "streams_panel.h"

#include <QHeaderView>
#include <QSignalBlocker>
#include <QStringList>
#include <QTreeWidget>

#include <cmath>

namespace {

// The picture size of a video stream, the channels and rate of a sound stream.
QString formatText(const ViewerDatabase::Stream &stream)
{
    if (stream.width > 0 && stream.height > 0)
        return QStringLiteral("%1 x %2").arg(stream.width).arg(stream.height);
    // Either figure alone is worth showing; a rate with a fraction keeps it.
    QStringList sound;
    if (stream.channels > 0)
        sound << QStringLiteral("%1 ch").arg(stream.channels);
    if (stream.sample_rate > 0)
        sound << QStringLiteral("%1 Hz").arg(stream.sample_rate, 0, 'g', 10);
    return sound.join(QStringLiteral(", "));
}

QTreeWidgetItem *makeRow(const ViewerDatabase::Stream &stream)
{
    auto *item = new QTreeWidgetItem;
    item->setText(StreamsPanel::IdColumn, QString::number(stream.id));
    item->setText(StreamsPanel::KindColumn, stream.kind);
    item->setText(StreamsPanel::CodecColumn, stream.codec);
    item->setText(StreamsPanel::TimescaleColumn, QString::number(stream.timescale));
    item->setText(StreamsPanel::FormatColumn, formatText(stream));
    if (stream.frame_rate > 0)
        item->setText(StreamsPanel::RateColumn, QString::number(stream.frame_rate, 'g', 6));
    item->setText(StreamsPanel::FramesColumn, QString::number(stream.frame_count));
    item->setText(StreamsPanel::BytesColumn, QString::number(stream.total_bytes));
    if (stream.frame_count > 0)
        item->setText(StreamsPanel::DurationColumn,
                      StreamsPanel::durationText(stream.end_time - stream.first_time, stream.timescale));
    for (int column : {StreamsPanel::IdColumn, StreamsPanel::TimescaleColumn, StreamsPanel::RateColumn,
                       StreamsPanel::FramesColumn, StreamsPanel::BytesColumn, StreamsPanel::DurationColumn})
        item->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
    item->setData(0, Qt::UserRole, stream.id);
    return item;
}

} // namespace

StreamsPanel::StreamsPanel(QWidget *parent) : QDockWidget(tr("Streams"), parent), m_list(new QTreeWidget)
{
    setObjectName(QStringLiteral("streamsPanel"));
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setAlternatingRowColors(true);
    m_list->setHeaderLabels({tr("Stream"), tr("Kind"), tr("Codec"), tr("Timescale"), tr("Format"), tr("Frame rate"),
                             tr("Frames"), tr("Bytes"), tr("Duration")});
    // The figures stay beside their headings; the space left over goes after the last column.
    m_list->header()->setStretchLastSection(false);
    setWidget(m_list);

    connect(m_list, &QTreeWidget::itemClicked, this, &StreamsPanel::rowActivated);
    connect(m_list, &QTreeWidget::itemActivated, this, &StreamsPanel::rowActivated);
}

void StreamsPanel::load(ViewerDatabase *database)
{
    clear();
    if (!database || !database->isAttached())
        return;
    m_streams = database->streams();
    QList<QTreeWidgetItem *> rows;
    rows.reserve(m_streams.size());
    for (const ViewerDatabase::Stream &stream : std::as_const(m_streams))
        rows << makeRow(stream);
    m_list->addTopLevelItems(rows);
    for (int column = IdColumn; column < DurationColumn; ++column)
        m_list->resizeColumnToContents(column);
}

void StreamsPanel::clear()
{
    m_list->clear();
    m_streams.clear();
}

ViewerDatabase::Stream StreamsPanel::stream(qint64 id) const
{
    for (const ViewerDatabase::Stream &stream : m_streams) {
        if (stream.id == id)
            return stream;
    }
    return {};
}

void StreamsPanel::markStream(qint64 id)
{
    const QSignalBlocker blocker(m_list);
    for (int row = 0; row < m_list->topLevelItemCount(); ++row) {
        QTreeWidgetItem *item = m_list->topLevelItem(row);
        if (item->data(0, Qt::UserRole).toLongLong() == id) {
            m_list->setCurrentItem(item);
            return;
        }
    }
}

QString StreamsPanel::durationText(qint64 ticks, qint64 timescale)
{
    if (timescale <= 0)
        return {};
    // Whole seconds and the remainder apart, so that no product of ticks overflows.
    const bool negative = ticks < 0;
    const quint64 magnitude = negative ? 0 - quint64(ticks) : quint64(ticks);
    quint64 seconds = magnitude / quint64(timescale);
    quint64 milliseconds = quint64(std::llround(double(magnitude % quint64(timescale)) * 1000.0 / double(timescale)));
    if (milliseconds == 1000) {
        ++seconds;
        milliseconds = 0;
    }
    return QStringLiteral("%1%2:%3:%4.%5")
        .arg(negative ? QStringLiteral("-") : QString())
        .arg(seconds / 3600)
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'))
        .arg(milliseconds, 3, 10, QLatin1Char('0'));
}

void StreamsPanel::rowActivated(QTreeWidgetItem *item)
{
    if (item)
        emit streamChosen(item->data(0, Qt::UserRole).toLongLong());
}
