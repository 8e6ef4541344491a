#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

/// Builds SQLite B-tree pages directly, in the database file format, for tables and indexes
/// whose rows are all known to be in key order. The pages make up a database image together
/// with the pages SQLite wrote itself (see ElementImage); child pointers are absolute page
/// numbers, counted from a base given when the upper levels are built.
namespace BTreePages {

enum PageType : uint8_t {
    InteriorIndex = 2,
    InteriorTable = 5,
    LeafIndex = 10,
    LeafTable = 13,
};

/// SQLite's variable-length integer: 1 to 9 bytes, big-endian, seven bits a byte.
int putLongVarint(uint8_t *out, uint64_t value);
int longVarintLength(uint64_t value);

inline int varintLength(uint64_t value)
{
    return value <= 0x7f ? 1 : value <= 0x3fff ? 2 : longVarintLength(value);
}

inline int putVarint(uint8_t *out, uint64_t value)
{
    if (value <= 0x7f) {
        out[0] = uint8_t(value);
        return 1;
    }
    if (value <= 0x3fff) {
        out[0] = uint8_t(0x80 | (value >> 7));
        out[1] = uint8_t(value & 0x7f);
        return 2;
    }
    return putLongVarint(out, value);
}

/// The pages of one or more trees, in the order they were made, in one buffer that becomes
/// the database image: a number of pages reserved at its front for the pages SQLite writes
/// itself, then the trees' pages. The buffer grows by reallocation, which the C library does by
/// remapping rather than copying for buffers this large, and has no bound but memory (see
/// SqliteMemory); pages are reached by index, a pointer to a page being good only until the
/// next append().
class PageStore
{
public:
    PageStore(int pageSize, size_t reservedPages);
    ~PageStore();
    PageStore(const PageStore &) = delete;
    PageStore &operator=(const PageStore &) = delete;

    int pageSize() const { return m_pageSize; }
    size_t reservedPages() const { return m_reserved; }
    /// Pages appended after the reserved ones.
    size_t count() const { return m_count; }
    /// A new zero-filled page at the end; its index.
    uint32_t append();
    uint8_t *page(size_t index) { return m_failed ? m_scratch.data() : m_data + (m_reserved + index) * size_t(m_pageSize); }
    /// Whether the buffer could not grow; the pages written since went nowhere.
    bool failed() const { return m_failed; }
    /// Hands over the buffer, of at least bytes bytes, with frontPages pages in front of the
    /// appended ones: the reserved pages, or more when the appended pages are moved back to
    /// make room. It is to be freed with sqlite3_free. Null when it could not be had.
    uint8_t *release(size_t frontPages, size_t bytes);

private:
    bool reserve(size_t bytes);

    int m_pageSize;
    size_t m_reserved;
    size_t m_count = 0;
    uint8_t *m_data = nullptr;
    size_t m_capacity = 0;
    bool m_failed = false;
    std::vector<uint8_t> m_scratch;
};

/// One level of a tree under construction: its pages and, between each two neighbours, the
/// separator that the level above stores with the left one (for a table the left page's
/// highest rowid as a varint; for an index the entry that sits between the two pages).
struct Level
{
    std::vector<uint32_t> pages; ///< store indexes
    std::vector<std::string> separators;
};

/// A page being filled: the cell pointer array grows from the header, the cells from the end.
struct PageFill
{
    PageFill(uint8_t *bytes, PageType pageType, size_t pageSize)
        : page(bytes), type(pageType), contentStart(pageSize)
    {
    }

    size_t headerSize() const { return type == LeafIndex || type == LeafTable ? 8 : 12; }
    bool fits(size_t size) const { return headerSize() + 2 * size_t(cells + 1) + size <= contentStart; }
    /// Reserves a cell of size bytes after the others and returns where to write it.
    uint8_t *add(size_t size)
    {
        contentStart -= size;
        uint8_t *pointer = page + headerSize() + 2 * size_t(cells);
        pointer[0] = uint8_t(contentStart >> 8);
        pointer[1] = uint8_t(contentStart);
        ++cells;
        return page + contentStart;
    }
    /// Takes back the last cell added, of size bytes.
    void drop(size_t size)
    {
        --cells;
        contentStart += size;
    }
    /// Writes the page header; the right-most child of an interior page is written apart.
    void close();

