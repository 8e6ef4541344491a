#include "element_database_writer.h"


#include <sqlite3.h>

#include <string>

namespace {

constexpr size_t batchRows = 8192;
constexpr size_t maxQueuedBatches = 8;

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
    // AUTOINCREMENT here makes SQLite create sqlite_sequence, where the element count is kept.
    "CREATE TABLE streams (id INTEGER PRIMARY KEY AUTOINCREMENT, width INTEGER, height INTEGER,"
    " codec_id INTEGER, format INTEGER, frame_rate REAL, config_offset INTEGER,"
    " config_size INTEGER)",
    "CREATE TABLE frames (stream INTEGER NOT NULL, frame INTEGER NOT NULL, offset INTEGER NOT NULL,"
    " size INTEGER NOT NULL, time INTEGER NOT NULL, time2 INTEGER NOT NULL,"
    " duration INTEGER NOT NULL, keyframe INTEGER NOT NULL)",
};

// An empty text is stored as NULL: it costs no bytes, and the viewer reads both as "".
void bindText(sqlite3_stmt *statement, int column, std::string_view text)
{
    if (text.empty())
        sqlite3_bind_null(statement, column);
    else
        sqlite3_bind_text64(statement, column, text.data(), text.size(), SQLITE_STATIC, SQLITE_UTF8);
}

} // namespace

void ElementDatabaseWriter::Batch::clear()
{
    rows.clear();
    updates.clear();
    names.clear();
    descriptions.clear();
    notes.clear();
    frames.clear();
    streams.clear();
}

bool ElementDatabaseWriter::Batch::empty() const
{
    return rows.empty() && updates.empty() && names.empty() && descriptions.empty() && notes.empty()
        && frames.empty() && streams.empty();
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

qint64 ElementDatabaseWriter::nameId(const QString &name)
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
    sqlite3_stmt *insert = prepare("INSERT INTO elements VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
    sqlite3_stmt *update = prepare("UPDATE elements SET last_child_id = ?, offset = ?, size = ?,"
                                   " raw_value = ?, hrf_value = ? WHERE id = ?");
    sqlite3_stmt *number = prepare("INSERT INTO elements_seq_num VALUES (?, ?)");
    // A later description of the same element replaces the earlier one.
    sqlite3_stmt *description = prepare("INSERT OR REPLACE INTO descriptions VALUES (?, ?)");
    bool written = insert && update && number && description;
    for (size_t i = 0; written && i < m_lateRows.size(); ++i) {
        const Row &row = m_lateRows.rows()[i];
        sqlite3_bind_int64(insert, 1, row.id);
        sqlite3_bind_int(insert, 2, row.level);
        sqlite3_bind_int64(insert, 3, row.parentId);
        sqlite3_bind_int64(insert, 4, row.lastChildId);
        sqlite3_bind_int64(insert, 5, row.nameId);
        sqlite3_bind_int64(insert, 6, row.offset);
        sqlite3_bind_int64(insert, 7, row.size);
        bindText(insert, 8, m_lateRows.text(row.value));
        bindText(insert, 9, m_lateRows.text(row.readable));
        written = step(insert);
    }
    for (size_t i = 0; written && i < m_lateNumbers.size(); ++i) {
        sqlite3_bind_int64(number, 1, m_lateNumbers[i].first);
        sqlite3_bind_int64(number, 2, m_lateNumbers[i].second);
        written = step(number);
    }
    for (size_t i = 0; written && i < m_lateDescriptions.size(); ++i) {
        const TextRow &row = m_lateDescriptions[i];
        sqlite3_bind_int64(description, 1, row.id);
        sqlite3_bind_text64(description, 2, row.text.constData(), sqlite3_uint64(row.text.size()), SQLITE_STATIC, SQLITE_UTF8);
        written = step(description);
    }
    // A group sent before it closed gets its final extent and value.
    for (size_t i = 0; written && i < m_updates.size(); ++i) {
        const Row &row = m_updates.rows()[i];
        sqlite3_bind_int64(update, 1, row.lastChildId);
        sqlite3_bind_int64(update, 2, row.offset);
        sqlite3_bind_int64(update, 3, row.size);
        bindText(update, 4, m_updates.text(row.value));
        bindText(update, 5, m_updates.text(row.readable));
        sqlite3_bind_int64(update, 6, row.id);
        written = step(update);
    }
    sqlite3_finalize(insert);
    sqlite3_finalize(update);
    sqlite3_finalize(number);
    sqlite3_finalize(description);
    return written;
}

bool ElementDatabaseWriter::execute(const char *sql)
{
    char *message = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &message) == SQLITE_OK)
        return true;
    if (m_error.isEmpty())
        m_error = QStringLiteral("element database: %1").arg(QString::fromUtf8(message));
    sqlite3_free(message);
    return false;
}

