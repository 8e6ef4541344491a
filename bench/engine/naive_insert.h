#pragma once

#include <QtGlobal>

/// The baseline the element database writer is measured against: rows 9-column rows shaped
/// like elements, one single-row INSERT each, into an AUTOINCREMENT table of an in-memory
/// database, all in one transaction. The seconds the inserts and the commit took (not the
/// table's creation); -1 when SQLite refused any of it.
double naiveInsertSeconds(qint64 rows);
