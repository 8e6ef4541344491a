#pragma once

#include <QByteArrayList>
#include <QString>
#include <QTemporaryDir>

#include <memory>

/// Why path cannot take the element database (--db), or a null string when it can.
QString refusedDatabasePath(const QString &path);

/// The element database file of --db. It is written to a hidden file beside its path and takes
/// the path's name only once it is complete, so that a failed run leaves nothing at the path.
class DatabaseFile
{
public:
    explicit DatabaseFile(const QString &path) : m_path(path) {}
    ~DatabaseFile();
    DatabaseFile(const DatabaseFile &) = delete;
    DatabaseFile &operator=(const DatabaseFile &) = delete;

    bool create(QString *error);
    QString temporaryName() const { return m_temporary; }
    bool commit(QString *error);

private:
    QString m_path;
    QString m_temporary;
    bool m_committed = false;
};

/// The file to analyse. Arguments reach QString decoded as UTF-8, which loses the bytes of a
/// name in another encoding; such a file is opened from the bytes the system gave, and the
/// engine reads it through a link to its descriptor that keeps the suffix the plug-ins look at.
class InputFile
{
public:
    InputFile(const QString &name, const QByteArrayList &rawArguments);
    ~InputFile();
    InputFile(const InputFile &) = delete;
    InputFile &operator=(const InputFile &) = delete;

    /// Why the file cannot be read where the engine would give a misleading reason, or null.
    QString problem() const;
    QString enginePath() const { return m_enginePath; }
    /// text with the engine's path replaced by the name as given.
    QString named(QString text) const { return text.replace(m_enginePath, m_name); }

private:
    QString m_name;
    QString m_enginePath;
    QByteArray m_raw;
    int m_descriptor = -1;
    std::unique_ptr<QTemporaryDir> m_linkDir;
};
