#include "dump_files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

QString refusedDatabasePath(const QString &path)
{
    if (path.isEmpty())
        return QStringLiteral("--db wants a file path");
    if (path == QLatin1String(":memory:") || path.startsWith(QLatin1String("file:")))
        return QStringLiteral("--db wants a file path, not the SQLite name %1").arg(path);
    const QFileInfo info(path);
    if (info.isSymLink())
        return QStringLiteral("%1 is a symbolic link; the database is not written through one").arg(path);
    if (info.exists())
        return QStringLiteral("%1 exists; the database is not written over an existing file").arg(path);
    return {};
}

DatabaseFile::~DatabaseFile()
{
    if (m_committed || m_temporary.isEmpty())
        return;
    for (const char *suffix : {"", "-journal", "-wal", "-shm"})
        QFile::remove(m_temporary + QLatin1String(suffix));
}

bool DatabaseFile::create(QString *error)
{
    const QFileInfo info(m_path);
    QTemporaryFile file(info.dir().filePath(QStringLiteral(".%1.XXXXXX.part").arg(info.fileName())));
    file.setAutoRemove(false);
    if (!file.open()) {
        *error = QStringLiteral("cannot create the database in %1: %2").arg(info.path(), file.errorString());
        return false;
    }
    m_temporary = file.fileName();
    // The temporary file is private; the database gets the permissions of any new file.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(file.handle(), 0666 & ~mask);
    return true;
}

bool DatabaseFile::commit(QString *error)
{
    QFile file(m_temporary);
    if (!file.rename(m_path)) {
        *error = QStringLiteral("cannot name the database %1: %2").arg(m_path, file.errorString());
        return false;
    }
    m_committed = true;
    return true;
}

InputFile::InputFile(const QString &name, const QByteArrayList &rawArguments) : m_name(name), m_enginePath(name)
{
    m_raw = QFile::encodeName(name);
    for (const QByteArray &argument : rawArguments) {
        if (QString::fromLocal8Bit(argument) == name)
            m_raw = argument;
    }
    if (m_raw == QFile::encodeName(name))
        return;
    m_descriptor = ::open(m_raw.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    m_linkDir = std::make_unique<QTemporaryDir>();
    if (m_descriptor < 0 || !m_linkDir->isValid())
        return;
    const QString suffix = QFileInfo(name).suffix();
    const QString link = m_linkDir->filePath(suffix.isEmpty() ? QStringLiteral("file") : QStringLiteral("file.") + suffix);
    const QByteArray target = "/proc/self/fd/" + QByteArray::number(m_descriptor);
    if (::symlink(target.constData(), QFile::encodeName(link).constData()) == 0)
        m_enginePath = link;
}

InputFile::~InputFile()
{
    if (m_descriptor >= 0)
        ::close(m_descriptor);
}

QString InputFile::problem() const
{
    struct stat status;
    if (::stat(m_raw.constData(), &status) != 0 && errno == ELOOP)
        return QStringLiteral("%1: too many levels of symbolic links").arg(m_name);
    return {};
}
