#pragma once

#include "progress_dialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QStringList>
#include <QTimer>

/// Answers the modal dialogs the main window opens, as a user would: the open-file dialog with
/// the file it is told to choose (or Cancel), every message box with OK, and, when asked, the
/// cancel button of the MediaInfo progress dialog.
class ModalAnswerer : public QObject
{
    Q_OBJECT

public:
    struct Message
    {
        QString title;
        QString text;
        int buttons = 0;
    };

    ModalAnswerer()
    {
        connect(&m_poll, &QTimer::timeout, this, &ModalAnswerer::answer);
        m_poll.start(5);
    }

    /// The next open-file dialog picks path; an empty path cancels it.
    void chooseFile(const QString &path)
    {
        m_path = path;
        m_fileDialogs = 0;
    }
    /// Presses the cancel button of the next progress dialog that shows one.
    /// Cancels the next progress dialog with a cancel button once it has been shown for
    /// afterMs, so that what a child process writes at once has been read by then.
    void cancelNextProgress(bool cancel, int afterMs = 0)
    {
        m_cancelProgress = cancel;
        m_cancelAfter = afterMs;
        m_progressShown.invalidate();
    }

signals:
    /// The open-file dialog is being answered with a file.
    void fileChosen();

public:
    QList<Message> messages;
    int fileDialogs() const { return m_fileDialogs; }
    QStringList nameFilters;
    QString selectedNameFilter;
    QString startDirectory;
    QStringList startSelection;
    int progressCancelled = 0;

private:
    void answer()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || modal == m_answered)
            return;
        if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
            m_answered = dialog;
            ++m_fileDialogs;
            nameFilters = dialog->nameFilters();
            selectedNameFilter = dialog->selectedNameFilter();
            startDirectory = dialog->directory().absolutePath();
            startSelection = dialog->selectedFiles();
            if (m_path.isEmpty()) {
                dialog->reject();
                return;
            }
            dialog->selectFile(m_path);
            emit fileChosen();
            // The dialog itself refuses names that are no existing regular file; the checks
            // behind it are reached by answering past it.
            QDialog *asDialog = dialog;
            if (QFileInfo(m_path).isFile())
                asDialog->accept();
            else
                asDialog->done(QDialog::Accepted);
        } else if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            m_answered = box;
            messages.append({box->windowTitle(), box->text(), int(box->buttons().size())});
            box->button(QMessageBox::Ok)->click();
        } else if (auto *progress = qobject_cast<ProgressDialog *>(modal)) {
            QPushButton *cancel = progress->findChild<QPushButton *>();
            if (m_cancelProgress && cancel && cancel->isVisible() && !m_progressShown.isValid())
                m_progressShown.start();
            if (m_cancelProgress && cancel && cancel->isVisible() && m_progressShown.elapsed() >= m_cancelAfter) {
                m_answered = progress;
                m_cancelProgress = false;
                ++progressCancelled;
                cancel->click();
            }
        }
    }

    QTimer m_poll;
    QPointer<QWidget> m_answered;
    QString m_path;
    int m_fileDialogs = 0;
    bool m_cancelProgress = false;
    int m_cancelAfter = 0;
    QElapsedTimer m_progressShown;
};
