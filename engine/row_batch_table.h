#pragma once

#include <sqlite3.h>

#include <new>
#include <vector>

/// An SQLite virtual table over a batch of rows in memory, so that one
/// "INSERT INTO t SELECT ... FROM <table>" moves a whole batch without binding every value of
/// every row. Columns describes the rows: a static `declaration` (the CREATE TABLE text SQLite
/// wants for the columns) and a static `result(sqlite3_context *, const Row &, int column)`.
///
/// The table is eponymous (it has no xCreate), so it exists on the connection without a CREATE
/// VIRTUAL TABLE and nothing of it is stored in the database.
template <class Row, class Columns>
class RowBatchTable
{
public:
    /// Registers the table as name on db; it reads *rows, which the caller points at a batch
    /// before each statement that reads the table.
    static bool install(sqlite3 *db, const char *name, const std::vector<Row> *const *rows)
    {
        static const sqlite3_module rowModule = module();
        return sqlite3_create_module(db, name, &rowModule,
                                     const_cast<std::vector<Row> **>(rows)) == SQLITE_OK;
    }

private:
    struct Table
    {
        sqlite3_vtab base;
        const std::vector<Row> *const *rows;
    };
    struct Cursor
    {
        sqlite3_vtab_cursor base;
        size_t row;
    };

    static const std::vector<Row> &rowsOf(sqlite3_vtab_cursor *cursor)
    {
        return **reinterpret_cast<Table *>(cursor->pVtab)->rows;
    }
    static size_t &position(sqlite3_vtab_cursor *cursor) { return reinterpret_cast<Cursor *>(cursor)->row; }

    static int connect(sqlite3 *db, void *aux, int, const char *const *, sqlite3_vtab **table, char **)
    {
        const int result = sqlite3_declare_vtab(db, Columns::declaration);
        if (result != SQLITE_OK)
            return result;
        auto *created = new (std::nothrow) Table{};
        if (!created)
            return SQLITE_NOMEM;
        created->rows = static_cast<const std::vector<Row> *const *>(aux);
        *table = &created->base;
        return SQLITE_OK;
    }
    static int disconnect(sqlite3_vtab *table)
    {
        delete reinterpret_cast<Table *>(table);
        return SQLITE_OK;
    }
    static int bestIndex(sqlite3_vtab *, sqlite3_index_info *info)
    {
        info->estimatedCost = 1000;
        return SQLITE_OK;
    }
    static int open(sqlite3_vtab *, sqlite3_vtab_cursor **cursor)
    {
        auto *created = new (std::nothrow) Cursor{};
        if (!created)
            return SQLITE_NOMEM;
        *cursor = &created->base;
        return SQLITE_OK;
    }
    static int close(sqlite3_vtab_cursor *cursor)
    {
        delete reinterpret_cast<Cursor *>(cursor);
        return SQLITE_OK;
    }
    static int filter(sqlite3_vtab_cursor *cursor, int, const char *, int, sqlite3_value **)
    {
        position(cursor) = 0;
        return SQLITE_OK;
    }
    static int next(sqlite3_vtab_cursor *cursor)
    {
        ++position(cursor);
        return SQLITE_OK;
    }
    static int eof(sqlite3_vtab_cursor *cursor) { return position(cursor) >= rowsOf(cursor).size(); }
    static int column(sqlite3_vtab_cursor *cursor, sqlite3_context *context, int which)
    {
        Columns::result(context, rowsOf(cursor)[position(cursor)], which);
        return SQLITE_OK;
    }
    static int rowid(sqlite3_vtab_cursor *cursor, sqlite3_int64 *id)
    {
        *id = sqlite3_int64(position(cursor));
        return SQLITE_OK;
    }
    static sqlite3_module module()
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
};
