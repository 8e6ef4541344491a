#include "naive_insert.h"

#include <QByteArray>
#include <QElapsedTimer>

#include <sqlite3.h>

namespace {

bool run(sqlite3 *db, const char *sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

} // namespace

double naiveInsertSeconds(qint64 rows)
{
    sqlite3 *db = nullptr;
    if (sqlite3_open(":memory:", &db) != SQLITE_OK) {
        sqlite3_close(db);
        return -1;
    }
    sqlite3_stmt *insert = nullptr;
    bool ok = run(db, "CREATE TABLE elements (id INTEGER PRIMARY KEY AUTOINCREMENT, level INTEGER, parent_id INTEGER,"
                      " last_child_id INTEGER, name_id INTEGER, offset INTEGER, size INTEGER, raw_value TEXT,"
                      " hrf_value TEXT)");
    QElapsedTimer timer;
    timer.start();
    ok = ok && run(db, "BEGIN")
        && sqlite3_prepare_v2(db, "INSERT INTO elements VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)", -1, &insert, nullptr)
            == SQLITE_OK;
    for (qint64 id = 1; ok && id <= rows; ++id) {
        const QByteArray value = QByteArray::number(id % 65536);
        sqlite3_bind_int64(insert, 1, id);
        sqlite3_bind_int(insert, 2, 1);
        sqlite3_bind_int64(insert, 3, id / 4);
        sqlite3_bind_int64(insert, 4, 0);
        sqlite3_bind_int64(insert, 5, 2);
        sqlite3_bind_int64(insert, 6, id * 32);
        sqlite3_bind_int64(insert, 7, 32);
        sqlite3_bind_text(insert, 8, value.constData(), int(value.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 9, "", 0, SQLITE_STATIC);
        ok = sqlite3_step(insert) == SQLITE_DONE;
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    ok = ok && run(db, "COMMIT");
    const double seconds = timer.nsecsElapsed() / 1e9;
    sqlite3_close(db);
    return ok ? seconds : -1;
}
