#include "container_driver.h"

#include "container_abstract.h"
#include "status.h"

#include <new>

int ContainerDriver::verify(ContainerAbstract &parser, const QString &fileName)
{
    try {
        return parser.verifyContainerFormat(fileName);
    } catch (...) {
        return Status::NotThisFormat;
    }
}

ContainerDriver::Outcome ContainerDriver::run(ContainerAbstract &parser, const QString &fileName,
                                              ElementSink &sink, const ParseOptions &options,
                                              const std::function<void(int)> &progress)
{
    Outcome outcome;
    parser.displayLimit = options.displayLimit;
    parser.showJunk = options.showJunk;
    parser.showUnknown = options.showUnknown;
    parser.numberBase = options.numberBase;
    parser.valueBase = options.valueBase;
    parser.m_sink = &sink;
    parser.m_failure = ContainerAbstract::Failure();
    parser.m_bounds.clear();

    int lastPercent = -1;
    quint64 fileSize = 0;
    auto report = [&](quint64 offset) {
        const int percent = fileSize == 0 ? 100 : int(qMin<quint64>(offset, fileSize) * 100 / fileSize);
        if (percent != lastPercent && progress) {
            lastPercent = percent;
            progress(percent);
        }
    };

    if (parser.openFile(fileName) != Status::Success) {
        parser.m_sink = nullptr;
        outcome.status = Status::CannotOpen;
        return outcome;
    }
    fileSize = quint64(qMax<qint64>(parser.file.size(), 0));
    parser.m_progressStep = qMax<quint64>(fileSize / 100, 1);
    parser.m_progress = report;
    report(0);

    try {
        qint64 begin = 0;
        parser.findBeginOfContainer(&begin);
        parser.prepareParsing();
        quint64 offset = quint64(qMax<qint64>(begin, 0));
        while (offset < fileSize) {
            parser.currentOffset = offset;
            parser.file.seek(qint64(offset));
            quint64 consumed = 0;
            const int status = parser.parseElement(&consumed);
            // A failure nobody kept belongs to the group still open, else to this element.
            parser.currentOffset = offset;
            parser.keepFailure(status);
            // A parser that leaves groups open would make every later element their child.
            parser.closeAllGroups();
            parser.m_bounds.clear();
            if (consumed == 0) {
                outcome.stalled = true;
                break;
            }
            offset = consumed > fileSize - offset ? fileSize : offset + consumed;
            report(offset);
        }
        outcome.stopOffset = offset;
        parser.m_progress = nullptr;
        parser.finalizeParsing();
    } catch (const std::bad_alloc &) {
        outcome.status = Status::AllocationFailed;
    }
    parser.m_progress = nullptr;
    parser.closeAllGroups();
    outcome.firstFailure = parser.m_failure.status;
    outcome.failureOffset = parser.m_failure.offset;
    outcome.failureElement = parser.m_failure.name;
    sink.streams(parser.streams);
    parser.closeFile();
    parser.m_sink = nullptr;
    report(fileSize);
    return outcome;
}
