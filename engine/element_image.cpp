#include "element_image.h"

#include "element_sink.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <limits>
#include <string>

using namespace BTreePages;

namespace {

constexpr uint32_t noParent = std::numeric_limits<uint32_t>::max();
// Room left at the end of the image for what is written after it: the rows that went through
// SQL, the updates, and the elements the viewer opens. SQLite grows the image by reallocation
// only up to its limit of 2 GiB, so a larger image gets room in proportion; room never
// written to takes address space, not memory.
size_t spareBytes(size_t imageBytes)
{
    return (size_t(1) << 20) + (imageBytes > (size_t(1) << 30) ? imageBytes / 16 : 0);
}
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

// Chains the pages free (ascending page numbers) into the image's free list, in front of
// what SQLite's own pages had there: each trunk page lists up to usable / 4 - 8 free pages.
void addFreePages(uint8_t *image, size_t pageSize, const std::vector<uint32_t> &free)
{
    if (free.empty())
        return;
    const size_t perTrunk = pageSize / 4 - 8;
    const uint32_t oldFirst = get32(image + 32);
    for (uint32_t page : free)
        std::memset(image + size_t(page - 1) * pageSize, 0, pageSize);
    size_t i = 0;
    while (i < free.size()) {
        uint8_t *trunk = image + size_t(free[i] - 1) * pageSize;
        const size_t leaves = std::min(perTrunk, free.size() - i - 1);
        for (size_t l = 0; l < leaves; ++l)
            put32(trunk + 8 + 4 * l, free[i + 1 + l]);
        put32(trunk + 4, uint32_t(leaves));
        i += 1 + leaves;
        put32(trunk, i < free.size() ? free[i] : oldFirst);
    }
    put32(image + 32, free.front());
    put32(image + 36, get32(image + 36) + uint32_t(free.size()));
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

TableImage::TableImage(PageStore &store) : m_store(store), m_leaves(store, LeafTable) {}

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

uint32_t TableImage::finish(uint32_t firstPage)
{
    m_leaves.closePage();
    return buildUpperLevels(m_store, std::move(m_leaves.level), InteriorTable, firstPage);
}

ElementImage::ElementImage(int pageSize, size_t reservedPages)
    : m_store(pageSize, reservedPages), m_elements(m_store), m_sequenceNumbers(m_store),
      m_descriptions(m_store), m_links(m_store), m_frames(m_store)
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

bool ElementImage::addDescription(qint64 id, std::string_view text)
{
    RecordWriter record;
    record.null(); // the id is the rowid
    record.text(text.data(), text.size());
    return !text.empty() && m_descriptions.add(id, record);
}

bool ElementImage::addLink(qint64 id, qint64 target)
{
    RecordWriter record;
    record.null(); // the id is the rowid
    record.integer(target);
    return m_links.add(id, record);
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

uint32_t ElementImage::buildIndex(uint32_t firstPage)
{
    // The index is ordered by parent, then id. A counting sort by parent keeps the children of
    // each parent in id order; afterwards the children of parent p are order[end[p - 1]] up to
    // order[end[p]].
    const size_t count = m_parents.size();
    std::vector<uint32_t> order;
    std::vector<uint32_t> end(count + 1, 0);
    for (uint32_t parent : m_parents) {
        if (parent != noParent)
            ++end[parent + 1];
    }
    for (size_t i = 1; i <= count; ++i)
        end[i] += end[i - 1];
    order.resize(end[count]);
    for (size_t i = 0; i < count; ++i) {
        if (m_parents[i] != noParent)
            order[end[m_parents[i]]++] = uint32_t(i + 1);
    }
    m_parents = {};

    // Between two leaves one entry goes up into the level above. When only one entry would be
    // left for the last leaf, the full leaf gives up its last entry for that place instead.
    LeafWriter leaves(m_store, LeafIndex);
    uint8_t cell[32];
    uint8_t previous[32];
    size_t previousSize = 0;
    const size_t entries = order.size();
    size_t k = 0;
    for (size_t parent = 0; parent < count; ++parent) {
        for (; k < end[parent]; ++k) {
            const size_t size = indexCell(uint32_t(parent), order[k], cell);
            if (leaves.fits(size)) {
                leaves.add(cell, size);
            } else if (entries - k == 1) {
                leaves.dropLast(previousSize);
                leaves.closePage();
                leaves.level.separators.emplace_back(reinterpret_cast<const char *>(previous), previousSize);
                leaves.add(cell, size);
            } else {
                leaves.closePage();
                leaves.level.separators.emplace_back(reinterpret_cast<const char *>(cell), size);
            }
            std::memcpy(previous, cell, size);
            previousSize = size;
        }
    }
    leaves.closePage();
    return buildUpperLevels(m_store, std::move(leaves.level), InteriorIndex, firstPage);
}

bool ElementImage::install(sqlite3 *db, QString *error)
{
    struct Tree
    {
        const char *name;
        TableImage *table;
        int rootPage = 0;
        bool built = false;
        uint32_t rootIndex = 0;
    };
    Tree trees[] = {{"elements", &m_elements}, {"elements_seq_num", &m_sequenceNumbers},
                    {"descriptions", &m_descriptions}, {"links", &m_links}, {"frames", &m_frames},
                    {"elements_parent_id", nullptr}};
    bool readable = true;
    bool outOfMemory = false;
    for (Tree &tree : trees) {
        tree.rootPage = rootPage(db, tree.name);
        readable = readable && tree.rootPage >= 2;
        outOfMemory = outOfMemory || (tree.rootPage < 2 && sqlite3_errcode(db) == SQLITE_NOMEM);
    }
    sqlite3_int64 ownSize = 0;
    uint8_t *own = sqlite3_serialize(db, "main", &ownSize, 0);
    const size_t pageSize = size_t(m_store.pageSize());
    // The image has no room for reserved bytes at the end of each page; the database has none.
    readable = readable && own && ownSize >= sqlite3_int64(pageSize) && ownSize % sqlite3_int64(pageSize) == 0
        && own[20] == 0;
    if (!readable || m_store.failed()) {
        *error = !own || outOfMemory ? QStringLiteral("element database: out of memory to read back the database")
            : readable ? QStringLiteral("element database: out of memory for the element pages")
                       : QStringLiteral("element database: cannot read back the database to add the element pages");
        sqlite3_free(own);
        return false;
    }
    if (m_elements.empty() && m_sequenceNumbers.empty() && m_descriptions.empty() && m_links.empty()
        && m_frames.empty()) {
        sqlite3_free(own);
        return true;
    }

    // SQLite's pages go into the reserved pages, or in front of the image when they need more.
    const size_t ownPages = size_t(ownSize) / pageSize;
    const size_t front = std::max(ownPages, m_store.reservedPages());
    const uint32_t firstPage = uint32_t(front) + 1;
    for (Tree &tree : trees) {
        if (tree.table && !tree.table->empty()) {
            tree.rootIndex = tree.table->finish(firstPage);
            tree.built = true;
        }
    }
    // The parent index comes last in trees, after the table it indexes.
    if (trees[0].built) {
        Tree &parentIndex = trees[std::size(trees) - 1];
        parentIndex.rootIndex = buildIndex(firstPage);
        parentIndex.built = true;
    }
    if (m_store.failed()) {
        sqlite3_free(own);
        *error = QStringLiteral("element database: out of memory for the element pages");
        return false;
    }

    const size_t pages = front + m_store.count();
    const sqlite3_int64 size = sqlite3_int64(pages * pageSize);
    const sqlite3_int64 capacity = size + sqlite3_int64(spareBytes(size_t(size)));
    uint8_t *image = m_store.release(front, size_t(capacity));
    if (!image) {
        sqlite3_free(own);
        *error = QStringLiteral("element database: out of memory for %1 pages").arg(pages);
        return false;
    }
    std::memcpy(image, own, size_t(ownSize));
    sqlite3_free(own);

    // Each root moves to the page SQLite gave its tree; the pages left over become free pages.
    std::vector<uint32_t> free;
    for (uint32_t page = uint32_t(ownPages) + 1; page <= front; ++page)
        free.push_back(page);
    for (const Tree &tree : trees) {
        if (!tree.built)
            continue;
        const uint32_t built = firstPage + tree.rootIndex;
        std::memcpy(image + size_t(tree.rootPage - 1) * pageSize, image + size_t(built - 1) * pageSize, pageSize);
        free.push_back(built);
    }
    std::sort(free.begin(), free.end());
    addFreePages(image, pageSize, free);
    // The page count in the header is trusted only while the version-valid-for number equals
    // the change counter.
    put32(image + 28, uint32_t(pages));
    put32(image + 92, get32(image + 24));
    return attach(db, image, size, capacity, error);
}
