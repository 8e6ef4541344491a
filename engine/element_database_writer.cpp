#include "element_database_writer.h"

#include "fault_hook.h"
#include "sqlite_statement.h"

#include <sqlite3.h>

#include <string>

namespace {

constexpr size_t batchRows = 8192;
constexpr size_t maxQueuedBatches = 8;
// What a call made to fail by a test reports.
const QString injectedFault = QStringLiteral("a call made to fail by a test");

const char *const schema[] = {
    "CREATE TABLE dictionary (id INTEGER PRIMARY KEY, name TEXT NOT NULL)",
    "CREATE TABLE elements (id INTEGER PRIMARY KEY, level INTEGER NOT NULL,"
    " parent_id INTEGER NOT NULL, last_child_id INTEGER NOT NULL, name_id INTEGER NOT NULL,"
    " offset INTEGER NOT NULL, size INTEGER NOT NULL, raw_value TEXT, hrf_value TEXT)",
    // Filled in bulk with the table's pages (see ElementImage), not row by row.
    "CREATE INDEX elements_parent_id ON elements (parent_id)",
    "CREATE TABLE elements_seq_num (id INTEGER PRIMARY KEY, seq_num INTEGER NOT NULL)",
    "CREATE TABLE open_elements (id INTEGER PRIMARY KEY REFERENCES elements(id))",
    "CREATE TABLE descriptions (id INTEGER PRIMARY KEY, description TEXT NOT NULL)",
    "CREATE TABLE notes (id INTEGER NOT NULL, note TEXT NOT NULL)",
    // The viewer asks of every row it shows whether it has notes.
    "CREATE INDEX notes_id ON notes (id)",
    // Elements whose value is the file offset of other bytes: the byte offset they point at.
    "CREATE TABLE links (id INTEGER PRIMARY KEY, target INTEGER NOT NULL)",
    // AUTOINCREMENT here makes SQLite create sqlite_sequence, where the element count is kept.
    "CREATE TABLE streams (id INTEGER PRIMARY KEY AUTOINCREMENT, width INTEGER, height INTEGER,"
    " codec_id INTEGER, format INTEGER, frame_rate REAL, config_offset INTEGER,"
    " config_size INTEGER, kind TEXT NOT NULL, codec TEXT, timescale INTEGER NOT NULL, channels INTEGER,"
    " sample_rate REAL)",
    "CREATE TABLE frames (stream INTEGER NOT NULL, frame INTEGER NOT NULL, offset INTEGER NOT NULL,"
    " size INTEGER NOT NULL, time INTEGER NOT NULL, time2 INTEGER NOT NULL,"
    " duration INTEGER NOT NULL, keyframe INTEGER NOT NULL)",
};

std::string_view view(const QByteArray &bytes)
{
    return std::string_view(bytes.constData(), size_t(bytes.size()));
}

} // namespace

void ElementDatabaseWriter::Batch::clear()
{
    rows.clear();
    updates.clear();
    names.clear();
    descriptions.clear();
    notes.clear();
    links.clear();
    frames.clear();
    streams.clear();
}

bool ElementDatabaseWriter::Batch::empty() const
{
    return rows.empty() && updates.empty() && names.empty() && descriptions.empty() && notes.empty()
        && links.empty() && frames.empty() && streams.empty();
}

bool ElementDatabaseWriter::createSchema(sqlite3 *db, QString *error)
{
    for (const char *sql : schema) {
        char *message = nullptr;
        if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
            *error = QStringLiteral("cannot create the element database: %1").arg(QString::fromUtf8(message));
            sqlite3_free(message);
            return false;
        }
    }
    return true;
}

bool ElementDatabaseWriter::isInMemory(sqlite3 *db)
{
    const char *file = sqlite3_db_filename(db, "main");
    return !file || !*file;
}

int ElementDatabaseWriter::pageSize(sqlite3 *db)
{
    sqlite3_stmt *statement = nullptr;
    int size = 4096;
    if (sqlite3_prepare_v2(db, "PRAGMA page_size", -1, &statement, nullptr) == SQLITE_OK
        && sqlite3_step(statement) == SQLITE_ROW)
        size = sqlite3_column_int(statement, 0);
    sqlite3_finalize(statement);
    return size;
}

// An in-memory database keeps room for SQLite's own pages at the front of the element pages,
// so that they need not be copied behind them; a file would keep those free pages for good.
ElementDatabaseWriter::ElementDatabaseWriter(sqlite3 *db)
    : m_db(db), m_batch(new Batch), m_image(pageSize(db), isInMemory(db) ? 256 : 0)
{
    m_thread = std::thread(&ElementDatabaseWriter::writerLoop, this);
}

