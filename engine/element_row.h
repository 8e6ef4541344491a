#pragma once

#include <QString>
#include <QtGlobal>

#include <string>
#include <string_view>
#include <vector>

struct ElementRecord;

/// One row of the elements table as the writer holds it. Its two texts, in UTF-8, live in the
/// RowSet that holds the row.
struct ElementRow
{
    struct Text
    {
        size_t offset = 0;
        size_t size = 0;
    };

    qint64 id, parentId, lastChildId, nameId, offset, size, index;
    int level;
    Text value, readable;
};

/// Rows with their texts in one buffer, so that a batch of rows costs a few allocations, not
/// two for every row, and keeps them when it is emptied and used again.
class RowSet
{
public:
    void add(const ElementRecord &record, qint64 nameId);
    /// Adds a copy of row, which belongs to from.
    void add(const RowSet &from, const ElementRow &row);
    void clear();

    std::string_view text(ElementRow::Text text) const { return {m_texts.data() + text.offset, text.size}; }
    const std::vector<ElementRow> &rows() const { return m_rows; }
    size_t size() const { return m_rows.size(); }
    bool empty() const { return m_rows.empty(); }

private:
    ElementRow::Text append(const QString &text);
    ElementRow::Text append(std::string_view text);

    std::vector<ElementRow> m_rows;
    std::string m_texts;
};
