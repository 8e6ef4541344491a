#include "main_window.h"

#include "find_bar.h"
#include "problems_panel.h"
#include "sql_tree.h"
#include "sql_tree_widget.h"
#include "viewer_database.h"

#include <QAction>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>

void MainWindow::createFindAndProblems()
{
    findAction = editMenu->addAction(tr("Find ..."), QKeySequence::Find, sqlTreeWidget, &SqlTreeWidget::showFindBar);
    editMenu->addAction(tr("Find Next"), QKeySequence(Qt::Key_F3), sqlTreeWidget, &SqlTreeWidget::findNext);
    editMenu->addAction(tr("Find Previous"), QKeySequence(Qt::SHIFT | Qt::Key_F3), sqlTreeWidget,
                        &SqlTreeWidget::findPrevious);

    problemsDock = new ProblemsPanel(this);
    addDockWidget(Qt::BottomDockWidgetArea, problemsDock);
    problemsDock->hide();
    QAction *problemsAction = problemsDock->toggleViewAction();
    problemsAction->setShortcut(QKeySequence(Qt::Key_F8));
    viewMenu->addAction(problemsAction);
    problemsCount = new QLabel;
    statusBar()->addPermanentWidget(problemsCount);

    // Matches and problems are chosen through the navigation history.
    connect(sqlTreeWidget->findBar(), &FindBar::matchSelected, this, &MainWindow::navigateTo);
    connect(problemsDock, &ProblemsPanel::elementSelected, this, &MainWindow::navigateTo);
    connect(sqlTreeWidget, &SqlTreeWidget::databaseChanged, this, &MainWindow::showProblems);
}

void MainWindow::showProblems()
{
    problemsDock->load(sqlTreeWidget->viewerDatabase());
    problemsCount->setText(problemsDock->summary());
}
