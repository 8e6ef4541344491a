#pragma once

#include "element_row.h"
#include "element_sink.h"

#include <sqlite3.h>

/// The columns of the virtual table "kestrune_rows" over element rows, for their sequence
/// numbers: id, seq_num (NULL for none).
struct ElementRowColumns
{
    static constexpr const char *declaration = "CREATE TABLE x(id, seq_num)";

    static void result(sqlite3_context *context, const ElementRow &row, int column)
    {
        if (column == 0)
            sqlite3_result_int64(context, row.id);
        else if (row.index == -1)
            sqlite3_result_null(context);
        else
            sqlite3_result_int64(context, row.index);
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
