#pragma once

#include "btree_pages.h"
#include "element_row.h"

#include <QString>

#include <cstdint>
#include <string_view>
#include <vector>

struct sqlite3;

/// The elements table and its parent index, built as database pages while the rows arrive,
/// instead of through SQLite's insert path. Elements come in id order, so both trees can be
/// written bottom-up, each page filled once. install() places the pages after those SQLite
/// wrote for the other tables and hands the whole image back to the connection.
///
/// A row that does not follow the one before it, or whose record would spill to overflow
/// pages, is refused; the caller inserts it through SQL once the image is installed.
class ElementImage
{
public:
    /// pageSize is the database's page size.
    explicit ElementImage(int pageSize);

    /// Adds the row to the table's leaves; false when it must go through SQL instead.
    bool add(const ElementRow &row, std::string_view value, std::string_view readable);

    /// Builds the upper levels and the index, and replaces db's main database by SQLite's own
    /// pages followed by the image. db must have no transaction open. The table is `elements`,
    /// the index `elements_parent_id`, both empty in db until now.
    bool install(sqlite3 *db, QString *error);

private:
    void buildIndex(uint32_t firstPage, uint8_t *root);

    BTreePages::PageStore m_store;
    BTreePages::LeafWriter m_table;
    std::vector<uint8_t> m_cell;
    std::vector<uint32_t> m_parents; ///< the parent of id i + 1, for the index
    qint64 m_nextId = 1;
    qint64 m_lastId = 0; ///< the last id in the leaves
};