    uint8_t *page;
    PageType type;
    int cells = 0;
    size_t contentStart;
};

/// Fills leaf pages with cells in key order. The caller decides where a page ends: it asks
/// whether a cell fits, closes the page when it does not, and records the separator.
class LeafWriter
{
public:
    LeafWriter(PageStore &store, PageType type);

    /// Largest cell that fits on a page without spilling to overflow pages.
    size_t maxLocalCell() const;
    /// Whether the cell fits on the open page; any cell up to maxLocalCell() fits a new one.
    bool fits(size_t size) const { return !m_open || m_fill.fits(size); }
    /// Appends a cell, opening a page first when none is open. The cell must fit.
    void add(const uint8_t *cell, size_t size);
    /// Takes back the last cell added to the open page.
    void dropLast(size_t size) { m_fill.drop(size); }
    void closePage();
    bool pageOpen() const { return m_open; }

    Level level;

private:
    PageStore &m_store;
    PageFill m_fill;
    bool m_open = false;
    uint32_t m_index = 0;
};

/// Builds the levels above a level of leaves until one page remains, and gives that page's
/// store index: the root, whose content the caller moves to the tree's root page. The pages
/// are numbered from firstPage, the page number of the store's first page after the reserved
/// ones. The level must have pages.
uint32_t buildUpperLevels(PageStore &store, Level leaves, PageType interiorType, uint32_t firstPage);

/// Writes one record of SQLite's record format: a header of serial types, then the values.
class RecordWriter
{
public:
    void null()
    {
        m_types[m_columns++] = 0;
        ++m_typeBytes;
    }
    /// Integers take the smallest of SQLite's sizes; 0 and 1 take no bytes at all.
    void integer(int64_t value)
    {
        const uint64_t magnitude = value < 0 ? ~uint64_t(value) : uint64_t(value);
        uint8_t type;
        if (uint64_t(value) <= 1)
            type = uint8_t(8 + value);
        else if (magnitude <= 0x7f)
            type = 1;
        else if (magnitude <= 0x7fff)
            type = 2;
        else if (magnitude <= 0x7fffff)
            type = 3;
        else if (magnitude <= 0x7fffffff)
            type = 4;
        else if (magnitude <= 0x7fffffffffffULL)
            type = 5;
        else
            type = 6;
        m_types[m_columns] = type;
        m_integers[m_columns++] = value;
        ++m_typeBytes;
        m_bodySize += integerBytes(type);
    }
    /// An empty text is stored as NULL.
    void text(const char *data, size_t size)
    {
        if (size == 0) {
            null();
            return;
        }
        const uint64_t type = 13 + 2 * uint64_t(size);
        m_types[m_columns] = type;
        m_texts[m_columns++] = data;
        m_typeBytes += size_t(varintLength(type));
        m_bodySize += size;
    }
    /// Size of the record once written.
    size_t size() const { return headerSize() + m_bodySize; }
    /// Writes the record to out (size() bytes).
    void write(uint8_t *out) const
    {
        const size_t headerBytes = headerSize();
        uint8_t *header = out + putVarint(out, headerBytes);
        uint8_t *body = out + headerBytes;
        for (int column = 0; column < m_columns; ++column) {
            const uint64_t type = m_types[column];
            header += putVarint(header, type);
            if (type >= 13) {
                const size_t size = size_t((type - 13) / 2);
                std::memcpy(body, m_texts[column], size);
                body += size;
            } else {
                const size_t bytes = integerBytes(type);
                const uint64_t value = uint64_t(m_integers[column]);
                for (size_t i = 0; i < bytes; ++i)
                    body[i] = uint8_t(value >> (8 * (bytes - 1 - i)));
                body += bytes;
            }
        }
    }

private:
    static size_t integerBytes(uint64_t type)
    {
        static constexpr uint8_t bytes[] = {0, 1, 2, 3, 4, 6, 8, 8, 0, 0};
        return bytes[type];
    }
    // The header's length counts the varint that holds it: one byte up to 127, else two (a
    // record has at most maxColumns serial types of at most nine bytes).
    size_t headerSize() const { return m_typeBytes < 127 ? m_typeBytes + 1 : m_typeBytes + 2; }

    static constexpr int maxColumns = 16;
    uint64_t m_types[maxColumns];
    int64_t m_integers[maxColumns];
    const char *m_texts[maxColumns];
    int m_columns = 0;
    size_t m_typeBytes = 0;
    size_t m_bodySize = 0;
};

} // namespace BTreePages
