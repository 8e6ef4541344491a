#pragma once

#include <QDateTime>
#include <QFileSystemWatcher>
#include <QObject>
#include <QString>

/// Tells when the file at a path is no longer the one that was there when watching began.
///
/// The file is compared by its size and modification time. A change is noticed from the file
/// system (the file itself, and its folder, so that a file replaced by a rename is seen too) and
/// whenever check() is called.
class FileChangeWatcher : public QObject
{
    Q_OBJECT

public:
    explicit FileChangeWatcher(QObject *parent = nullptr);

    /// Watches path from now on, taking what is on disk now as unchanged.
    void watch(const QString &path);
    /// Stops watching; path() becomes empty.
    void stop();
    QString path() const { return m_path; }

public slots:
    /// Compares the file with what was last seen; emits changed() when it differs, once for each
    /// change. Returns whether it did.
    bool check();

signals:
    void changed();

private:
    QFileSystemWatcher m_watcher;
    QString m_path;
    qint64 m_size = -1;
    QDateTime m_modified;
};
