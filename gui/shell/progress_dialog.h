#pragma once

#include "abstract_dialog.h"

class QLabel;
class QProgressBar;
class QPushButton;

/// The modal window shown while a long task runs. The user cannot close it: the task's owner
/// accepts it when the task has ended. The optional cancel button only emits rejected(); the
/// owner reacts by stopping the task, whose end then closes the dialog.
class ProgressDialog : public AbstractDialog
{
    Q_OBJECT

public:
    explicit ProgressDialog(QWidget *parent = nullptr, Qt::WindowFlags flags = {});

    /// Shows the cancel button and lets it (and Escape) emit rejected(), or hides it again.
    void setCancelButtonVisible(bool visible);

public slots:
    /// A maximum of -1 hides the second bar; any other range shows it.
    void setSubRange(int min, int max);
    void setRange(int min, int max);
    void setSubValue(int value);
    /// An empty text hides the second label.
    void setLabelSubText(const QString &text);
    void setValue(int value);
    /// An empty text hides the label.
    void setLabelText(const QString &text);

    /// Resets the main bar to 0, so that a dialog used again starts from the beginning, and ends
    /// the modal loop.
    void accept() override;
    /// Escape: announces the wish to cancel when the cancel button is shown; never closes.
    void reject() override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QLabel *label;
    QLabel *subLabel;
    QProgressBar *progressBar;
    QProgressBar *subProgressBar;
    QPushButton *cancelButton;
};