ElementDatabaseWriter::~ElementDatabaseWriter()
{
    if (m_thread.joinable()) {
        QString ignored;
        finish(&ignored);
    }
}

// A file repeats a few dozen names millions of times. A slot picked by a cheap hash of the
// first characters answers most lookups with one comparison; the full hash runs only when the
// slot holds another name.
qint64 ElementDatabaseWriter::nameId(const QString &name)
{
    size_t hash = size_t(name.size());
    const QChar *text = name.constData();
    for (qsizetype i = 0, n = qMin<qsizetype>(name.size(), 8); i < n; ++i)
        hash = hash * 31 + text[i].unicode();
    NameSlot &slot = m_nameSlots[hash % m_nameSlots.size()];
    if (slot.id != 0 && slot.name == name)
        return slot.id;
    const qint64 id = hashedNameId(name);
    slot = {name, id};
    return id;
}

qint64 ElementDatabaseWriter::hashedNameId(const QString &name)
{
    auto found = m_names.constFind(name);
    if (found == m_names.constEnd()) {
        found = m_names.insert(name, m_names.size() + 1);
        m_batch->names.push_back({found.value(), name.toUtf8()});
    }
    return found.value();
}

void ElementDatabaseWriter::element(const ElementRecord &record)
{
    m_batch->rows.add(record, nameId(record.name));
    m_maxId = qMax(m_maxId, record.id);
    if (m_batch->rows.size() >= batchRows)
        flush();
}

void ElementDatabaseWriter::update(const ElementRecord &record)
{
    m_batch->updates.add(record, nameId(record.name));
}

void ElementDatabaseWriter::description(qint64 id, const QString &text)
{
    m_batch->descriptions.push_back({id, text.toUtf8()});
}

void ElementDatabaseWriter::note(qint64 id, const QString &text)
{
    m_batch->notes.push_back({id, text.toUtf8()});
}

void ElementDatabaseWriter::link(qint64 id, quint64 target)
{
    m_batch->links.push_back({id, qint64(target)});
}

void ElementDatabaseWriter::frame(const FrameRecord &record)
{
    m_batch->frames.push_back(record);
    ++m_frameCount;
    if (m_batch->frames.size() >= batchRows)
        flush();
}

void ElementDatabaseWriter::streams(const QList<StreamRecord> &records)
{
    m_batch->streams.assign(records.begin(), records.end());
}

void ElementDatabaseWriter::flush()
{
    if (m_batch->empty())
        return;
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return m_queue.size() < maxQueuedBatches; });
    m_queue.push_back(std::move(m_batch));
    // A batch the writing thread is done with comes back, its buffers kept.
    if (!m_spare.empty()) {
        m_batch = std::move(m_spare.back());
        m_spare.pop_back();
    }
    m_changed.notify_all();
    lock.unlock();
    if (!m_batch)
        m_batch.reset(new Batch);
}

bool ElementDatabaseWriter::finish(QString *error)
{
    flush();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_done = true;
    }
    m_changed.notify_all();
    m_thread.join();

    // The rows the pages could not take and the late updates go in through SQL, once the
    // pages are in place.
    if (m_error.isEmpty() && execute("COMMIT") && m_image.install(m_db, &m_error) && execute("BEGIN")) {
        const std::string count = "INSERT INTO sqlite_sequence (name, seq) VALUES ('elements', "
            + std::to_string(m_maxId) + ")";
        if (writeLateRows() && execute(count.c_str()))
            execute("COMMIT");
    }
    if (!m_error.isEmpty())
        execute("ROLLBACK");
    *error = m_error;
    return m_error.isEmpty();
}

bool ElementDatabaseWriter::writeLateRows()
{
    SqliteStatement insert, update, number, description, link;
    bool written = prepare(&insert, "INSERT INTO elements VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)")
        && prepare(&update, "UPDATE elements SET last_child_id = ?, offset = ?, size = ?,"
                            " raw_value = ?, hrf_value = ? WHERE id = ?")
        && prepare(&number, "INSERT INTO elements_seq_num VALUES (?, ?)")
        // A later description of the same element replaces the earlier one.
        && prepare(&description, "INSERT OR REPLACE INTO descriptions VALUES (?, ?)")
        && prepare(&link, "INSERT OR REPLACE INTO links VALUES (?, ?)");
    for (size_t i = 0; written && i < m_lateRows.size(); ++i) {
        const Row &row = m_lateRows.rows()[i];
        written = check(insert.run(row.id, row.level, row.parentId, row.lastChildId, row.nameId, row.offset,
                                   row.size, m_lateRows.text(row.value), m_lateRows.text(row.readable)));
    }
    for (size_t i = 0; written && i < m_lateNumbers.size(); ++i)
        written = check(number.run(m_lateNumbers[i].first, m_lateNumbers[i].second));
    for (size_t i = 0; written && i < m_lateDescriptions.size(); ++i)
        written = check(description.run(m_lateDescriptions[i].id, SqliteText{view(m_lateDescriptions[i].text)}));
    for (size_t i = 0; written && i < m_lateLinks.size(); ++i)
        written = check(link.run(m_lateLinks[i].first, m_lateLinks[i].second));
    // A group sent before it closed gets its final extent and value.
    for (size_t i = 0; written && i < m_updates.size(); ++i) {
        const Row &row = m_updates.rows()[i];
        written = check(update.run(row.lastChildId, row.offset, row.size, m_updates.text(row.value),
                                   m_updates.text(row.readable), row.id));
    }
    return written;
}

