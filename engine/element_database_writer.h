#pragma once

#include "element_image.h"
#include "element_row.h"
#include "element_sink.h"
#include "sqlite_statement.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <array>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>


/// Writes reported elements into the element database through SQLite's own handle.
///
/// The parser's thread turns records into rows and hands them over in batches; a second thread
/// writes them, so parsing and writing overlap. Elements and frames arrive in key order, so the
/// second thread writes the big tables (elements with its parent index, sequence numbers,
/// descriptions, frames) as finished pages (ElementImage); the small ones go in through SQL. finish() waits
/// for the last batch, installs the pages, inserts what they could not take, writes the
/// element count and commits.
class ElementDatabaseWriter : public ElementSink
{
public:
    /// Creates the schema on db (which must be empty) and starts the writing thread.
    explicit ElementDatabaseWriter(sqlite3 *db);
    ~ElementDatabaseWriter() override;

    ElementDatabaseWriter(const ElementDatabaseWriter &) = delete;
    ElementDatabaseWriter &operator=(const ElementDatabaseWriter &) = delete;

    /// Creates the tables of the element database.
    static bool createSchema(sqlite3 *db, QString *error);

    void element(const ElementRecord &record) override;
    void update(const ElementRecord &record) override;
    void description(qint64 id, const QString &text) override;
    void note(qint64 id, const QString &text) override;
    void link(qint64 id, quint64 target) override;
    void frame(const FrameRecord &record) override;
    void streams(const QList<StreamRecord> &records) override;

    /// Completes the database. Returns false and sets *error when SQLite refused something.
    bool finish(QString *error);

    qint64 elementCount() const { return m_maxId; }
    qint64 frameCount() const { return m_frameCount; }

private:
    using Row = ElementRow;
    struct TextRow
    {
        qint64 id;
        QByteArray text;
    };
    struct Batch
    {
        RowSet rows;
        RowSet updates;
        std::vector<TextRow> names, descriptions, notes;
        std::vector<std::pair<qint64, qint64>> links;
        std::vector<FrameRecord> frames;
        std::vector<StreamRecord> streams;
        bool empty() const;
        void clear();
    };

    static int pageSize(sqlite3 *db);
    static bool isInMemory(sqlite3 *db);
    struct NameSlot
    {
        QString name;
        qint64 id = 0;
    };

    qint64 nameId(const QString &name);
    qint64 hashedNameId(const QString &name);
    bool writeLateRows();
    void flush();
    void writerLoop();
    bool writeBatch(const Batch &batch);
    bool execute(const char *sql);
    bool prepare(SqliteStatement *statement, const char *sql);
    /// Keeps SQLite's message as the error when done is false; returns done.
    bool check(bool done);
    /// Keeps reason as the error unless one is kept already.
    void fail(const QString &reason);

    sqlite3 *m_db;
    QHash<QString, qint64> m_names;
    std::array<NameSlot, 256> m_nameSlots;
    std::unique_ptr<Batch> m_batch;
    qint64 m_maxId = 0;
    qint64 m_frameCount = 0;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::unique_ptr<Batch>> m_queue;
    std::vector<std::unique_ptr<Batch>> m_spare;
    bool m_done = false;
    std::thread m_thread;

    // Owned by the writing thread.
    ElementImage m_image;
    RowSet m_lateRows; ///< rows the image refused, inserted after it
    std::vector<std::pair<qint64, qint64>> m_lateNumbers; ///< (id, sequence number)
    std::vector<TextRow> m_lateDescriptions;
    std::vector<std::pair<qint64, qint64>> m_lateLinks;
    RowSet m_updates;
    SqliteStatement m_name;
    SqliteStatement m_note;
    SqliteStatement m_stream;
    QString m_error;
};
