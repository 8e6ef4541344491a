#pragma once

#include "element_row.h"

#include <vector>

struct sqlite3;

/// An SQLite virtual table "kestrune_rows" over a batch of rows in memory, so that one
/// "INSERT INTO elements SELECT ... FROM kestrune_rows" moves a whole batch without binding
/// every value of every row.
///
/// Columns: id (NULL for an appended row, so SQLite takes the next id on its append path),
/// level, parent_id, last_child_id, name_id, offset, size, raw_value, hrf_value (empty texts
/// as NULL), seq_num (NULL for none), explicit_id (always the id).
class RowBatchTable
{
public:
    /// Registers the table on db; it reads *rows, which the caller points at each batch.
    static bool install(sqlite3 *db, const std::vector<ElementRow> *const *rows);
};
