#pragma once

#include <QDialog>

/// Base of the shell's dialogs: titled "Kestrune - <title>", window-modal, with a vertical box
/// layout for the subclass's widgets. The settings store is written out when a dialog goes.
class AbstractDialog : public QDialog
{
    Q_OBJECT

public:
    /// Empty flags mean a dialog window with a title and a close button.
    AbstractDialog(const QString &title, QWidget *parent = nullptr, Qt::WindowFlags flags = {});
    ~AbstractDialog() override;
};
