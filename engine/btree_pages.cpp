#include "btree_pages.h"

#include <cstring>

namespace BTreePages {

namespace {

void put16(uint8_t *out, size_t value)
{
    out[0] = uint8_t(value >> 8);
    out[1] = uint8_t(value);
}

void put32(uint8_t *out, uint32_t value)
{
    out[0] = uint8_t(value >> 24);
    out[1] = uint8_t(value >> 16);
    out[2] = uint8_t(value >> 8);
    out[3] = uint8_t(value);
}

bool isLeaf(PageType type)
{
    return type == LeafIndex || type == LeafTable;
}

size_t headerSize(PageType type)
{
    return isLeaf(type) ? 8 : 12;
}

} // namespace

int varintLength(uint64_t value)
{
    int length = 1;
    while (length < 9 && (length == 8 ? value >> 56 : value >> (7 * length)) != 0)
        ++length;
    return length;
}

int putVarint(uint8_t *out, uint64_t value)
{
    if (value <= 0x7f) {
        out[0] = uint8_t(value);
        return 1;
    }
    const int length = varintLength(value);
    int i = length - 1;
    if (length == 9) {
        out[8] = uint8_t(value);
        value >>= 8;
        --i;
    } else {
        out[i--] = uint8_t(value & 0x7f);
        value >>= 7;
    }
    for (; i >= 0; --i) {
        out[i] = uint8_t((value & 0x7f) | 0x80);
        value >>= 7;
    }
    return length;
}

PageStore::PageStore(int pageSize) : m_pageSize(pageSize) {}

uint8_t *PageStore::append()
{
    if (m_count == m_chunks.size() * pagesPerChunk)
        m_chunks.emplace_back(new uint8_t[pagesPerChunk * size_t(m_pageSize)]);
    uint8_t *bytes = page(m_count++);
    std::memset(bytes, 0, size_t(m_pageSize));
    return bytes;
}

uint8_t *PageStore::page(size_t index)
{
    return m_chunks[index / pagesPerChunk].get() + (index % pagesPerChunk) * size_t(m_pageSize);
}

void PageStore::takeLast(uint8_t *out)
{
    std::memcpy(out, page(m_count - 1), size_t(m_pageSize));
    --m_count;
}

void PageStore::drainInto(uint8_t *out)
{
    const size_t chunkBytes = pagesPerChunk * size_t(m_pageSize);
    for (size_t chunk = 0; chunk < m_chunks.size(); ++chunk) {
        const size_t pages = std::min(pagesPerChunk, m_count - chunk * pagesPerChunk);
        std::memcpy(out + chunk * chunkBytes, m_chunks[chunk].get(), pages * size_t(m_pageSize));
        m_chunks[chunk].reset();
    }
    m_chunks.clear();
    m_count = 0;
}

PageFill::PageFill(uint8_t *bytes, PageType pageType, size_t pageSize)
    : page(bytes), type(pageType), contentStart(pageSize)
{
}

bool PageFill::fits(size_t size) const
{
    return headerSize(type) + 2 * size_t(cells + 1) + size <= contentStart;
}

uint8_t *PageFill::add(size_t size)
{
    contentStart -= size;
    put16(page + headerSize(type) + 2 * size_t(cells), contentStart);
    ++cells;
    return page + contentStart;
}

void PageFill::drop(size_t size)
{
    --cells;
    contentStart += size;
}

void PageFill::close()
{
    page[0] = type;
    put16(page + 3, size_t(cells));
    put16(page + 5, contentStart & 0xffff); // a content start of 65536 is written as 0
}

LeafWriter::LeafWriter(PageStore &store, PageType type)
    : m_store(store), m_fill(nullptr, type, size_t(store.pageSize()))
{
}

size_t LeafWriter::maxLocalCell() const
{
    // SQLite keeps a table leaf payload of up to usable size - 35 bytes, and an index payload
    // of up to (usable size - 12) * 64 / 255 - 23 bytes, on the page; the cell adds the
    // varints in front of the payload, at least two bytes of them for payloads that large.
    const size_t usable = size_t(m_store.pageSize());
    return m_fill.type == LeafTable ? usable - 35 + 2 : (usable - 12) * 64 / 255 - 23 + 2;
}

void LeafWriter::add(const uint8_t *cell, size_t size)
{
    if (!m_open) {
        m_index = uint32_t(m_store.count());
        m_fill = PageFill(m_store.append(), m_fill.type, size_t(m_store.pageSize()));
        m_open = true;
    }
    std::memcpy(m_fill.add(size), cell, size);
}

void LeafWriter::closePage()
{
    if (!m_open)
        return;
    m_fill.close();
    level.pages.push_back(m_index);
    m_open = false;
}

bool buildUpperLevels(PageStore &store, Level level, PageType interiorType, uint32_t firstPage, uint8_t *root)
{
    const size_t pageSize = size_t(store.pageSize());
    if (level.pages.empty())
        return false;
    if (level.pages.size() == 1) {
        store.takeLast(root);
        return true;
    }
    for (;;) {
        Level above;
        const size_t children = level.pages.size();
        size_t i = 0;
        while (i < children) {
            const uint32_t index = uint32_t(store.count());
            PageFill fill{store.append(), interiorType, pageSize};
            // Cells of (child, separator) while they fit; the child that does not fit becomes
            // the page's right-most child and its separator goes up. A page never ends up with
            // a right-most child alone: when one child would be left over, this page gives its
            // last cell to the next one.
            for (;;) {
                const uint32_t child = firstPage + level.pages[i];
                if (i + 1 == children) {
                    put32(fill.page + 8, child);
                    ++i;
                    break;
                }
                const std::string &separator = level.separators[i];
                const size_t cell = 4 + separator.size();
                if (fill.fits(cell)) {
                    uint8_t *out = fill.add(cell);
                    put32(out, child);
                    std::memcpy(out + 4, separator.data(), separator.size());
                    ++i;
                    continue;
                }
                if (children - (i + 1) == 1 && fill.cells > 1) {
                    --i;
                    fill.drop(4 + level.separators[i].size());
                }
                put32(fill.page + 8, firstPage + level.pages[i]);
                above.separators.push_back(level.separators[i]);
                ++i;
                break;
            }
            fill.close();
            above.pages.push_back(index);
        }
        if (above.pages.size() == 1) {
            store.takeLast(root);
            return true;
        }
        level = std::move(above);
    }
}

// Integers take the smallest of SQLite's sizes; 0 and 1 take no bytes at all.
void RecordWriter::integer(int64_t value)
{
    const uint64_t magnitude = value < 0 ? ~uint64_t(value) : uint64_t(value);
    uint64_t type;
    size_t bytes;
    if (value == 0 || value == 1) {
        type = 8 + uint64_t(value);
        bytes = 0;
    } else if (magnitude <= 0x7f) {
        type = 1, bytes = 1;
    } else if (magnitude <= 0x7fff) {
        type = 2, bytes = 2;
    } else if (magnitude <= 0x7fffff) {
        type = 3, bytes = 3;
    } else if (magnitude <= 0x7fffffff) {
        type = 4, bytes = 4;
    } else if (magnitude <= 0x7fffffffffffULL) {
        type = 5, bytes = 6;
    } else {
        type = 6, bytes = 8;
    }
    m_types[m_columns] = type;
    m_integers[m_columns++] = value;
    m_typeBytes += size_t(varintLength(type));
    m_bodySize += bytes;
}

void RecordWriter::text(const char *data, size_t size)
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

// The header's length counts the varint that holds it: one byte up to 127, else two (a
// record has at most maxColumns serial types of at most nine bytes).
size_t RecordWriter::headerSize() const
{
    return m_typeBytes < 127 ? m_typeBytes + 1 : m_typeBytes + 2;
}

size_t RecordWriter::size() const
{
    return headerSize() + m_bodySize;
}

void RecordWriter::write(uint8_t *out) const
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
        } else if (type >= 1 && type <= 6) {
            static const size_t bytesOf[] = {0, 1, 2, 3, 4, 6, 8};
            const size_t bytes = bytesOf[type];
            const uint64_t value = uint64_t(m_integers[column]);
            for (size_t i = 0; i < bytes; ++i)
                body[i] = uint8_t(value >> (8 * (bytes - 1 - i)));
            body += bytes;
        }
    }
}

} // namespace BTreePages
