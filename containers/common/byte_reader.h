#pragma once

#include <QByteArray>
#include <QtEndian>
#include <QtGlobal>

#include <cstring>

/// Reads integers out of a buffer with bounds checks. Bytes past the end of the buffer read as
/// zero, as a short read of a zeroed structure would, so a truncated structure decodes to the
/// bytes that exist.
class ByteReader
{
public:
    explicit ByteReader(const QByteArray &data) : m_data(data) {}

    qsizetype size() const { return m_data.size(); }
    /// True when count bytes from at lie inside the buffer.
    bool has(qsizetype at, qsizetype count) const
    {
        return at >= 0 && count >= 0 && at <= m_data.size() && count <= m_data.size() - at;
    }

    quint8 u8(qsizetype at) const { return fetch<quint8>(at); }
    quint16 u16be(qsizetype at) const { return qFromBigEndian(fetch<quint16>(at)); }
    quint32 u24be(qsizetype at) const { return quint32(u8(at)) << 16 | u16be(at + 1); }
    quint32 u32be(qsizetype at) const { return qFromBigEndian(fetch<quint32>(at)); }
    quint64 u64be(qsizetype at) const { return qFromBigEndian(fetch<quint64>(at)); }
    quint16 u16le(qsizetype at) const { return qFromLittleEndian(fetch<quint16>(at)); }
    quint32 u32le(qsizetype at) const { return qFromLittleEndian(fetch<quint32>(at)); }
    quint64 u64le(qsizetype at) const { return qFromLittleEndian(fetch<quint64>(at)); }
    /// The bytes [at, at + count) that exist.
    QByteArray bytes(qsizetype at, qsizetype count) const
    {
        if (at < 0 || at >= m_data.size() || count <= 0)
            return QByteArray();
        return m_data.mid(at, qMin(count, m_data.size() - at));
    }

private:
    template <typename T>
    T fetch(qsizetype at) const
    {
        T value = 0;
        if (at < 0 || at >= m_data.size())
            return value;
        const qsizetype count = qMin<qsizetype>(sizeof(T), m_data.size() - at);
        // A value cut by the end of the buffer keeps its leading bytes; the rest stay zero.
        std::memcpy(&value, m_data.constData() + at, size_t(count));
        return value;
    }

    QByteArray m_data;
};
