#include "viewer_database.h"

#include "leftover_marker.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QVariant>

#include <sqlite3.h>

#include <memory>

// SQLite's LIKE and lower() fold ASCII only, so the search runs through a function of our own,
// registered on the connection: kestrune_find(needle, whole_word, text...), true when one of the
// texts holds the needle. The needle comes case-folded; a text in plain ASCII is compared byte by
// byte, any other is folded first. One call looks at all the texts of a row, which saves a
// function call a row over one call a column.

namespace {

const char *const matchFunction = "kestrune_find";

struct Needle
{
    QByteArray ascii; ///< the folded needle in UTF-8 when it is all ASCII; empty otherwise
    QString folded;
};

bool isAscii(const char *text, int size)
{
    for (int i = 0; i < size; ++i) {
        if (uchar(text[i]) >= 0x80)
            return false;
    }
    return true;
}

bool isWordByte(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

char asciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool containsAscii(const char *text, int size, const QByteArray &needle, bool wholeWord)
{
    const int length = int(needle.size());
    const char first = needle.at(0);
    for (int at = 0; at + length <= size; ++at) {
        if (asciiLower(text[at]) != first)
            continue;
        int i = 1;
        while (i < length && asciiLower(text[at + i]) == needle.at(i))
            ++i;
        if (i < length)
            continue;
        if (!wholeWord || ((at == 0 || !isWordByte(text[at - 1]))
                           && (at + length == size || !isWordByte(text[at + length]))))
            return true;
    }
    return false;
}

bool containsFolded(const QString &text, const QString &needle, bool wholeWord)
{
    const QString folded = text.toCaseFolded();
    for (qsizetype at = folded.indexOf(needle); at >= 0; at = folded.indexOf(needle, at + 1)) {
        const qsizetype end = at + needle.size();
        if (!wholeWord || ((at == 0 || !folded.at(at - 1).isLetterOrNumber())
                           && (end == folded.size() || !folded.at(end).isLetterOrNumber())))
            return true;
    }
    return false;
}

void deleteNeedle(void *needle)
{
    delete static_cast<Needle *>(needle);
}

bool containsNeedle(sqlite3_value *value, const Needle &needle, bool wholeWord)
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(value));
    if (!text)
        return false;
    const int size = sqlite3_value_bytes(value);
    if (isAscii(text, size))
        return !needle.ascii.isEmpty() && containsAscii(text, size, needle.ascii, wholeWord);
    return !needle.folded.isEmpty() && containsFolded(QString::fromUtf8(text, size), needle.folded, wholeWord);
}

void matchText(sqlite3_context *context, int count, sqlite3_value **arguments)
{
    if (count < 2) {
        sqlite3_result_error(context, "the search needs a needle and a word switch", -1);
        return;
    }
    // The needle is the same for every row of a statement: parse it once.
    auto *needle = static_cast<Needle *>(sqlite3_get_auxdata(context, 0));
    if (!needle) {
        const auto *raw = reinterpret_cast<const char *>(sqlite3_value_text(arguments[0]));
        auto made = std::make_unique<Needle>();
        made->folded = QString::fromUtf8(raw, sqlite3_value_bytes(arguments[0]));
        const QByteArray utf8 = made->folded.toUtf8();
        if (isAscii(utf8.constData(), int(utf8.size())))
            made->ascii = utf8;
        needle = made.release();
        sqlite3_set_auxdata(context, 0, needle, deleteNeedle);
        // SQLite may drop the cache at once; it is fetched again, still valid, for this row.
        needle = static_cast<Needle *>(sqlite3_get_auxdata(context, 0));
        if (!needle) {
            sqlite3_result_error(context, "cannot keep the search text", -1);
            return;
        }
    }
    const bool wholeWord = sqlite3_value_int(arguments[1]) != 0;
    bool found = false;
    for (int i = 2; i < count && !found; ++i)
        found = containsNeedle(arguments[i], *needle, wholeWord);
    sqlite3_result_int(context, found ? 1 : 0);
}

sqlite3 *handleOf(const QSqlDatabase &db)
{
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3 *const *>(handle.constData());
}

