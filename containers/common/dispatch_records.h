#pragma once

#include "container_abstract.h"
#include "status.h"

#include <QHash>
#include <QString>

/// Dispatch record of the ISO box parsers: handler, full-box kind and description.
template <class Parser>
struct BoxRecord : ContainerAbstract::CommonElement
{
    using Handler = int (Parser::*)(quint64 offset, quint64 size);

    BoxRecord() = default;
    BoxRecord(int type, int kind, Handler handler, QString name, QString description)
        : CommonElement(type, name), handler(handler), kind(kind),
          description(std::move(description))
    {
    }

    Handler handler = nullptr;
    int kind = 0; ///< 1: the payload begins with a version byte and three flag bytes
    QString description;
};

/// Dispatch record of the RIFF chunk parser.
template <class Parser>
struct ChunkRecord : ContainerAbstract::CommonElement
{
    using Handler = int (Parser::*)(quint64 offset, uint size);

    ChunkRecord() = default;
    ChunkRecord(int type, Handler handler, const QString &name, const QString &description)
        : CommonElement(type, name), handler(handler), description(description)
    {
    }

    Handler handler = nullptr;
    QString description;
};

/// Dispatch record of the EBML parser; the four numbers describe the element being parsed.
template <class Parser>
struct EbmlRecord : ContainerAbstract::CommonElement
{
    using Handler = int (Parser::*)(EbmlRecord *element);

    EbmlRecord() = default;
    EbmlRecord(int type, Handler handler, const QString &name, const QString &description)
        : CommonElement(type, name), handler(handler), description(description)
    {
    }

    Handler handler = nullptr;
    quint64 start = 0;      ///< file offset of the first identifier byte
    quint64 totalSize = 0;  ///< identifier + size field + data
    quint64 dataOffset = 0; ///< file offset of the first data byte
    quint64 dataSize = 0;   ///< value of the size field
    QString description;
    bool deprecated = false; ///< no longer part of the format; a file that uses it gets a note
};

/// Owns the heap records of a parser's dispatch table, keyed by element identifier.
template <class Key, class Record>
class DispatchTable
{
public:
    DispatchTable() = default;
    DispatchTable(const DispatchTable &) = delete;
    DispatchTable &operator=(const DispatchTable &) = delete;
    ~DispatchTable() { qDeleteAll(m_records); }

    /// Adds a record; a later record under the same key replaces the earlier one.
    void add(const Key &key, Record *record)
    {
        delete m_records.value(key, nullptr);
        m_records.insert(key, record);
    }

    /// Copies the record of key into *out and returns 0, or returns Status::NotInTable.
    int search(const Key &key, Record *out) const
    {
        const auto it = m_records.constFind(key);
        if (it == m_records.constEnd())
            return Status::NotInTable;
        *out = **it;
        return Status::Success;
    }

    const Record *find(const Key &key) const { return m_records.value(key, nullptr); }
    qsizetype count() const { return m_records.size(); }
    const QHash<Key, Record *> &records() const { return m_records; }

private:
    QHash<Key, Record *> m_records;
};
