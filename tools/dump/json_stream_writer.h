#pragma once

#include <QByteArray>
#include <QStringEncoder>
#include <QStringView>
#include <QTextStream>

#include <vector>

/// Writes JSON to a text stream as it goes, laid out as QJsonDocument::toJson(Indented) lays
/// it out: four spaces a level, `"key": value`, an empty object or array as its two brackets on
/// two lines, and a line break after the document.
///
/// The text goes to the stream's device in UTF-8 a block at a time; a block the device does not
/// take sets the stream's status to WriteFailed, and the caller stops there. A stream on a string
/// gets the text through the stream. Besides the block, only the number of items of each open
/// object or array is kept.
///
/// The caller writes one object or array as the document, and the keys of an object in the order
/// QJsonObject keeps them (sorted by UTF-16 code units) when the output should match
/// QJsonDocument's byte for byte.
class JsonStreamWriter
{
public:
    explicit JsonStreamWriter(QTextStream &out);
    /// Writes what is left in the block.
    ~JsonStreamWriter();
    JsonStreamWriter(const JsonStreamWriter &) = delete;
    JsonStreamWriter &operator=(const JsonStreamWriter &) = delete;

    void beginObject();
    void endObject();
    void beginArray();
    void endArray();
    void key(QStringView name);
    void value(QStringView text);
    void value(qint64 number);
    void nullValue();

private:
    void beginValue();
    void beginItem();
    void begin(char bracket);
    void end(char bracket);
    void indent();
    void string(QStringView text);
    void plain(QStringView text);
    void escape(char16_t unit);
    void writeBlock();

    QTextStream &m_out;
    QByteArray m_block;
    QStringEncoder m_utf8{QStringEncoder::Utf8};
    std::vector<qint64> m_items;
    bool m_afterKey = false;
};
