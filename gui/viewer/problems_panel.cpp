#include "problems_panel.h"

#include "sql_tree.h"
#include "viewer_database.h"

#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

enum Column { HexOffsetColumn, OffsetColumn, NameColumn, NoteColumn };

QString hexOffset(qint64 bits)
{
    QString text = QStringLiteral("0x") + QString::number(bits / 8, 16).toUpper().rightJustified(8, QLatin1Char('0'));
    if (bits % 8)
        text += QStringLiteral(":%1").arg(bits % 8);
    return text;
}

QTreeWidgetItem *makeRow(const ViewerDatabase::Problem &problem)
{
    auto *item = new QTreeWidgetItem;
    item->setText(HexOffsetColumn, hexOffset(problem.offset));
    item->setText(OffsetColumn, SqlTree::bitsText(problem.offset));
    item->setTextAlignment(OffsetColumn, Qt::AlignRight | Qt::AlignVCenter);
    const bool leftover = problem.name == SqlTree::garbageMarker();
    item->setText(NameColumn, leftover ? SqlTree::tr("GARBAGE") : problem.name);
    QString note = problem.note;
    if (note.isEmpty() && leftover)
        note = ProblemsPanel::tr("Bytes no structure took");
    item->setText(NoteColumn, QString(note).replace(QLatin1Char('\n'), QStringLiteral("; ")));
    item->setToolTip(NoteColumn, note);
    item->setData(0, Qt::UserRole, problem.id);
    return item;
}

} // namespace

ProblemsPanel::ProblemsPanel(QWidget *parent)
    : QDockWidget(tr("Problems"), parent), m_list(new QTreeWidget), m_limitLine(new QLabel)
{
    setObjectName(QStringLiteral("problemsPanel"));
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setAlternatingRowColors(true);
    m_list->setHeaderLabels({tr("Offset (hex)"), tr("Offset"), tr("Name"), tr("Note")});
    m_list->header()->setStretchLastSection(true);
    m_limitLine->setContentsMargins(4, 2, 4, 2);
    m_limitLine->hide();

    auto *body = new QWidget;
    auto *layout = new QVBoxLayout(body);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_list, 1);
    layout->addWidget(m_limitLine);
    setWidget(body);

    connect(m_list, &QTreeWidget::itemClicked, this, &ProblemsPanel::rowActivated);
    connect(m_list, &QTreeWidget::itemActivated, this, &ProblemsPanel::rowActivated);
}

void ProblemsPanel::load(ViewerDatabase *database)
{
    clear();
    if (!database || !database->isAttached())
        return;
    m_count = database->problemCount();
    if (m_count == 0)
        m_summary = tr("No problems");
    else
        m_summary = m_count == 1 ? tr("1 problem") : tr("%1 problems").arg(m_count);
    QList<QTreeWidgetItem *> rows;
    const QList<ViewerDatabase::Problem> problems = database->problems(shownLimit);
    rows.reserve(problems.size());
    for (const ViewerDatabase::Problem &problem : problems)
        rows << makeRow(problem);
    m_list->addTopLevelItems(rows);
    for (int column = HexOffsetColumn; column < NoteColumn; ++column)
        m_list->resizeColumnToContents(column);
    m_limitLine->setText(tr("First %1 of %2 problems shown").arg(problems.size()).arg(m_count));
    m_limitLine->setVisible(problems.size() < m_count);
}

void ProblemsPanel::clear()
{
    m_list->clear();
    m_limitLine->hide();
    m_count = 0;
    m_summary.clear();
}

void ProblemsPanel::rowActivated(QTreeWidgetItem *item)
{
    if (item)
        emit elementSelected(item->data(0, Qt::UserRole).toLongLong());
}
