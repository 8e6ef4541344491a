#include "element_image.h"

#include "element_sink.h"

#include <sqlite3.h>

#include <cstring>
#include <limits>
#include <string>

using namespace BTreePages;

namespace {

constexpr uint32_t noParent = std::numeric_limits<uint32_t>::max();
// Room left at the end of the image for what is written after it: the rows that went through
// SQL, the updates, and the elements the viewer opens.
constexpr size_t spareBytes = 1 << 20;
constexpr qint64 maxGap = 1 << 16;

int rootPage(sqlite3 *db, const char *name)
{
    sqlite3_stmt *statement = nullptr;
    int page = 0;
    if (sqlite3_prepare_v2(db, "SELECT rootpage FROM sqlite_schema WHERE name = ?", -1, &statement, nullptr) == SQLITE_OK) {
        sqlite3_bind_text(statement, 1, name, -1, SQLITE_STATIC);
        if (sqlite3_step(statement) == SQLITE_ROW)
            page = sqlite3_column_int(statement, 0);
    }
    sqlite3_finalize(statement);
    return page;
}

void put32(uint8_t *out, uint32_t value)
{
    out[0] = uint8_t(value >> 24);
    out[1] = uint8_t(value >> 16);
    out[2] = uint8_t(value >> 8);
    out[3] = uint8_t(value);
}

uint32_t get32(const uint8_t *in)
{
    return uint32_t(in[0]) << 24 | uint32_t(in[1]) << 16 | uint32_t(in[2]) << 8 | uint32_t(in[3]);
}

// A whole index cell for (parent, id): payload length, then the record. It never needs more
// than one byte for the length.
size_t indexCell(uint32_t parent, uint32_t id, uint8_t *out)
{
    RecordWriter record;
    record.integer(parent);
    record.integer(id);
    out[0] = uint8_t(record.size());
    record.write(out + 1);
    return 1 + record.size();
}

// Hands image (capacity bytes, size used) to db's main database: directly for an in-memory
// database, through a backup for a database file.
bool attach(sqlite3 *db, uint8_t *image, sqlite3_int64 size, sqlite3_int64 capacity, QString *error)
{
    const unsigned flags = SQLITE_DESERIALIZE_FREEONCLOSE | SQLITE_DESERIALIZE_RESIZEABLE;
    const char *file = sqlite3_db_filename(db, "main");
    const bool inMemory = !file || !*file;
    sqlite3 *target = db;
    if (!inMemory && sqlite3_open(":memory:", &target) != SQLITE_OK) {
        sqlite3_close(target);
        sqlite3_free(image);
        *error = QStringLiteral("element database: cannot open a staging database");
        return false;
    }
    if (sqlite3_deserialize(target, "main", image, size, capacity, flags) != SQLITE_OK) {
        *error = QStringLiteral("element database: SQLite refused the element pages: %1")
                     .arg(QString::fromUtf8(sqlite3_errmsg(target)));
        if (!inMemory)
            sqlite3_close(target);
        return false;
    }
    // The in-memory database may grow past its default limit of 1 GiB by what follows.
    sqlite3_int64 limit = capacity + (sqlite3_int64(1) << 30);
    sqlite3_file_control(target, "main", SQLITE_FCNTL_SIZE_LIMIT, &limit);
    if (inMemory)
        return true;

    sqlite3_backup *backup = sqlite3_backup_init(db, "main", target, "main");
    const bool copied = backup && sqlite3_backup_step(backup, -1) == SQLITE_DONE;
    sqlite3_backup_finish(backup);
    if (!copied)
        *error = QStringLiteral("element database: cannot write the database file: %1")
                     .arg(QString::fromUtf8(sqlite3_errmsg(db)));
    sqlite3_close(target);
    return copied;
}

} // namespace

TableImage::TableImage(int pageSize) : m_store(pageSize), m_leaves(m_store, LeafTable) {}

