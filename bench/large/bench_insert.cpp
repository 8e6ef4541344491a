// The bare SQLite baseline of the large-file bench: as many rows as the file has elements, one
// single-row INSERT each, into an in-memory AUTOINCREMENT table in one transaction.
//   kestrune-bench-insert ROWS

#include "naive_insert.h"

#include <QByteArray>

#include <cstdio>

int main(int argc, char *argv[])
{
    bool ok = false;
    const qint64 rows = argc == 2 ? QByteArray(argv[1]).toLongLong(&ok) : 0;
    if (!ok || rows < 0) {
        std::fprintf(stderr, "usage: kestrune-bench-insert ROWS\n");
        return 2;
    }
    const double seconds = naiveInsertSeconds(rows);
    if (seconds < 0) {
        std::fprintf(stderr, "kestrune-bench-insert: SQLite refused the inserts\n");
        return 1;
    }
    std::printf("naive insert: %lld rows, %.3f s (%.2f M rows/s)\n", static_cast<long long>(rows), seconds,
                seconds > 0 ? rows / seconds / 1e6 : 0.0);
    return 0;
}
