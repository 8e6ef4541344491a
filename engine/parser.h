#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QSqlDatabase;

/// Parses one container file into an element database.
///
/// parseFile runs on a worker thread; when it returns 0 the connection it filled belongs to the
/// Parser's own thread, and getConnection() hands it over.
class Parser : public QObject
{
    Q_OBJECT

public:
    /// Results of parseFile.
    enum Result {
        Parsed = 0,          ///< the file was parsed into the database
        NoPluginAccepted = 1, ///< no plug-in reads this format
        CannotOpenFile = 2,  ///< the file is missing, not a regular file or not readable
        EmptyFile = 3,       ///< the file holds no bytes
        BadOption = 4,       ///< the option string has an unknown key or a bad value
        DatabaseFailed = 5,  ///< the database could not be opened or written
        AnalysisFailed = 6,  ///< the plug-in could not be created or ran out of memory
    };

    /// The name of the connection that parseFile fills.
    static QString connectionName();

    explicit Parser(QObject *parent = nullptr);
    ~Parser() override;

    /// Parses fileName into the SQLite database named database (":memory:" or a file path).
    /// option is the option string ("key=value;..."; null for the defaults). Returns a Result.
    /// On failure no connection is left behind and errorString() says why.
    int parseFile(const QString &fileName, const QString &database, const QString &option);

    /// The filled connection, after parseFile returned 0; the caller owns the object and
    /// removes the connection when done. Null before a successful parse or once handed over.
    QSqlDatabase *getConnection();

    /// Why the last parseFile failed.
    QString errorString() const { return m_error; }
    /// What went wrong without stopping the parse (a stalled plug-in, a damaged element).
    QStringList warnings() const { return m_warnings; }
    /// The container name of the plug-in that parsed the file.
    QString containerName() const { return m_containerName; }

signals:
    void progress(int);

private:
    int fail(int result, const QString &message);
    void dropConnection();

    QSqlDatabase *m_connection = nullptr;
    QString m_error;
    QStringList m_warnings;
    QString m_containerName;
};
