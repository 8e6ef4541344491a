// libFuzzer target: feeds the bytes, as a file, through one container parser and the real base
// class into a sink that checks the shape of the tree. Built once per parser with
// KESTRUNE_FUZZ_HEADER, KESTRUNE_FUZZ_PARSER and KESTRUNE_FUZZ_SUFFIX defined.

#include "checking_sink.h"
#include "container_driver.h"
#include KESTRUNE_FUZZ_HEADER

#include <QFile>
#include <QString>

#include <cstdint>
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
    CheckingSink sink(size);
    ContainerDriver::run(parser, path, sink, ParseOptions());
    return 0;
}