bool TableImage::add(qint64 rowid, const RecordWriter &record)
{
    const size_t payload = record.size();
    const size_t cell = size_t(varintLength(payload) + varintLength(uint64_t(rowid))) + payload;
    if (rowid <= m_lastRowid || cell > m_leaves.maxLocalCell())
        return false;
    m_cell.resize(cell);
    uint8_t *out = m_cell.data();
    out += putVarint(out, payload);
    out += putVarint(out, uint64_t(rowid));
    record.write(out);
    if (!m_leaves.fits(cell)) {
        m_leaves.closePage();
        std::string separator(9, '\0');
        separator.resize(size_t(putVarint(reinterpret_cast<uint8_t *>(separator.data()), uint64_t(m_lastRowid))));
        m_leaves.level.separators.push_back(std::move(separator));
    }
    m_leaves.add(m_cell.data(), cell);
    m_lastRowid = rowid;
    return true;
}

void TableImage::finish(uint32_t firstPage, uint8_t *root)
{
    m_leaves.closePage();
    buildUpperLevels(m_store, std::move(m_leaves.level), InteriorTable, firstPage, root);
}

ElementImage::ElementImage(int pageSize)
    : m_pageSize(pageSize), m_elements(pageSize), m_sequenceNumbers(pageSize), m_frames(pageSize),
      m_index(pageSize)
{
}

bool ElementImage::addElement(const ElementRow &row, std::string_view value, std::string_view readable)
{
    // A row before the last one goes through SQL; so does one far ahead, whose gap would
    // have to be held here.
    if (row.id < m_nextId || row.id - m_nextId > maxGap || row.id >= qint64(noParent))
        return false;
    m_parents.resize(size_t(row.id - 1), noParent);
    m_nextId = row.id + 1;

    RecordWriter record;
    record.null(); // the id is the rowid
    record.integer(row.level);
    record.integer(row.parentId);
    record.integer(row.lastChildId);
    record.integer(row.nameId);
    record.integer(row.offset);
    record.integer(row.size);
    record.text(value.data(), value.size());
    record.text(readable.data(), readable.size());
    const bool added = row.parentId >= 0 && row.parentId < row.id && m_elements.add(row.id, record);
    m_parents.push_back(added ? uint32_t(row.parentId) : noParent);
    return added;
}

bool ElementImage::addSequenceNumber(qint64 id, qint64 number)
{
    RecordWriter record;
    record.null(); // the id is the rowid
    record.integer(number);
    return m_sequenceNumbers.add(id, record);
}

void ElementImage::addFrame(const FrameRecord &frame)
{
    RecordWriter record;
    record.integer(frame.stream);
    record.integer(qint64(frame.number));
    record.integer(qint64(frame.offset));
    record.integer(qint64(frame.size));
    record.integer(frame.time);
    record.integer(frame.time2);
    record.integer(frame.duration);
    record.integer(frame.keyFrame ? 1 : 0);
    // Frames have no id of their own: their rowids are 1, 2, 3 ... and their records small.
    m_frames.add(++m_frameCount, record);
}

void ElementImage::buildIndex(uint32_t firstPage, uint8_t *root)
{
    // The index is ordered by parent, then id. A counting sort by parent keeps the children of
    // each parent in id order, in two passes.
    const size_t count = m_parents.size();
    std::vector<uint32_t> order;
    {
        std::vector<uint32_t> start(count + 1, 0);
        for (uint32_t parent : m_parents) {
            if (parent != noParent)
                ++start[parent + 1];
        }
        for (size_t i = 1; i <= count; ++i)
            start[i] += start[i - 1];
        order.resize(start[count]);
        for (size_t i = 0; i < count; ++i) {
            if (m_parents[i] != noParent)
                order[start[m_parents[i]]++] = uint32_t(i + 1);
        }
    }

    // Between two leaves one entry goes up into the level above. When only one entry would be
    // left for the last leaf, the full leaf gives up its last entry for that place instead.
    LeafWriter leaves(m_index, LeafIndex);
    uint8_t cell[32];
    uint8_t previous[32];
    const size_t entries = order.size();
    auto cellOf = [this, &order](size_t k, uint8_t *out) { return indexCell(m_parents[order[k] - 1], order[k], out); };
    for (size_t k = 0; k < entries; ++k) {
        const size_t size = cellOf(k, cell);
        if (leaves.fits(size)) {
            leaves.add(cell, size);
            continue;
        }
        if (entries - k == 1) {
            const size_t previousSize = cellOf(k - 1, previous);
            leaves.dropLast(previousSize);
            leaves.closePage();
            leaves.level.separators.emplace_back(reinterpret_cast<const char *>(previous), previousSize);
            leaves.add(cell, size);
        } else {
            leaves.closePage();
            leaves.level.separators.emplace_back(reinterpret_cast<const char *>(cell), size);
        }
    }
    leaves.closePage();
    order = {};
    m_parents = {};
    buildUpperLevels(m_index, std::move(leaves.level), InteriorIndex, firstPage, root);
}

