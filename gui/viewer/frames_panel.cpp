#include "frames_panel.h"

#include "frames_model.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QScrollBar>
#include <QTableView>
#include <QVBoxLayout>

FramesPanel::FramesPanel(QWidget *parent)
    : QDockWidget(tr("Frames"), parent), m_model(new FramesModel(this)), m_table(new QTableView), m_title(new QLabel)
{
    setObjectName(QStringLiteral("framesPanel"));
    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setAlternatingRowColors(true);
    m_table->setWordWrap(false);
    // Fixed row heights and column widths: a view that measures contents reads every row.
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 4);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    const int digits = m_table->fontMetrics().horizontalAdvance(QStringLiteral("00000000"));
    m_table->horizontalHeader()->setDefaultSectionSize(digits + 12);
    m_table->horizontalHeader()->resizeSection(FramesModel::KeyColumn,
                                               m_table->fontMetrics().horizontalAdvance(tr("Key")) + 16);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_title->setContentsMargins(4, 2, 4, 2);

    auto *body = new QWidget;
    auto *layout = new QVBoxLayout(body);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_title);
    layout->addWidget(m_table, 1);
    setWidget(body);

    connect(m_table->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) { rowChosen(current.row()); });
    // Enter or a double click shows the current frame's bytes again.
    connect(m_table, &QTableView::activated, this, [this](const QModelIndex &index) { rowChosen(index.row()); });
}

QSize FramesPanel::sizeHint() const
{
    const QHeaderView *header = m_table->horizontalHeader();
    int width = 2 * m_table->frameWidth() + m_table->verticalScrollBar()->sizeHint().width();
    for (int column = 0; column < header->count(); ++column) {
        if (!header->isSectionHidden(column))
            width += header->sectionSize(column);
    }
    return QSize(width, QDockWidget::sizeHint().height());
}

void FramesPanel::showStream(ViewerDatabase *database, const ViewerDatabase::Stream &stream)
{
    m_model->setStream(database, stream.id);
    m_table->setColumnHidden(FramesModel::Time2Column, !stream.has_time2);
    m_title->setText(tr("Stream %1: %2 %3, %4 frames, timescale %5")
                         .arg(stream.id)
                         .arg(stream.kind, stream.codec)
                         .arg(m_model->rowCount())
                         .arg(stream.timescale));
}

void FramesPanel::clear()
{
    m_model->clear();
    m_title->clear();
}

bool FramesPanel::selectFrame(qint64 number)
{
    const int row = m_model->rowOfFrame(number);
    if (row < 0)
        return false;
    const QModelIndex index = m_model->index(row, FramesModel::NumberColumn);
    m_table->scrollTo(index, QAbstractItemView::PositionAtCenter);
    m_table->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    return true;
}

qint64 FramesPanel::stream() const
{
    return m_model->stream();
}

void FramesPanel::rowChosen(int row)
{
    const ViewerDatabase::Frame frame = m_model->frameAt(row);
    if (frame.number >= 0)
        emit frameSelected(frame.offset, frame.size);
}
