#pragma once

#include "btree_pages.h"
#include "element_row.h"

#include <QString>

#include <cstdint>
#include <string_view>
#include <vector>

struct FrameRecord;
struct sqlite3;

/// One rowid table written as leaf pages while its rows arrive in rowid order, and finished
/// with its upper levels at the end.
class TableImage
{
public:
    explicit TableImage(BTreePages::PageStore &store);

    /// Adds the row; false when its rowid is not above the last one or its record would spill
    /// to overflow pages.
    bool add(qint64 rowid, const BTreePages::RecordWriter &record);
    bool empty() const { return m_leaves.level.pages.empty() && !m_leaves.pageOpen(); }
    /// Builds the levels above the leaves and gives the store index of the root page.
    uint32_t finish(uint32_t firstPage);

private:
    BTreePages::PageStore &m_store;
    BTreePages::LeafWriter m_leaves;
    std::vector<uint8_t> m_cell;
    qint64 m_lastRowid = 0;
};

/// The big tables of the element database — elements with its parent index, the sequence
/// numbers, the descriptions, the links and the frames — built as database pages while the rows arrive,
/// instead of through SQLite's insert path. Their rows come in key order, so every tree is
/// written bottom-up, each page filled once. install() puts the pages SQLite wrote for the
/// other tables in front of them and hands the whole image back to the connection.
///
/// A row that does not follow the one before it, or whose record would spill to overflow
/// pages, is refused; the caller inserts it through SQL once the image is installed.
class ElementImage
{
public:
    /// pageSize is the database's page size; reservedPages are kept free at the front of the
    /// image for SQLite's own pages, which are copied in front of the image when they need more.
    ElementImage(int pageSize, size_t reservedPages);

    bool addElement(const ElementRow &row, std::string_view value, std::string_view readable);
    bool addSequenceNumber(qint64 id, qint64 number);
    bool addDescription(qint64 id, std::string_view text);
    bool addLink(qint64 id, qint64 target);
    void addFrame(const FrameRecord &frame);

    /// Builds the upper levels and the index, and replaces db's main database by SQLite's own
    /// pages followed by the image. db must have no transaction open, and the tables and the
    /// index of the image must be empty in db.
    bool install(sqlite3 *db, QString *error);

private:
    uint32_t buildIndex(uint32_t firstPage);

    BTreePages::PageStore m_store;
    TableImage m_elements, m_sequenceNumbers, m_descriptions, m_links, m_frames;
    std::vector<uint32_t> m_parents; ///< the parent of id i + 1, for the index
    qint64 m_nextId = 1;
    qint64 m_frameCount = 0;
};
