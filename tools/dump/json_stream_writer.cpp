#include "json_stream_writer.h"

#include <QChar>
#include <QFileDevice>

#include <charconv>

namespace {

constexpr qsizetype blockSize = 64 * 1024;

} // namespace

JsonStreamWriter::JsonStreamWriter(QTextStream &out) : m_out(out)
{
    m_block.reserve(blockSize + 1024);
}

JsonStreamWriter::~JsonStreamWriter()
{
    writeBlock();
}

void JsonStreamWriter::beginObject()
{
    begin('{');
}

void JsonStreamWriter::endObject()
{
    end('}');
}

void JsonStreamWriter::beginArray()
{
    begin('[');
}

void JsonStreamWriter::endArray()
{
    end(']');
}

void JsonStreamWriter::key(QStringView name)
{
    beginItem();
    string(name);
    m_block.append(": ");
    m_afterKey = true;
}

void JsonStreamWriter::value(QStringView text)
{
    beginValue();
    string(text);
}

// As QByteArray::number(qint64) writes it.
void JsonStreamWriter::value(qint64 number)
{
    beginValue();
    char digits[24];
    const std::to_chars_result result = std::to_chars(digits, digits + sizeof(digits), number);
    m_block.append(digits, result.ptr - digits);
}

void JsonStreamWriter::nullValue()
{
    beginValue();
    m_block.append("null");
}

// A value of an object follows its key on the key's line; one of an array is an item of its own.
void JsonStreamWriter::beginValue()
{
    if (m_afterKey)
        m_afterKey = false;
    else if (!m_items.empty())
        beginItem();
}

// Items are separated by a comma at the end of the line before. Between items is where a full
// block goes out.
void JsonStreamWriter::beginItem()
{
    if (m_items.back()++ > 0)
        m_block.append(",\n");
    if (m_block.size() >= blockSize)
        writeBlock();
    indent();
}

// Qt opens every object and array with a line break, empty or not, and closes it on a line of
// its own.
void JsonStreamWriter::begin(char bracket)
{
    beginValue();
    m_block.append(bracket).append('\n');
    m_items.push_back(0);
}

void JsonStreamWriter::end(char bracket)
{
    if (m_items.back() > 0)
        m_block.append('\n');
    m_items.pop_back();
    indent();
    m_block.append(bracket);
    if (m_items.empty())
        m_block.append('\n');
}

void JsonStreamWriter::indent()
{
    m_block.append(4 * qsizetype(m_items.size()), ' ');
}

// As Qt escapes: the quote, the backslash and the control characters; every other character
// as itself in UTF-8, except a surrogate without its partner, which has no UTF-8 and is written
// as its \u escape.
void JsonStreamWriter::string(QStringView text)
{
    m_block.append('"');
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        if (unit >= 0x20 && unit != u'"' && unit != u'\\' && !QChar::isSurrogate(unit))
            continue;
        if (QChar::isHighSurrogate(unit) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            ++i;
            continue;
        }
        plain(text.mid(start, i - start));
        escape(unit);
        start = i + 1;
    }
    plain(text.mid(start));
    m_block.append('"');
}

// Text that needs no escape, surrogates only in pairs.
void JsonStreamWriter::plain(QStringView text)
{
    const qsizetype at = m_block.size();
    m_block.resize(at + m_utf8.requiredSpace(text.size()));
    const char *end = m_utf8.appendToBuffer(m_block.data() + at, text);
    m_block.resize(end - m_block.constData());
}

void JsonStreamWriter::escape(char16_t unit)
{
    switch (unit) {
    case u'"':
        m_block.append("\\\"");
        return;
    case u'\\':
        m_block.append("\\\\");
        return;
    case u'\b':
        m_block.append("\\b");
        return;
    case u'\f':
        m_block.append("\\f");
        return;
    case u'\n':
        m_block.append("\\n");
        return;
    case u'\r':
        m_block.append("\\r");
        return;
    case u'\t':
        m_block.append("\\t");
        return;
    default:
        break;
    }
    const char digits[] = "0123456789abcdef";
    const char escaped[] = {'\\', 'u', digits[unit >> 12], digits[(unit >> 8) & 0xf], digits[(unit >> 4) & 0xf],
                            digits[unit & 0xf]};
    m_block.append(escaped, sizeof(escaped));
}

// Whatever the stream holds goes first. A file is flushed as the stream flushes it, so that a
// failure shows in the stream's status; once a write fails, nothing more is written.
void JsonStreamWriter::writeBlock()
{
    if (m_block.isEmpty())
        return;
    m_out.flush();
    QIODevice *device = m_out.device();
    if (!device) {
        m_out << QString::fromUtf8(m_block);
    } else if (m_out.status() == QTextStream::Ok) {
        QFileDevice *file = qobject_cast<QFileDevice *>(device);
        if (device->write(m_block) != m_block.size() || (file && !file->flush()))
            m_out.setStatus(QTextStream::WriteFailed);
    }
    m_block.resize(0);
}
