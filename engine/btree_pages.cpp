#include "btree_pages.h"

#include "sqlite_memory.h"

#include <sqlite3.h>

#include <algorithm>
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

} // namespace

int longVarintLength(uint64_t value)
{
    int length = 1;
    while (length < 9 && (length == 8 ? value >> 56 : value >> (7 * length)) != 0)
        ++length;
    return length;
}

int putLongVarint(uint8_t *out, uint64_t value)
{
    const int length = longVarintLength(value);
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

PageStore::PageStore(int pageSize, size_t reservedPages)
    : m_pageSize(pageSize), m_reserved(reservedPages), m_scratch(size_t(pageSize))
{
}

PageStore::~PageStore()
{
    sqlite3_free(m_data);
}

bool PageStore::reserve(size_t bytes)
{
    if (bytes <= m_capacity)
        return true;
    const size_t capacity = std::max(bytes, std::max(m_capacity * 2, size_t(1) << 20));
    auto *grown = static_cast<uint8_t *>(SqliteMemory::resize(m_data, capacity));
    if (!grown)
        return false;
    m_data = grown;
    m_capacity = capacity;
    return true;
}

uint32_t PageStore::append()
{
    const uint32_t index = uint32_t(m_count);
    if (!m_failed && !reserve((m_reserved + m_count + 1) * size_t(m_pageSize)))
        m_failed = true;
    ++m_count;
    std::memset(page(index), 0, size_t(m_pageSize));
    return index;
}

uint8_t *PageStore::release(size_t frontPages, size_t bytes)
{
    // More front pages than were reserved move the appended pages back in the buffer itself:
    // a copy would need the memory twice.
    const size_t shift = frontPages > m_reserved ? (frontPages - m_reserved) * size_t(m_pageSize) : 0;
    if (m_failed || !reserve(std::max(bytes, (m_reserved + m_count) * size_t(m_pageSize) + shift)))
        return nullptr;
    if (shift)
        std::memmove(m_data + frontPages * size_t(m_pageSize), m_data + m_reserved * size_t(m_pageSize),
                     m_count * size_t(m_pageSize));
    uint8_t *data = m_data;
    m_data = nullptr;
    m_capacity = 0;
    m_count = 0;
    return data;
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
        m_index = m_store.append();
        m_fill = PageFill(nullptr, m_fill.type, size_t(m_store.pageSize()));
        m_open = true;
    }
    m_fill.page = m_store.page(m_index);
    std::memcpy(m_fill.add(size), cell, size);
}

void LeafWriter::closePage()
{
    if (!m_open)
        return;
    m_fill.page = m_store.page(m_index);
    m_fill.close();
    level.pages.push_back(m_index);
    m_open = false;
}

uint32_t buildUpperLevels(PageStore &store, Level level, PageType interiorType, uint32_t firstPage)
{
    const size_t pageSize = size_t(store.pageSize());
    while (level.pages.size() > 1) {
        Level above;
        const size_t children = level.pages.size();
        size_t i = 0;
        while (i < children) {
            const uint32_t index = store.append();
            PageFill fill{store.page(index), interiorType, pageSize};
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
        level = std::move(above);
    }
    return level.pages.front();
}

} // namespace BTreePages