sqlite3_stmt *ElementDatabaseWriter::prepare(const char *sql)
{
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr) != SQLITE_OK
        && m_error.isEmpty())
        m_error = QStringLiteral("element database: %1").arg(QString::fromUtf8(sqlite3_errmsg(m_db)));
    return statement;
}

bool ElementDatabaseWriter::step(sqlite3_stmt *statement)
{
    const int result = sqlite3_step(statement);
    sqlite3_reset(statement);
    if (result == SQLITE_DONE)
        return true;
    if (m_error.isEmpty())
        m_error = QStringLiteral("element database: %1").arg(QString::fromUtf8(sqlite3_errmsg(m_db)));
    return false;
}

void ElementDatabaseWriter::writerLoop()
{
    execute("PRAGMA journal_mode = OFF");
    execute("PRAGMA synchronous = OFF");
    execute("BEGIN");
    m_name = prepare("INSERT INTO dictionary VALUES (?, ?)");
    m_note = prepare("INSERT INTO notes VALUES (?, ?)");
    m_stream = prepare("INSERT INTO streams VALUES (?, ?, ?, ?, ?, ?, ?, ?)");

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
    for (sqlite3_stmt *statement : {m_name, m_note, m_stream})
        sqlite3_finalize(statement);
}

bool ElementDatabaseWriter::writeBatch(const Batch &batch)
{
    if (!m_error.isEmpty())
        return false;
    for (const TextRow &name : batch.names) {
        sqlite3_bind_int64(m_name, 1, name.id);
        // A name may be empty (an element of unknown type) but never NULL.
        sqlite3_bind_text(m_name, 2, name.text.constData(), int(name.text.size()), SQLITE_STATIC);
        if (!step(m_name))
            return false;
    }

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
        if (!m_image.addDescription(description.id, std::string_view(description.text.constData(), size_t(description.text.size()))))
            m_lateDescriptions.push_back(description);
    }
    for (const TextRow &note : batch.notes) {
        sqlite3_bind_int64(m_note, 1, note.id);
        bindText(m_note, 2, std::string_view(note.text.constData(), size_t(note.text.size())));
        if (!step(m_note))
            return false;
    }
    for (size_t s = 0; s < batch.streams.size(); ++s) {
        const StreamRecord &stream = batch.streams[s];
        sqlite3_bind_int64(m_stream, 1, qint64(s));
        sqlite3_bind_int(m_stream, 2, stream.width);
        sqlite3_bind_int(m_stream, 3, stream.height);
        sqlite3_bind_int(m_stream, 4, stream.codecId);
        sqlite3_bind_int(m_stream, 5, stream.format);
        sqlite3_bind_double(m_stream, 6, stream.frameRate);
        sqlite3_bind_int64(m_stream, 7, qint64(stream.configOffset));
        sqlite3_bind_int64(m_stream, 8, qint64(stream.configSize));
        if (!step(m_stream))
            return false;
    }
    return true;
}
