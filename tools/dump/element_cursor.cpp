#include "element_cursor.h"

#include <QSqlError>

namespace {

const char elementsSql[] =
    "SELECT elements.id, elements.level, dictionary.name, elements.offset, elements.size,"
    " elements.raw_value, elements.hrf_value, elements_seq_num.seq_num, descriptions.description"
    " FROM elements"
    " LEFT JOIN dictionary ON elements.name_id = dictionary.id"
    " LEFT JOIN elements_seq_num ON elements.id = elements_seq_num.id"
    " LEFT JOIN descriptions ON elements.id = descriptions.id";
const char elementsRangeSql[] = " WHERE elements.id BETWEEN ? AND ?";
const char elementsOrderSql[] = " ORDER BY elements.id";

// The notes of an element in the order they were made.
const char notesSql[] = "SELECT id, note FROM notes";
const char notesRangeSql[] = " WHERE id BETWEEN ? AND ?";
const char notesOrderSql[] = " ORDER BY id, rowid";

} // namespace

ElementCursor::ElementCursor(const QSqlDatabase &db) : m_elements(db), m_notes(db)
{
    m_elements.setForwardOnly(true);
    m_notes.setForwardOnly(true);
}

void ElementCursor::setRange(qint64 first, qint64 last)
{
    m_ranged = true;
    m_first = first;
    m_last = last;
}

bool ElementCursor::exec()
{
    const auto sql = [this](const char *select, const char *range, const char *order) {
        return QString::fromLatin1(select) + (m_ranged ? QLatin1String(range) : QLatin1String()) + QLatin1String(order);
    };
    if (!run(m_elements, sql(elementsSql, elementsRangeSql, elementsOrderSql))
        || !run(m_notes, sql(notesSql, notesRangeSql, notesOrderSql)))
        return false;
    m_onNote = m_notes.next();
    keepFailure(m_notes);
    return !failed();
}

bool ElementCursor::next()
{
    if (failed())
        return false;
    if (!m_elements.next()) {
        keepFailure(m_elements);
        return false;
    }
    const QSqlQuery &q = m_elements;
    m_row = {q.value(0).toLongLong(), q.value(1).toInt(), q.value(2).toString(), q.value(3).toLongLong(),
             q.value(4).toLongLong(), q.value(5).toString(), q.value(6).toString(), q.value(8).toString(),
             notesOf(q.value(0).toLongLong()), q.value(7)};
    return !failed();
}

bool ElementCursor::run(QSqlQuery &query, const QString &sql)
{
    if (query.prepare(sql)) {
        if (m_ranged) {
            query.addBindValue(m_first);
            query.addBindValue(m_last);
        }
        if (query.exec())
            return true;
    }
    m_error = query.lastError().text();
    return false;
}

// Notes of ids without an element are passed over, as they come before the next element's.
QString ElementCursor::notesOf(qint64 id)
{
    QString note;
    while (m_onNote && m_notes.value(0).toLongLong() <= id) {
        if (m_notes.value(0).toLongLong() == id) {
            const QString text = m_notes.value(1).toString();
            note += note.isEmpty() ? text : QLatin1Char('\n') + text;
        }
        m_onNote = m_notes.next();
        keepFailure(m_notes);
    }
    return note;
}

// A query that stops with an error is a failure, not the end of the rows.
void ElementCursor::keepFailure(const QSqlQuery &query)
{
    if (query.lastError().isValid() && m_error.isEmpty())
        m_error = query.lastError().text();
}