bool ElementDatabaseWriter::execute(const char *sql)
{
    char *message = nullptr;
    const bool done = sqlite3_exec(m_db, sql, nullptr, nullptr, &message) == SQLITE_OK;
    if (!done || faultInjected(FaultSite::SqliteCall)) {
        fail(done ? injectedFault : QString::fromUtf8(message));
        sqlite3_free(message);
        return false;
    }
    return true;
}

bool ElementDatabaseWriter::prepare(SqliteStatement *statement, const char *sql)
{
    return check(statement->prepare(m_db, sql));
}

bool ElementDatabaseWriter::check(bool done)
{
    if (!done)
        fail(QString::fromUtf8(sqlite3_errmsg(m_db)));
    else if (faultInjected(FaultSite::SqliteCall))
        fail(injectedFault);
    else
        return true;
    return false;
}

void ElementDatabaseWriter::fail(const QString &reason)
{
    if (m_error.isEmpty())
        m_error = QStringLiteral("element database: %1").arg(reason);
}

void ElementDatabaseWriter::writerLoop()
{
    execute("PRAGMA journal_mode = OFF");
    execute("PRAGMA synchronous = OFF");
    execute("BEGIN");
    prepare(&m_name, "INSERT INTO dictionary VALUES (?, ?)");
    prepare(&m_note, "INSERT INTO notes VALUES (?, ?)");
    prepare(&m_stream, "INSERT INTO streams VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");

    for (;;) {
        std::unique_ptr<Batch> batch;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_changed.wait(lock, [this] { return m_done || !m_queue.empty(); });
            if (m_queue.empty())
                break;
            batch = std::move(m_queue.front());
            m_queue.pop_front();
        }
        m_changed.notify_all();
        // After a failure the rest is drained unwritten, so the parser never blocks.
        if (m_error.isEmpty())
            writeBatch(*batch);
        batch->clear();
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_spare.size() < maxQueuedBatches)
            m_spare.push_back(std::move(batch));
    }
}

bool ElementDatabaseWriter::writeBatch(const Batch &batch)
{
    if (!m_error.isEmpty())
        return false;
    // A name may be empty (an element of unknown type) but never NULL.
    for (const TextRow &name : batch.names)
        if (!check(m_name.run(name.id, SqliteText{view(name.text)})))
            return false;

    for (const Row &row : batch.rows.rows()) {
        if (!m_image.addElement(row, batch.rows.text(row.value), batch.rows.text(row.readable)))
            m_lateRows.add(batch.rows, row);
        if (row.index != -1 && !m_image.addSequenceNumber(row.id, row.index))
            m_lateNumbers.push_back({row.id, row.index});
    }
    for (const Row &row : batch.updates.rows())
        m_updates.add(batch.updates, row);
    for (const FrameRecord &frame : batch.frames)
        m_image.addFrame(frame);

    for (const TextRow &description : batch.descriptions) {
        if (!m_image.addDescription(description.id, view(description.text)))
            m_lateDescriptions.push_back(description);
    }
    for (const auto &link : batch.links) {
        if (!m_image.addLink(link.first, link.second))
            m_lateLinks.push_back(link);
    }
    for (const TextRow &note : batch.notes)
        if (!check(m_note.run(note.id, SqliteText{view(note.text)})))
            return false;
    for (size_t s = 0; s < batch.streams.size(); ++s) {
        const StreamRecord &stream = batch.streams[s];
        if (!check(m_stream.run(qint64(s), stream.width, stream.height, stream.codecId, stream.format,
                                stream.frameRate, qint64(stream.configOffset), qint64(stream.configSize),
                                SqliteText{view(StreamRecord::kindName(stream.kind).toUtf8())},
                                stream.codec.toUtf8(), qint64(stream.timescale), stream.channels,
                                stream.sampleRate)))
            return false;
    }
    return true;
}