bool ElementImage::install(sqlite3 *db, QString *error)
{
    struct Tree
    {
        const char *name;
        PageStore *pages;
        std::vector<uint8_t> root;
        int rootPage = 0;
    };
    Tree trees[] = {{"elements", &m_elements.pages(), {}},
                    {"elements_seq_num", &m_sequenceNumbers.pages(), {}},
                    {"frames", &m_frames.pages(), {}},
                    {"elements_parent_id", &m_index, {}}};
    for (Tree &tree : trees)
        tree.rootPage = rootPage(db, tree.name);
    sqlite3_int64 ownSize = 0;
    uint8_t *own = sqlite3_serialize(db, "main", &ownSize, 0);
    const size_t pageSize = size_t(m_pageSize);
    // The image holds no pages for reserved bytes; the database has none either.
    bool readable = own && ownSize >= sqlite3_int64(pageSize) && ownSize % sqlite3_int64(pageSize) == 0 && own[20] == 0;
    for (const Tree &tree : trees)
        readable = readable && tree.rootPage >= 2;
    if (!readable) {
        sqlite3_free(own);
        *error = QStringLiteral("element database: cannot read back the database to add the element pages");
        return false;
    }

    // Each tree's pages follow the previous tree's; a tree without rows keeps SQLite's empty root.
    uint32_t firstPage = uint32_t(size_t(ownSize) / pageSize) + 1;
    TableImage *tables[] = {&m_elements, &m_sequenceNumbers, &m_frames};
    for (size_t t = 0; t < 3; ++t) {
        if (tables[t]->empty())
            continue;
        trees[t].root.resize(pageSize);
        tables[t]->finish(firstPage, trees[t].root.data());
        firstPage += uint32_t(tables[t]->pages().count());
    }
    if (!trees[0].root.empty()) {
        trees[3].root.resize(pageSize);
        buildIndex(firstPage, trees[3].root.data());
        firstPage += uint32_t(m_index.count());
    }
    if (trees[0].root.empty() && trees[1].root.empty() && trees[2].root.empty()) {
        sqlite3_free(own);
        return true;
    }

    const size_t pages = firstPage - 1;
    const sqlite3_int64 size = sqlite3_int64(pages * pageSize);
    const sqlite3_int64 capacity = size + sqlite3_int64(spareBytes);
    auto *image = static_cast<uint8_t *>(sqlite3_malloc64(sqlite3_uint64(capacity)));
    if (!image) {
        sqlite3_free(own);
        *error = QStringLiteral("element database: out of memory for %1 pages").arg(pages);
        return false;
    }
    std::memcpy(image, own, size_t(ownSize));
    sqlite3_free(own);
    uint8_t *out = image + size_t(ownSize);
    for (Tree &tree : trees) {
        const size_t bytes = tree.pages->count() * pageSize;
        tree.pages->drainInto(out);
        out += bytes;
        if (!tree.root.empty())
            std::memcpy(image + size_t(tree.rootPage - 1) * pageSize, tree.root.data(), pageSize);
    }
    // The page count in the header is trusted only while the version-valid-for number equals
    // the change counter.
    put32(image + 28, uint32_t(pages));
    put32(image + 92, get32(image + 24));
    return attach(db, image, size, capacity, error);
}
