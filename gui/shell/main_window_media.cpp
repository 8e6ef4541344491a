#include "main_window.h"

#include "bin_view_area.h"
#include "bin_view_widget.h"
#include "frames_panel.h"
#include "sql_tree.h"
#include "sql_tree_widget.h"
#include "streams_panel.h"
#include "viewer_database.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>

void MainWindow::createMediaViews()
{
    streamsDock = new StreamsPanel(this);
    framesDock = new FramesPanel(this);
    // The stream list is a few wide rows, the frame table a long narrow one.
    const struct
    {
        QDockWidget *dock;
        Qt::DockWidgetArea area;
        Qt::Key key;
    } docks[] = {{streamsDock, Qt::BottomDockWidgetArea, Qt::Key_F9}, {framesDock, Qt::RightDockWidgetArea, Qt::Key_F10}};
    for (const auto &entry : docks) {
        addDockWidget(entry.area, entry.dock);
        entry.dock->hide();
        QAction *toggle = entry.dock->toggleViewAction();
        toggle->setShortcut(QKeySequence(entry.key));
        viewMenu->addAction(toggle);
    }

    connect(sqlTreeWidget, &SqlTreeWidget::databaseChanged, this, &MainWindow::resetMediaViews);
    connect(streamsDock, &QDockWidget::visibilityChanged, this, [this](bool visible) {
        if (visible && streamsStale)
            loadStreams();
    });
    connect(streamsDock, &StreamsPanel::streamChosen, this, &MainWindow::showStreamFrames);
    connect(framesDock, &FramesPanel::frameSelected, this, &MainWindow::frameChosen);
    connect(sqlTreeWidget->sqlTree(), &SqlTree::frameRequested, this, &MainWindow::showFrame);
}

void MainWindow::resetMediaViews()
{
    framesDock->clear();
    streamsDock->clear();
    // Adding up the frames of a large file takes a moment; a hidden panel waits until it shows.
    streamsStale = true;
    if (streamsDock->isVisible())
        loadStreams();
}

void MainWindow::loadStreams()
{
    streamsStale = false;
    streamsDock->load(sqlTreeWidget->viewerDatabase());
}

void MainWindow::showStreamFrames(qint64 stream)
{
    if (streamsStale)
        loadStreams();
    const ViewerDatabase::Stream chosen = streamsDock->stream(stream);
    if (chosen.id < 0)
        return;
    if (framesDock->stream() != stream)
        framesDock->showStream(sqlTreeWidget->viewerDatabase(), chosen);
    streamsDock->markStream(stream);
    framesDock->show();
    framesDock->raise();
    // The first time it shows, the panel gets the width of its columns; later the user's own.
    if (!framesDockSized) {
        framesDockSized = true;
        resizeDocks({framesDock}, {qMin(framesDock->sizeHint().width(), width() / 3)}, Qt::Horizontal);
    }
}

void MainWindow::showFrame(qint64 stream, qint64 frame)
{
    showStreamFrames(stream);
    if (framesDock->stream() == stream)
        framesDock->selectFrame(frame);
}

void MainWindow::frameChosen(qint64 offset, qint64 size)
{
    // The tree's selection highlights the element's bytes; the frame's own bytes come after.
    const qint64 id = sqlTreeWidget->viewerDatabase()->deepestAt(offset);
    if (id > 0 && id != sqlTreeWidget->sqlTree()->current_id)
        navigateTo(id);
    binViewWidget->binViewArea()->setSelection(offset, size, true);
}