// Registers the function unless the connection has it; registering it again would expire
// every prepared statement of the connection.
bool ensureMatchFunction(const QSqlDatabase &db)
{
    sqlite3 *handle = handleOf(db);
    if (!handle)
        return false;
    sqlite3_stmt *probe = nullptr;
    const QByteArray sql = QByteArray("SELECT ") + matchFunction + "('', 0, '')";
    const bool known = sqlite3_prepare_v2(handle, sql.constData(), -1, &probe, nullptr) == SQLITE_OK;
    sqlite3_finalize(probe);
    if (known)
        return true;
    return sqlite3_create_function_v2(handle, matchFunction, -1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                      matchText, nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool matches(const QString &text, const ViewerDatabase::FindQuery &query)
{
    return containsFolded(text, query.text.toCaseFolded(), query.wholeWord);
}

// The rows of elements the query matches, as an SQL condition with the folded needle as :needle
// and the word switch as :word; empty when nothing can match.
QString matchCondition(QSqlDatabase &db, const ViewerDatabase::FindQuery &query)
{
    if (query.text.isEmpty() || !ensureMatchFunction(db))
        return {};
    // The dictionary is small: its matching names become a list of ids. Leftover runs are shown
    // under their display name, so that is what is matched for them.
    QStringList nameIds;
    QSqlQuery names(db);
    names.setForwardOnly(true);
    if (names.exec(QStringLiteral("SELECT id, name FROM dictionary"))) {
        const QString marker = QString::fromLatin1(leftoverMarker);
        while (names.next()) {
            const QString name = names.value(1).toString();
            if (matches(name == marker ? QCoreApplication::translate("SqlTree", "GARBAGE") : name, query))
                nameIds << names.value(0).toString();
        }
    }
    QStringList terms;
    if (!nameIds.isEmpty())
        terms << QStringLiteral("name_id IN (%1)").arg(nameIds.join(QLatin1Char(',')));
    if (!query.nameOnly) {
        terms << QStringLiteral("%1(:needle, :word, raw_value, hrf_value)").arg(QLatin1String(matchFunction));
    }
    return terms.isEmpty() ? QString() : QLatin1Char('(') + terms.join(QStringLiteral(" OR ")) + QLatin1Char(')');
}

void bindQuery(QSqlQuery &statement, const QString &sql, const ViewerDatabase::FindQuery &query)
{
    // QSQLITE refuses values for names the statement lacks.
    if (sql.contains(QLatin1String(":needle"))) {
        statement.bindValue(QStringLiteral(":needle"), query.text.toCaseFolded());
        statement.bindValue(QStringLiteral(":word"), query.wholeWord ? 1 : 0);
    }
}

// The first matching id in [first, last], lowest or highest first; -1 for none.
qint64 firstIn(QSqlDatabase &db, const QString &condition, const ViewerDatabase::FindQuery &query, qint64 first,
               qint64 last, bool backwards)
{
    if (first > last)
        return -1;
    const QString sql = QStringLiteral("SELECT id FROM elements WHERE id BETWEEN :first AND :last AND %1"
                                       " ORDER BY id %2 LIMIT 1")
                            .arg(condition, backwards ? QStringLiteral("DESC") : QStringLiteral("ASC"));
    QSqlQuery statement(db);
    statement.setForwardOnly(true);
    if (!statement.prepare(sql))
        return -1;
    statement.bindValue(QStringLiteral(":first"), first);
    statement.bindValue(QStringLiteral(":last"), last);
    bindQuery(statement, sql, query);
    if (!statement.exec() || !statement.next())
        return -1;
    return statement.value(0).toLongLong();
}

QString problemCondition(QSqlDatabase &db)
{
    QSqlQuery marker(db);
    marker.prepare(QStringLiteral("SELECT id FROM dictionary WHERE name = ?"));
    marker.addBindValue(QString::fromLatin1(leftoverMarker));
    QString condition = QStringLiteral("elements.id IN (SELECT id FROM notes)");
    if (marker.exec() && marker.next())
        condition += QStringLiteral(" OR elements.name_id = %1").arg(marker.value(0).toLongLong());
    return condition;
}

} // namespace

qint64 ViewerDatabase::firstMatch(const FindQuery &query, qint64 first, qint64 last, bool backwards)
{
    if (!isAttached())
        return -1;
    const QString condition = matchCondition(*m_db, query);
    if (condition.isEmpty())
        return -1;
    return firstIn(*m_db, condition, query, qMax<qint64>(first, 1), qMin(last, elementCount()), backwards);
}

qint64 ViewerDatabase::countMatches(const FindQuery &query, qint64 first, qint64 last)
{
    if (!isAttached() || first > last)
        return 0;
    const QString condition = matchCondition(*m_db, query);
    if (condition.isEmpty())
        return 0;
    const QString sql =
        QStringLiteral("SELECT count(*) FROM elements WHERE id BETWEEN :first AND :last AND %1").arg(condition);
    QSqlQuery statement(*m_db);
    statement.setForwardOnly(true);
    if (!statement.prepare(sql))
        return 0;
    statement.bindValue(QStringLiteral(":first"), first);
    statement.bindValue(QStringLiteral(":last"), last);
    bindQuery(statement, sql, query);
    if (!statement.exec() || !statement.next())
        return 0;
    return statement.value(0).toLongLong();
}

QList<ViewerDatabase::Problem> ViewerDatabase::problems(int limit)
{
    QList<Problem> list;
    if (!isAttached() || limit <= 0)
        return list;
    QSqlQuery statement(*m_db);
    statement.setForwardOnly(true);
    const QString sql = QStringLiteral(
        "SELECT elements.id, elements.offset, dictionary.name,"
        " (SELECT group_concat(note, char(10)) FROM (SELECT note FROM notes WHERE notes.id = elements.id"
        " ORDER BY rowid)) FROM elements LEFT JOIN dictionary ON elements.name_id = dictionary.id"
        " WHERE %1 ORDER BY elements.id LIMIT ?").arg(problemCondition(*m_db));
    if (!statement.prepare(sql))
        return list;
    statement.addBindValue(limit);
    if (!statement.exec())
        return list;
    while (statement.next()) {
        Problem problem;
        problem.id = statement.value(0).toLongLong();
        problem.offset = statement.value(1).toLongLong();
        problem.name = statement.value(2).toString();
        problem.note = statement.value(3).toString();
        list << problem;
    }
    return list;
}

qint64 ViewerDatabase::problemCount()
{
    if (!isAttached())
        return 0;
    QSqlQuery statement(*m_db);
    statement.setForwardOnly(true);
    if (!statement.exec(QStringLiteral("SELECT count(*) FROM elements WHERE %1").arg(problemCondition(*m_db)))
        || !statement.next())
        return 0;
    return statement.value(0).toLongLong();
}
