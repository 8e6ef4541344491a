#include "element_row.h"

#include "element_sink.h"

#include <QByteArray>

void RowSet::add(const ElementRecord &record, qint64 nameId)
{
    const ElementRow::Text value = append(record.value);
    const ElementRow::Text readable = append(record.readable);
    m_rows.push_back({record.id, record.parentId, record.lastChildId, nameId, record.offset,
                      record.size, record.index, record.level, value, readable});
}

void RowSet::add(const RowSet &from, const ElementRow &row)
{
    ElementRow copy = row;
    copy.value = append(from.text(row.value));
    copy.readable = append(from.text(row.readable));
    m_rows.push_back(copy);
}

void RowSet::clear()
{
    m_rows.clear();
    m_texts.clear();
}

// Most texts are plain ASCII and are copied as they are; the others are encoded.
ElementRow::Text RowSet::append(const QString &text)
{
    const qsizetype size = text.size();
    const QChar *chars = text.constData();
    bool ascii = true;
    for (qsizetype i = 0; i < size && ascii; ++i)
        ascii = chars[i].unicode() < 0x80;
    if (!ascii) {
        const QByteArray utf8 = text.toUtf8();
        return append(std::string_view(utf8.constData(), size_t(utf8.size())));
    }
    const ElementRow::Text span{m_texts.size(), size_t(size)};
    m_texts.resize(m_texts.size() + size_t(size));
    char *out = m_texts.data() + span.offset;
    for (qsizetype i = 0; i < size; ++i)
        out[i] = char(chars[i].unicode());
    return span;
}

ElementRow::Text RowSet::append(std::string_view text)
{
    const ElementRow::Text span{m_texts.size(), text.size()};
    m_texts.append(text);
    return span;
}
