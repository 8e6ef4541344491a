#pragma once

#include "element_sink.h"

#include <QHash>

#include <cstdio>
#include <cstdlib>
#include <vector>

/// A sink for fuzzing: keeps only what the checks need and stops the process at the first
/// element that breaks the shape of the tree, so the fuzzer records the input.
class CheckingSink : public ElementSink
{
public:
    explicit CheckingSink(quint64 fileSize) : m_fileBits(qint64(fileSize) * 8) {}

    void element(const ElementRecord &record) override
    {
        check(record.id == m_lastId + 1, "ids are not consecutive");
        check(record.parentId >= 0 && record.parentId < record.id, "parent id not below the element's");
        check(record.offset >= 0 && record.size >= 0, "negative offset or size");
        check(record.offset <= m_fileBits && record.size <= m_fileBits - record.offset,
              "element reaches past the end of the file");
        const int parentLevel = record.parentId == 0 ? -1 : m_levels.value(record.parentId, -2);
        check(parentLevel != -2, "parent unknown");
        check(record.level == parentLevel + 1, "level is not the parent's plus one");
        m_levels.insert(record.id, record.level);
        m_lastId = record.id;
    }
    void update(const ElementRecord &record) override
    {
        check(record.id <= m_lastId, "update of an element never sent");
        check(record.offset <= m_fileBits && record.size <= m_fileBits - record.offset,
              "group reaches past the end of the file");
    }
    void description(qint64, const QString &) override {}
    void note(qint64 id, const QString &) override { check(id >= 1, "note without element"); }
    void frame(const FrameRecord &) override { ++frames; }
    void streams(const QList<StreamRecord> &) override {}

    qint64 elements() const { return m_lastId; }
    qint64 frames = 0;

private:
    static void check(bool condition, const char *what)
    {
        if (condition)
            return;
        std::fprintf(stderr, "element tree broken: %s\n", what);
        std::abort();
    }

    qint64 m_fileBits;
    qint64 m_lastId = 0;
    QHash<qint64, int> m_levels;
};
