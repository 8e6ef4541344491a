#pragma once

#include "element_row.h"
#include "element_sink.h"

#include <sqlite3.h>

/// The columns of the virtual table "kestrune_rows" over element rows: id (NULL for an appended
/// row, so SQLite takes the next id on its append path), level, parent_id, last_child_id,
/// name_id, offset, size, raw_value, hrf_value (empty texts as NULL), seq_num (NULL for none),
/// explicit_id (always the id).
struct ElementRowColumns
{
    static constexpr const char *declaration =
        "CREATE TABLE x(id, level, parent_id, last_child_id, name_id, offset, size, raw_value,"
        " hrf_value, seq_num, explicit_id)";

    static void text(sqlite3_context *context, const QByteArray &text)
    {
        if (text.isEmpty())
            sqlite3_result_null(context);
        else
            sqlite3_result_text(context, text.constData(), int(text.size()), SQLITE_STATIC);
    }

    static void result(sqlite3_context *context, const ElementRow &row, int column)
    {
        switch (column) {
        case 0: row.appended ? sqlite3_result_null(context) : sqlite3_result_int64(context, row.id); break;
        case 1: sqlite3_result_int(context, row.level); break;
        case 2: sqlite3_result_int64(context, row.parentId); break;
        case 3: sqlite3_result_int64(context, row.lastChildId); break;
        case 4: sqlite3_result_int64(context, row.nameId); break;
        case 5: sqlite3_result_int64(context, row.offset); break;
        case 6: sqlite3_result_int64(context, row.size); break;
        case 7: text(context, row.value); break;
        case 8: text(context, row.readable); break;
        case 9: row.index == -1 ? sqlite3_result_null(context) : sqlite3_result_int64(context, row.index); break;
        default: sqlite3_result_int64(context, row.id); break;
        }
    }
};

/// The columns of the virtual table "kestrune_frames": the frames table's own columns.
struct FrameColumns
{
    static constexpr const char *declaration =
        "CREATE TABLE x(stream, frame, offset, size, time, time2, duration, keyframe)";

    static void result(sqlite3_context *context, const FrameRecord &frame, int column)
    {
        switch (column) {
        case 0: sqlite3_result_int64(context, frame.stream); break;
        case 1: sqlite3_result_int64(context, qint64(frame.number)); break;
        case 2: sqlite3_result_int64(context, qint64(frame.offset)); break;
        case 3: sqlite3_result_int64(context, qint64(frame.size)); break;
        case 4: sqlite3_result_int64(context, frame.time); break;
        case 5: sqlite3_result_int64(context, frame.time2); break;
        case 6: sqlite3_result_int64(context, frame.duration); break;
        default: sqlite3_result_int(context, frame.keyFrame ? 1 : 0); break;
        }
    }
};
