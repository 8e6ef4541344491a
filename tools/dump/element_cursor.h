#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

/// Walks the elements of a database in id order, which is depth first, reading forward only so
/// that nothing of the database is held. The notes come from a second query in the same order,
/// merged as the elements go by.
class ElementCursor
{
public:
    /// One element as kestrune-dump prints it, several notes joined by line breaks.
    struct Row
    {
        qint64 id = 0;
        int level = 0;
        QString name;
        qint64 offset = 0;
        qint64 size = 0;
        QString value;
        QString readable;
        QString description;
        QString note;
        QVariant index;
    };

    explicit ElementCursor(const QSqlDatabase &db);

    /// Walks only the ids first .. last (a subtree, as ids are a pre-order); before exec().
    void setRange(qint64 first, qint64 last);
    /// Starts both queries; false, with errorString(), when the database cannot be read.
    bool exec();
    /// Moves to the next element; false at the end or when reading failed.
    bool next();
    const Row &row() const { return m_row; }
    bool failed() const { return !m_error.isEmpty(); }
    QString errorString() const { return m_error; }

private:
    bool run(QSqlQuery &query, const QString &sql);
    QString notesOf(qint64 id);
    void keepFailure(const QSqlQuery &query);

    QSqlQuery m_elements;
    QSqlQuery m_notes;
    bool m_onNote = false;
    bool m_ranged = false;
    qint64 m_first = 0;
    qint64 m_last = 0;
    Row m_row;
    QString m_error;
};
