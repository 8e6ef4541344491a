#pragma once

#include "abstract_dialog.h"

class BinViewWidget;
class QComboBox;
class QDoubleSpinBox;
class SqlTreeWidget;

/// Font sizes of the tree and the hex view and the hex view's bytes per line. Every change shows
/// in the views at once; "Apply" stores the values, "Cancel" (Escape, the close button) puts
/// back what changed since the dialog opened and stores nothing.
class PropertiesDialog : public AbstractDialog
{
    Q_OBJECT

public:
    /// The views are not owned.
    PropertiesDialog(BinViewWidget *binView, SqlTreeWidget *treeWidget, QWidget *parent = nullptr,
                     Qt::WindowFlags flags = {});

public slots:
    void setBytePerLine(const QString &text);
    void setFontSize(double size);

    void accept() override;
    void reject() override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    BinViewWidget *binViewWidget;
    SqlTreeWidget *sqlTreeWidget;
    QComboBox *bytesPerLineBox;
    QDoubleSpinBox *treeFontSizeBox;
    QDoubleSpinBox *hexFontSizeBox;
    int initialBytesPerLine = 0;
    double initialTreeFontSize = 0.0;
    double initialHexFontSize = 0.0;
    // The boxes' values when the dialog opened: the initial sizes as the boxes round them.
    double shownTreeFontSize = 0.0;
    double shownHexFontSize = 0.0;
};
