#pragma once

#include "element_sink.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

/// An in-memory sink for tests and fuzzers: keeps every record and prints the tree compactly.
class RecordingSink : public ElementSink
{
public:
    void element(const ElementRecord &record) override
    {
        inOrder = inOrder && record.id == qint64(m_elements.size()) + 1;
        m_elements.push_back(record);
    }
    /// An update must be the final form of an element that was sent: same id, parent, level
    /// and name; the first that is not is kept in updateFault.
    void update(const ElementRecord &record) override
    {
        ++updates;
        if (record.id < 1 || record.id > qint64(m_elements.size())) {
            if (updateFault.isEmpty())
                updateFault = QStringLiteral("update of element %1, which was never sent").arg(record.id);
            return;
        }
        ElementRecord &sent = m_elements[size_t(record.id - 1)];
        if (updateFault.isEmpty()
            && (sent.parentId != record.parentId || sent.level != record.level || sent.name != record.name))
            updateFault = QStringLiteral("update of %1 (id %2) changes its place in the tree").arg(sent.name).arg(record.id);
        sent = record;
    }
    void description(qint64 id, const QString &text) override { descriptions.insert(id, text); }
    void note(qint64 id, const QString &text) override
    {
        QString &notes = this->notes[id];
        notes += notes.isEmpty() ? text : QStringLiteral("\n") + text;
    }
    void link(qint64 id, quint64 target) override { links.insert(id, target); }
    void frame(const FrameRecord &record) override { frames.push_back(record); }
    void streams(const QList<StreamRecord> &records) override { streamRecords = records; }

    /// All elements in id (tree) order.
    const std::vector<ElementRecord> &elements() const { return m_elements; }

    /// First element with this name, or null.
    const ElementRecord *find(const QString &name) const
    {
        for (const ElementRecord &record : elements())
            if (record.name == name)
                return &record;
        return nullptr;
    }

    /// Every element as "name@offset+size" in bytes (bits after a colon when not whole bytes),
    /// with "=value" when it has one, indented two spaces per level, one per line.
    QString tree(bool withValues = true) const
    {
        QStringList lines;
        for (const ElementRecord &record : elements()) {
            QString line = QString(record.level * 2, QLatin1Char(' ')) + record.name
                + QLatin1Char('@') + bits(record.offset) + QLatin1Char('+') + bits(record.size);
            if (withValues && !record.value.isEmpty())
                line += QLatin1Char('=') + record.value;
            lines << line;
        }
        return lines.join(QLatin1Char('\n'));
    }

    QHash<qint64, QString> descriptions;
    QHash<qint64, QString> notes;
    QHash<qint64, quint64> links;
    std::vector<FrameRecord> frames;
    QList<StreamRecord> streamRecords;
    bool inOrder = true; ///< every element arrived with the next id
    QString updateFault;
    int updates = 0;     ///< groups sent again when they closed

private:
    static QString bits(qint64 value)
    {
        return value % 8 == 0 ? QString::number(value / 8)
                              : QStringLiteral("%1:%2").arg(value / 8).arg(value % 8);
    }

    std::vector<ElementRecord> m_elements;
};
