#pragma once

#include <cstddef>

/// SQLite takes its memory from the C library's allocator, set up as the engine library loads,
/// before SQLite starts. A database image can then be built with realloc() past SQLite's own
/// limit of 2 GiB for one allocation and handed to SQLite, which frees it with sqlite3_free().
namespace SqliteMemory {

/// Whether SQLite uses the C library's allocator; when something started SQLite before the
/// engine library loaded, it keeps its own and images stay below its limit.
bool sharesCAllocator();

/// Grows or shrinks block (null for a new one) to bytes; null when that cannot be had, block
/// then being left as it was. The result is to be freed with sqlite3_free().
void *resize(void *block, size_t bytes);

} // namespace SqliteMemory
