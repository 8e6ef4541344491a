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

} // namespace BTreePages
