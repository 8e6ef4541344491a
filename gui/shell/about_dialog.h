#pragma once

#include "abstract_dialog.h"

class QLabel;

/// A picture above the program's version and support contact. A mouse click closes it.
class AboutDialog : public AbstractDialog
{
    Q_OBJECT

public:
    explicit AboutDialog(QWidget *parent = nullptr, Qt::WindowFlags flags = {});

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLabel *pictureLabel;
    QLabel *textLabel;
};
