#pragma once

#include <QByteArray>
#include <QtEndian>

#include <functional>

/// Builds container bytes for tests. Nested structures take a body function and fill their
/// size fields afterwards:
///
///     ByteBuilder b;
///     b.box("moov", [](ByteBuilder &m) { m.fullBox("mvhd", 0, 0, [](ByteBuilder &h) { h.zeros(96); }); });
class ByteBuilder
{
public:
    using Body = std::function<void(ByteBuilder &)>;

    ByteBuilder &u8(quint8 v) { m_data.append(char(v)); return *this; }
    ByteBuilder &u16be(quint16 v) { return put(qToBigEndian(v)); }
    ByteBuilder &u24be(quint32 v) { return u8(quint8(v >> 16)).u8(quint8(v >> 8)).u8(quint8(v)); }
    ByteBuilder &u32be(quint32 v) { return put(qToBigEndian(v)); }
    ByteBuilder &u64be(quint64 v) { return put(qToBigEndian(v)); }
    ByteBuilder &u16le(quint16 v) { return put(qToLittleEndian(v)); }
    ByteBuilder &u32le(quint32 v) { return put(qToLittleEndian(v)); }
    ByteBuilder &u64le(quint64 v) { return put(qToLittleEndian(v)); }
    ByteBuilder &fourcc(const char *code) { m_data.append(code, 4); return *this; }
    ByteBuilder &zeros(qsizetype count) { m_data.append(count, '\0'); return *this; }
    ByteBuilder &raw(const QByteArray &bytes) { m_data.append(bytes); return *this; }
    ByteBuilder &text(const char *chars) { m_data.append(chars); return *this; }

    /// ISO box: 32-bit big-endian size, type, body.
    ByteBuilder &box(const char *type, const Body &body = {})
    {
        const qsizetype start = m_data.size();
        u32be(0).fourcc(type);
        if (body)
            body(*this);
        qToBigEndian(quint32(m_data.size() - start), m_data.data() + start);
        return *this;
    }

    /// ISO full box: box header, version, 24-bit flags, body.
    ByteBuilder &fullBox(const char *type, quint8 version, quint32 flags, const Body &body = {})
    {
        return box(type, [&](ByteBuilder &b) {
            b.u8(version).u24be(flags);
            if (body)
                body(b);
        });
    }

    /// RIFF chunk: id, 32-bit little-endian size of the data, data, pad byte to an even size.
    ByteBuilder &riffChunk(const char *id, const Body &body = {})
    {
        const qsizetype start = m_data.size();
        fourcc(id).u32le(0);
        if (body)
            body(*this);
        const quint32 size = quint32(m_data.size() - start - 8);
        qToLittleEndian(size, m_data.data() + start + 4);
        if (size % 2)
            u8(0);
        return *this;
    }

    /// RIFF list ("RIFF" or "LIST"): chunk whose data begins with the list type.
    ByteBuilder &riffList(const char *id, const char *listType, const Body &body = {})
    {
        return riffChunk(id, [&](ByteBuilder &b) {
            b.fourcc(listType);
            if (body)
                body(b);
        });
    }

    /// EBML element: the id as written (marker bits included), the data size as a
    /// variable-length number of the smallest length (or sizeLength bytes when given), data.
    ByteBuilder &ebml(quint32 id, const Body &body = {}, int sizeLength = 0)
    {
        ebmlId(id);
        ByteBuilder content;
        if (body)
            body(content);
        ebmlSize(quint64(content.size()), sizeLength);
        return raw(content.bytes());
    }
    ByteBuilder &ebmlUInt(quint32 id, quint64 value)
    {
        return ebml(id, [value](ByteBuilder &b) {
            int length = 1;
            while (length < 8 && (value >> (8 * length)) != 0)
                ++length;
            for (int i = length - 1; i >= 0; --i)
                b.u8(quint8(value >> (8 * i)));
        });
    }
    ByteBuilder &ebmlString(quint32 id, const QByteArray &value)
    {
        return ebml(id, [&value](ByteBuilder &b) { b.raw(value); });
    }
    ByteBuilder &ebmlId(quint32 id)
    {
        int length = 1;
        while (length < 4 && (id >> (8 * length)) != 0)
            ++length;
        for (int i = length - 1; i >= 0; --i)
            u8(quint8(id >> (8 * i)));
        return *this;
    }
    /// A variable-length size; length 0 picks the shortest one that is not all ones.
    ByteBuilder &ebmlSize(quint64 value, int length = 0)
    {
        if (length == 0) {
            length = 1;
            while (length < 8 && value >= (quint64(1) << (7 * length)) - 1)
                ++length;
        }
        const quint64 marked = value | (quint64(1) << (7 * length));
        for (int i = length - 1; i >= 0; --i)
            u8(quint8(marked >> (8 * i)));
        return *this;
    }

    /// Keeps only the first count bytes, as a damaged file would.
    ByteBuilder &truncate(qsizetype count)
    {
        m_data.truncate(count);
        return *this;
    }

    qsizetype size() const { return m_data.size(); }
    const QByteArray &bytes() const { return m_data; }

private:
    template <typename T>
    ByteBuilder &put(T value)
    {
        m_data.append(reinterpret_cast<const char *>(&value), sizeof(T));
        return *this;
    }

    QByteArray m_data;
};
