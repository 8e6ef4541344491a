#include "sql_tree_widget.h"

#include "find_bar.h"
#include "sql_tree.h"
#include "sql_tree_header.h"
#include "viewer_database.h"
#include "viewer_settings.h"

#include "parser.h"
#include "progress_dialog.h"

#include <QFontMetrics>
#include <QFutureWatcher>
#include <QGridLayout>
#include <QResizeEvent>
#include <QScrollBar>
#include <QSettings>
#include <QtConcurrent>

#include <cmath>

namespace {

const char *const columnsKey = "main/tree_viewer/columns";
const char *const fontSizeKey = "main/tree_viewer/font_size";

} // namespace

SqlTreeWidget::SqlTreeWidget(QWidget *parent) : QWidget(parent)
{
    database = new ViewerDatabase;
    auto *layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    scroll_bar = new QScrollBar(Qt::Vertical, this);
    scroll_bar->setEnabled(false);
    tree = new SqlTree(database, scroll_bar, this);
    find_bar = new FindBar(database, this);
    find_bar->hide();
    layout->addWidget(find_bar, 0, 0, 1, 2);
    layout->addWidget(tree, 1, 0);
    layout->addWidget(scroll_bar, 1, 1);
    connect(scroll_bar, SIGNAL(valueChanged(int)), this, SLOT(scrollTree(int)));
    connect(find_bar, &FindBar::closed, this, &SqlTreeWidget::findClosed);
    connect(tree, SIGNAL(clicked(const QModelIndex &, bool)), this, SIGNAL(clicked(const QModelIndex &, bool)));
}

SqlTreeWidget::~SqlTreeWidget()
{
    // The tree reads the reader; it goes first.
    delete tree;
    delete database;
}

SqlTreeHeader *SqlTreeWidget::sqlTreeHeader() const
{
    return qobject_cast<SqlTreeHeader *>(tree->header());
}

int SqlTreeWidget::setDatabase(QSqlDatabase *connection)
{
    database->setDatabase(connection);
    resetView();
    emit databaseChanged();
    return 0;
}

void SqlTreeWidget::closeDatabase()
{
    database->close();
    resetView();
    emit databaseChanged();
}

void SqlTreeWidget::showFindBar()
{
    find_bar->setStartId(tree->current_id);
    find_bar->activate();
}

void SqlTreeWidget::findNext()
{
    if (find_bar->isHidden())
        showFindBar();
    find_bar->findNext();
}

void SqlTreeWidget::findPrevious()
{
    if (find_bar->isHidden())
        showFindBar();
    find_bar->findPrevious();
}

void SqlTreeWidget::findClosed()
{
    tree->setFocus(Qt::OtherFocusReason);
}

void SqlTreeWidget::scrollTree(int value)
{
    top_id = database->idAt(value);
    tree->fillRows(top_id, page_rows, true);
}

void SqlTreeWidget::updatePage()
{
    const int rowHeight = QFontMetrics(tree->font()).height() + 4;
    if (!tree->model())
        return;
    page_rows = qMax(tree->viewport()->height() / rowHeight - 1, 0);
    // The tree's own top row is where the view stands, whichever way it got there.
    tree->fillRows(tree->top_id, page_rows, true);
    tree->updateScrollBar();
}

void SqlTreeWidget::setFontSize(double points)
{
    if (!(points > 0))
        return;
    QFont font = tree->font();
    font.setPointSizeF(points);
    tree->setFont(font);
    updatePage();
}

void SqlTreeWidget::resetView()
{
    find_bar->reset();
    top_id = 0;
    tree->clear();
    scroll_bar->setMinimum(0);
    tree->fillRows(1, 1, true);
    scroll_bar->setValue(0);
    updatePage();
    tree->top_id = 1;
    tree->current_id = 1;
    tree->clearSelection();
    tree->goToId(1, false, true);
    tree->selectionModel()->select(tree->model()->index(0, 0),
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void SqlTreeWidget::saveSettings()
{
    QSettings &settings = ViewerSettings::store();
    settings.setValue(QLatin1String(columnsKey), sqlTreeHeader()->columnsState());
    settings.setValue(QLatin1String(fontSizeKey), tree->font().pointSizeF());
}

void SqlTreeWidget::loadSettings()
{
    QSettings &settings = ViewerSettings::store();
    if (settings.contains(QLatin1String(columnsKey)))
        sqlTreeHeader()->restoreColumns(settings.value(QLatin1String(columnsKey)).toStringList());
    const double points = settings.value(QLatin1String(fontSizeKey), 10.0).toDouble();
    QFont font = tree->font();
    // A stored size that is no size at all leaves the font as it is.
    if (std::isfinite(points) && points > 0)
        font.setPointSizeF(points);
    tree->setFont(font);
    updatePage();
}

void SqlTreeWidget::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (event->size().height() != event->oldSize().height())
        updatePage();
}

// The analysis: the engine runs on one worker thread of the global pool while the GUI thread
// runs the progress dialog and touches neither the engine nor the database.
int SqlTreeWidget::analyzeFile(const QString &fileName, const QString &engineOption)
{
    database->close();

    ProgressDialog dialog(this, Qt::WindowFlags());
    dialog.setWindowTitle(tr("Kestrune"));
    dialog.setLabelText(tr("Analyzing file structure ..."));
    dialog.setFixedHeight(dialog.sizeHint().height());
    dialog.setMinimumWidth(dialog.sizeHint().width());

    QFutureWatcher<int> watcher;
    delete parser;
    parser = new Parser(this);
    connect(&watcher, SIGNAL(finished()), &dialog, SLOT(accept()));
    connect(parser, SIGNAL(progress(int)), &dialog, SLOT(setValue(int)));
    Parser *engine = parser;
    watcher.setFuture(QtConcurrent::run([engine, fileName, engineOption] {
        return engine->parseFile(fileName, QStringLiteral(":memory:"), engineOption);
    }));
    dialog.exec();

    const int result = watcher.future().result();
    m_analysisError.clear();
    m_optionsRefused = result == Parser::BadOption;
    QSqlDatabase *connection = result == 0 ? parser->getConnection() : nullptr;
    if (connection) {
        database->setDatabase(connection);
        resetView();
        emit databaseChanged();
        return 0;
    }
    m_analysisError = parser->errorString();
    delete parser;
    parser = nullptr;
    resetView();
    emit databaseChanged();
    return -1;
}
