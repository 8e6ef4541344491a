#pragma once

#include "abstract_dialog.h"

class BinViewWidget;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class SqlTreeWidget;

/// Font sizes of the tree and the hex view and the hex view's bytes per line. Every change shows
/// in the views at once; "Apply" stores the values, "Cancel" (Escape, the close button) puts
/// back what changed since the dialog opened and stores nothing.
///
/// Beside them, the engine option string used by the next analysis. "Apply" checks it first:
/// an option string the engine refuses is shown as an error, and nothing is stored.
class PropertiesDialog : public AbstractDialog
{
    Q_OBJECT

public:
    /// The views are not owned.
    PropertiesDialog(BinViewWidget *binView, SqlTreeWidget *treeWidget, QWidget *parent = nullptr,
                     Qt::WindowFlags flags = {});

    /// The engine option string stored by "Apply"; empty for the engine's defaults.
    static QString storedEngineOptions();
    /// Why the engine refuses options; empty when it takes them.
    static QString engineOptionsError(const QString &options);

    QLineEdit *engineOptionsEdit() const { return engineOptionsField; }
    /// The error of the option string last refused; hidden while there is none.
    QLabel *engineOptionsMessage() const { return engineOptionsErrorLabel; }

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
    QLineEdit *engineOptionsField;
    QLabel *engineOptionsErrorLabel;
};
