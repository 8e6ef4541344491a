#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <sqlite3.h>

#include <string_view>
#include <type_traits>

/// A text bound as it is: an empty one becomes "", not NULL.
struct SqliteText
{
    std::string_view text;
};

/// A prepared SQLite statement, finalized when it goes out of scope. run() binds one row of
/// values to the parameters in order, steps and resets.
class SqliteStatement
{
public:
    SqliteStatement() = default;
    SqliteStatement(sqlite3 *db, const char *sql) { prepare(db, sql); }
    ~SqliteStatement() { sqlite3_finalize(m_statement); }
    SqliteStatement(const SqliteStatement &) = delete;
    SqliteStatement &operator=(const SqliteStatement &) = delete;

    /// Prepares sql for repeated use; false when SQLite refuses it.
    bool prepare(sqlite3 *db, const char *sql)
    {
        sqlite3_finalize(m_statement);
        m_statement = nullptr;
        return sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &m_statement, nullptr) == SQLITE_OK;
    }

    bool isValid() const { return m_statement != nullptr; }

    /// Binds values to parameters 1, 2, ... and runs the statement; true when it completed.
    /// Integers bind as integers, doubles as reals, texts as UTF-8 (an empty text as NULL:
    /// it costs no bytes, and the readers take both as "").
    template <class... Values>
    bool run(const Values &...values)
    {
        if (!m_statement)
            return false;
        int column = 0;
        (bind(++column, values), ...);
        const int result = sqlite3_step(m_statement);
        sqlite3_reset(m_statement);
        return result == SQLITE_DONE;
    }

private:
    template <class T>
    void bind(int column, const T &value)
    {
        if constexpr (std::is_same_v<T, SqliteText>)
            sqlite3_bind_text64(m_statement, column, value.text.empty() ? "" : value.text.data(), value.text.size(),
                                SQLITE_STATIC, SQLITE_UTF8);
        else if constexpr (std::is_floating_point_v<T>)
            sqlite3_bind_double(m_statement, column, double(value));
        else if constexpr (std::is_integral_v<T> || std::is_enum_v<T>)
            sqlite3_bind_int64(m_statement, column, sqlite3_int64(value));
        else
            bindText(column, std::string_view(value.data(), size_t(value.size())));
    }

    void bindText(int column, std::string_view text)
    {
        if (text.empty())
            sqlite3_bind_null(m_statement, column);
        else
            sqlite3_bind_text64(m_statement, column, text.data(), text.size(), SQLITE_STATIC, SQLITE_UTF8);
    }

    sqlite3_stmt *m_statement = nullptr;
};
