#include "main_window.h"

#include "bin_view_area.h"
#include "bin_view_widget.h"
#include "go_to_bar.h"
#include "navigation_history.h"
#include "sql_tree.h"
#include "sql_tree_widget.h"
#include "viewer_database.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QStatusBar>

#include <functional>

namespace {

constexpr int messageTimeout = 4000;

// The mouse's back and forward buttons anywhere in the window, whichever widget is under the
// pointer: most widgets take every button they are pressed with.
class HistoryButtons : public QObject
{
public:
    HistoryButtons(QWidget *window, std::function<void(bool)> step) : QObject(window), window(window), step(std::move(step))
    {
        qApp->installEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::MouseButtonPress || !watched->isWidgetType())
            return false;
        const Qt::MouseButton button = static_cast<QMouseEvent *>(event)->button();
        if ((button != Qt::BackButton && button != Qt::ForwardButton)
            || static_cast<QWidget *>(watched)->window() != window)
            return false;
        step(button == Qt::ForwardButton);
        return true;
    }

private:
    QWidget *window;
    std::function<void(bool)> step;
};

// Bytes in hexadecimal and decimal, with ":" and the leftover bits when not whole bytes.
QString bytesText(qint64 bits)
{
    const QString rest = bits % 8 == 0 ? QString() : QStringLiteral(":%1").arg(bits % 8);
    return QStringLiteral("0x%1%3 (%2%3)").arg(QString::number(bits / 8, 16).toUpper()).arg(bits / 8).arg(rest);
}

} // namespace

void MainWindow::createNavigation()
{
    history = new NavigationHistory(this);
    goToBar = new GoToBar(sqlTreeWidget);
    elementStatus = new QLabel;
    elementStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
    statusBar()->addPermanentWidget(elementStatus);

    goToAction = addMenuAction(goMenu, tr("Go to ..."), this, SLOT(showGoTo()), tr("Ctrl+G"), QString());
    backAction = addMenuAction(goMenu, tr("Back"), this, SLOT(goBack()), tr("Alt+Left"), QString());
    forwardAction = addMenuAction(goMenu, tr("Forward"), this, SLOT(goForward()), tr("Alt+Right"), QString());
    editMenu->addAction(sqlTreeWidget->sqlTree()->copyRowAction());
    updateHistoryActions();
    new HistoryButtons(this, [this](bool forward) { stepHistory(forward); });

    connect(history, &NavigationHistory::changed, this, &MainWindow::updateHistoryActions);
    connect(goToBar, &GoToBar::requested, this, [this](const GoToBar::Request &request) {
        if (request.kind == GoToBar::Request::Id)
            goToElement(request.value);
        else
            goToOffset(request.value);
    });
    connect(goToBar, &GoToBar::cancelled, sqlTreeWidget->sqlTree(), qOverload<>(&QWidget::setFocus));
    connect(binViewWidget->binViewArea(), &BinViewArea::byteClicked, this, &MainWindow::hexByteClicked);
    connect(sqlTreeWidget->sqlTree(), &SqlTree::linkActivated, this, &MainWindow::followLink);
    connect(sqlTreeWidget, &SqlTreeWidget::clicked, this, &MainWindow::showElementStatus);
}

void MainWindow::resetNavigation()
{
    history->clear();
    goToBar->dismiss();
    elementStatus->clear();
    elementStatus->setToolTip(QString());
    elementStatusId = -1;
}

void MainWindow::navigateTo(qint64 id)
{
    jumpTo(id, true);
}

void MainWindow::jumpTo(qint64 id, bool update_hex_scroll_pos)
{
    ViewerDatabase *database = sqlTreeWidget->viewerDatabase();
    if (id < 1 || id > database->elementCount())
        return;
    SqlTree *tree = sqlTreeWidget->sqlTree();
    history->record(tree->current_id, id);
    tree->revealId(id, update_hex_scroll_pos);
}

void MainWindow::showGoTo()
{
    goToBar->open();
}

void MainWindow::goBack()
{
    stepHistory(false);
}

void MainWindow::goForward()
{
    stepHistory(true);
}

void MainWindow::stepHistory(bool forward)
{
    SqlTree *tree = sqlTreeWidget->sqlTree();
    const qint64 id = forward ? history->forward(tree->current_id) : history->back(tree->current_id);
    if (id > 0 && id <= sqlTreeWidget->viewerDatabase()->elementCount())
        tree->revealId(id, true);
}

void MainWindow::updateHistoryActions()
{
    backAction->setEnabled(history->canGoBack());
    forwardAction->setEnabled(history->canGoForward());
}

void MainWindow::goToOffset(qint64 offset)
{
    const qint64 id = sqlTreeWidget->viewerDatabase()->deepestAt(offset);
    if (id < 0) {
        goToBar->showError(tr("No element holds byte %1 (0x%2).").arg(offset).arg(QString::number(offset, 16).toUpper()));
        return;
    }
    goToElement(id);
}

void MainWindow::goToElement(qint64 id)
{
    const qint64 count = sqlTreeWidget->viewerDatabase()->elementCount();
    if (id > count) {
        goToBar->showError(count == 0 ? tr("No file is open.")
                                      : tr("There is no element #%1; the last one is #%2.").arg(id).arg(count));
        return;
    }
    goToBar->dismiss();
    navigateTo(id);
    sqlTreeWidget->sqlTree()->setFocus(Qt::ShortcutFocusReason);
}

void MainWindow::hexByteClicked(qint64 offset)
{
    const qint64 id = sqlTreeWidget->viewerDatabase()->deepestAt(offset);
    if (id < 0) {
        statusBar()->showMessage(tr("No element holds byte %1").arg(offset), messageTimeout);
        return;
    }
    // The view the user clicked in stays where it is.
    jumpTo(id, false);
}

void MainWindow::followLink(qint64 target_offset)
{
    const qint64 id = sqlTreeWidget->viewerDatabase()->deepestAt(target_offset);
    if (id < 0) {
        statusBar()->showMessage(tr("No element holds byte %1, where the value points").arg(target_offset),
                                 messageTimeout);
        return;
    }
    navigateTo(id);
}

void MainWindow::showElementStatus(const QModelIndex &index)
{
    const ViewerDatabase::Element element = SqlTree::elementAt(index);
    // Scrolling re-selects the same element at every refill; its path is known already.
    if (element.id < 0 || element.id == elementStatusId)
        return;
    elementStatusId = element.id;
    const QString path = sqlTreeWidget->viewerDatabase()->path(element.id);
    const QString place = tr("offset %1, size %2").arg(bytesText(element.offset), bytesText(element.size));
    const QString shownPath = elementStatus->fontMetrics().elidedText(path, Qt::ElideMiddle, width() / 2);
    elementStatus->setText(QStringLiteral("%1    %2").arg(shownPath, place));
    elementStatus->setToolTip(path);
}
