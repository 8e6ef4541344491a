#include "row_batch_table.h"

#include <sqlite3.h>

#include <new>

namespace {

enum Column { Id, Level, ParentId, LastChildId, NameId, Offset, Size, RawValue, HrfValue, SeqNum, ExplicitId };

struct Table
{
    sqlite3_vtab base;
    const std::vector<ElementRow> *const *rows;
};

struct Cursor
{
    sqlite3_vtab_cursor base;
    size_t row;
};

const std::vector<ElementRow> &rowsOf(sqlite3_vtab_cursor *cursor)
{
    return **reinterpret_cast<Table *>(cursor->pVtab)->rows;
}

int connect(sqlite3 *db, void *aux, int, const char *const *, sqlite3_vtab **table, char **)
{
    const int result = sqlite3_declare_vtab(db,
        "CREATE TABLE x(id, level, parent_id, last_child_id, name_id, offset, size, raw_value,"
        " hrf_value, seq_num, explicit_id)");
    if (result != SQLITE_OK)
        return result;
    auto *created = new (std::nothrow) Table{};
    if (!created)
        return SQLITE_NOMEM;
    created->rows = static_cast<const std::vector<ElementRow> *const *>(aux);
    *table = &created->base;
    return SQLITE_OK;
}

int disconnect(sqlite3_vtab *table)
{
    delete reinterpret_cast<Table *>(table);
    return SQLITE_OK;
}

int bestIndex(sqlite3_vtab *, sqlite3_index_info *info)
{
    info->estimatedCost = 1000;
    return SQLITE_OK;
}

int open(sqlite3_vtab *, sqlite3_vtab_cursor **cursor)
{
    auto *created = new (std::nothrow) Cursor{};
    if (!created)
        return SQLITE_NOMEM;
    *cursor = &created->base;
    return SQLITE_OK;
}

int close(sqlite3_vtab_cursor *cursor)
{
    delete reinterpret_cast<Cursor *>(cursor);
    return SQLITE_OK;
}

int filter(sqlite3_vtab_cursor *cursor, int, const char *, int, sqlite3_value **)
{
    reinterpret_cast<Cursor *>(cursor)->row = 0;
    return SQLITE_OK;
}

int next(sqlite3_vtab_cursor *cursor)
{
    ++reinterpret_cast<Cursor *>(cursor)->row;
    return SQLITE_OK;
}

int eof(sqlite3_vtab_cursor *cursor)
{
    return reinterpret_cast<Cursor *>(cursor)->row >= rowsOf(cursor).size();
}

void resultText(sqlite3_context *context, const QByteArray &text)
{
    if (text.isEmpty())
        sqlite3_result_null(context);
    else
        sqlite3_result_text(context, text.constData(), int(text.size()), SQLITE_STATIC);
}

int column(sqlite3_vtab_cursor *cursor, sqlite3_context *context, int which)
{
    const ElementRow &row = rowsOf(cursor)[reinterpret_cast<Cursor *>(cursor)->row];
    switch (which) {
    case Id:
        if (row.appended)
            sqlite3_result_null(context);
        else
            sqlite3_result_int64(context, row.id);
        break;
    case Level: sqlite3_result_int(context, row.level); break;
    case ParentId: sqlite3_result_int64(context, row.parentId); break;
    case LastChildId: sqlite3_result_int64(context, row.lastChildId); break;
    case NameId: sqlite3_result_int64(context, row.nameId); break;
    case Offset: sqlite3_result_int64(context, row.offset); break;
    case Size: sqlite3_result_int64(context, row.size); break;
    case RawValue: resultText(context, row.value); break;
    case HrfValue: resultText(context, row.readable); break;
    case SeqNum:
        if (row.index == -1)
            sqlite3_result_null(context);
        else
            sqlite3_result_int64(context, row.index);
        break;
    case ExplicitId: sqlite3_result_int64(context, row.id); break;
    }
    return SQLITE_OK;
}

int rowid(sqlite3_vtab_cursor *cursor, sqlite3_int64 *id)
{
    *id = sqlite3_int64(reinterpret_cast<Cursor *>(cursor)->row);
    return SQLITE_OK;
}

sqlite3_module module()
{
    sqlite3_module m{};
    m.xConnect = connect;
    m.xBestIndex = bestIndex;
    m.xDisconnect = disconnect;
    m.xOpen = open;
    m.xClose = close;
    m.xFilter = filter;
    m.xNext = next;
    m.xEof = eof;
    m.xColumn = column;
    m.xRowid = rowid;
    return m;
}

} // namespace

bool RowBatchTable::install(sqlite3 *db, const std::vector<ElementRow> *const *rows)
{
    // An eponymous table (no xCreate): it exists on the connection without a CREATE VIRTUAL
    // TABLE, so nothing of it is stored in the database.
    static const sqlite3_module rowModule = module();
    return sqlite3_create_module(db, "kestrune_rows", &rowModule, const_cast<std::vector<ElementRow> **>(rows)) == SQLITE_OK;
}
