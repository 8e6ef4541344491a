#pragma once

#include "parse_options.h"

#include <QString>

#include <functional>

class ContainerAbstract;
class ElementSink;

/// Runs a parser through its life cycle: format check, then the walk of the whole file into a
/// sink. The engine uses it with its database writer; tests and fuzzers with an in-memory sink.
class ContainerDriver
{
public:
    struct Outcome
    {
        int status = 0;        ///< 0, or Status::CannotOpen / Status::AllocationFailed
        /// The first failure any handler or walker reported (the walk goes on after it) and the
        /// element it belongs to: its offset in bytes and its name.
        int firstFailure = 0;
        quint64 failureOffset = 0;
        QString failureElement;
        bool stalled = false;  ///< a parseElement consumed nothing; the walk stopped there
        quint64 stopOffset = 0; ///< where the walk ended
    };

    /// Asks the parser whether it reads this file (0 = yes).
    static int verify(ContainerAbstract &parser, const QString &fileName);

    /// Parses the whole file. progress receives percentages 0..100, each only once.
    /// Whatever the parser reported before a failure reaches the sink.
    static Outcome run(ContainerAbstract &parser, const QString &fileName, ElementSink &sink,
                       const ParseOptions &options, const std::function<void(int)> &progress = {});
};
