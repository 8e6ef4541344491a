#include "main_window.h"

#include "app_settings.h"
#include "bin_view_area.h"
#include "bin_view_widget.h"
#include "go_to_bar.h"
#include "properties_dialog.h"
#include "sql_tree.h"
#include "sql_tree_widget.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QSettings>
#include <QSplitter>

namespace {

const char numberBaseKey[] = "main/tree_viewer/number_base";
const char splitterKey[] = "main/splitter";

} // namespace

void MainWindow::createViewOptions()
{
    viewMenu->addSeparator();
    auto *bases = new QActionGroup(this);
    hexOffsetsAction = viewMenu->addAction(tr("Offsets in hex"));
    decimalOffsetsAction = viewMenu->addAction(tr("Offsets in decimal"));
    for (QAction *action : {hexOffsetsAction, decimalOffsetsAction}) {
        action->setCheckable(true);
        bases->addAction(action);
    }
    const int base = appSettings().value(QLatin1String(numberBaseKey), 10).toInt() == 16 ? 16 : 10;
    (base == 16 ? hexOffsetsAction : decimalOffsetsAction)->setChecked(true);
    setNumberBase(base);
    const auto choose = [this](int chosen) {
        appSettings().setValue(QLatin1String(numberBaseKey), chosen);
        setNumberBase(chosen);
    };
    connect(hexOffsetsAction, &QAction::triggered, this, [choose] { choose(16); });
    connect(decimalOffsetsAction, &QAction::triggered, this, [choose] { choose(10); });

    // The hex view asks for the width of its lines; the tree takes whatever is left.
    viewsSplitter->setStretchFactor(0, 0);
    viewsSplitter->setStretchFactor(1, 1);
    viewsSplitter->restoreState(appSettings().value(QLatin1String(splitterKey)).toByteArray());
    connect(viewsSplitter, &QSplitter::splitterMoved, this, &MainWindow::saveSplitter);
    connect(binViewWidget->binViewArea(), &BinViewArea::preferredWidthChanged, this, &MainWindow::fitHexView);
}

QString MainWindow::engineOptions() const
{
    return PropertiesDialog::storedEngineOptions();
}

void MainWindow::setNumberBase(int base)
{
    sqlTreeWidget->sqlTree()->setNumberBase(base);
    goToBar->setNumberBase(base);
}

void MainWindow::fitHexView()
{
    QList<int> sizes = viewsSplitter->sizes();
    if (sizes.size() < 2)
        return;
    const int wanted = binViewWidget->sizeHint().width();
    sizes[1] = qMax(sizes[1] + sizes[0] - wanted, 0);
    sizes[0] = wanted;
    viewsSplitter->setSizes(sizes);
    saveSplitter();
}

void MainWindow::saveSplitter()
{
    appSettings().setValue(QLatin1String(splitterKey), viewsSplitter->saveState());
}
