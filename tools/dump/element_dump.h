#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QTextStream>

class ElementCursor;

/// Prints an element database in kestrune-dump's forms.
///
/// The write functions return false when the database cannot be read; they stop early once the
/// stream fails, and the caller checks the stream's status.
class ElementDump
{
public:
    ElementDump(const QSqlDatabase &db, const QString &fileName, const QString &containerName);

    bool writeTree(QTextStream &out);
    bool writeJson(QTextStream &out);
    /// The element id with its descendants as one JSON document: the object that writeJson
    /// writes for it, laid out as a document of its own. False, with errorString(), when there
    /// is no such element.
    bool writeJsonSubtree(QTextStream &out, qint64 id);
    bool writeFrames(QTextStream &out);
    bool writeStreams(QTextStream &out);
    bool writeSummary(QTextStream &out);

    QString errorString() const { return m_error; }

private:
    /// Takes the error of elements; returns false.
    bool failed(const ElementCursor &elements);
    qint64 count(const QString &sql);
    /// The id of the last element of id's subtree; -1, with errorString(), for no element id.
    qint64 lastDescendant(qint64 id);
    /// The header line, then one CSV line per row of sql.
    bool writeCsv(QTextStream &out, const char *header, const char *sql);

    QSqlDatabase m_db;
    QString m_fileName;
    QString m_containerName;
    QString m_error;
};
