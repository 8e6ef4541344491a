// libFuzzer target: feeds the bytes, as a file, through one container parser and the real base
// class, and stops the process when the tree breaks its shape (the checks of the test suite), so
// the fuzzer records the input. Built once per parser with KESTRUNE_FUZZ_HEADER,
// KESTRUNE_FUZZ_PARSER and KESTRUNE_FUZZ_SUFFIX defined.

#include "parse_run.h"
#include KESTRUNE_FUZZ_HEADER

#include <QFile>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The ISO and Matroska parsers decide by the file name's suffix.
    static const QString path = QStringLiteral("/dev/shm/kestrune-fuzz-%1.%2").arg(getpid()).arg(QStringLiteral(KESTRUNE_FUZZ_SUFFIX));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    KESTRUNE_FUZZ_PARSER parser;
    if (ContainerDriver::verify(parser, path) != 0)
        return 0;
    ParseRun run;
    runParser(&run, parser, path);
    const QString fault = run.shapeFault(qint64(size));
    if (!run.sink.inOrder || !fault.isEmpty()) {
        std::fprintf(stderr, "element tree broken: %s\n", run.sink.inOrder ? qPrintable(fault) : "ids out of order");
        std::abort();
    }
    return 0;
}
