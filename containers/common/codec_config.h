#pragma once

#include "byte_reader.h"
#include "container_abstract.h"

#include <QString>

#include <initializer_list>

/// Reads bits from the most significant one on; bits past the end of the bytes read as zero.
class BitCursor
{
public:
    BitCursor(const ByteReader &reader, qsizetype at) : m_reader(reader), m_bit(quint64(at) * 8) {}

    quint64 read(int count)
    {
        const quint64 value = peek(count);
        m_bit += quint64(count);
        return value;
    }
    quint64 peek(int count) const
    {
        quint64 value = 0;
        for (quint64 bit = m_bit; bit < m_bit + quint64(count); ++bit)
            value = value << 1 | ((m_reader.u8(qsizetype(bit / 8)) >> (7 - bit % 8)) & 1);
        return value;
    }
    /// The bit read next, counted from the start of the bytes.
    quint64 bit() const { return m_bit; }
    /// The first whole byte not yet read from.
    qsizetype nextByte() const { return qsizetype((m_bit + 7) / 8); }
    const ByteReader &reader() const { return m_reader; }

private:
    const ByteReader &m_reader;
    quint64 m_bit;
};

/// Readable forms of coded values that the codec configuration decoders share with the plug-ins.
namespace CodecText {

struct Name
{
    quint64 value;
    const char *text;
};

/// The text of the entry for value, or an empty text.
QString nameOf(quint64 value, std::initializer_list<Name> names);
/// Up to ten significant digits.
QString decimal(double value);
/// "1 channel", "2 channels".
QString channels(quint64 count);
/// A VP8/VP9 level, 10 times the level number: "4.1"; empty for 0 (unspecified).
QString vpLevel(quint64 level);
/// The chroma subsampling code of VP8/VP9.
QString vpChromaSubsampling(quint64 value);

} // namespace CodecText

/// Decodes the codec configuration records that ISO files and Matroska files both carry into
/// fields of the parser that reads the file. The reader holds the bytes of one record that exist
/// (fewer than it claims when the record or the file is cut short) and the record begins at
/// offset in the file. Fields are cut where the parser's innermost bound ends, as all fields
/// are; counts and sizes read from the record never take a walk past the bytes.
class CodecConfigFields
{
public:
    enum class ByteOrder { BigEndian, LittleEndian };

    CodecConfigFields(ContainerAbstract &parser, quint64 offset, const ByteReader &reader);

    /// Names the structure that holds the record in notes ("the box" unless set).
    void setHolder(const QString &holder) { m_holder = holder; }

    /// AVCDecoderConfigurationRecord (ISO/IEC 14496-15, 5.3.3.1).
    void addAvcConfiguration();
    /// HEVCDecoderConfigurationRecord (ISO/IEC 14496-15, 8.3.3.1).
    void addHevcConfiguration();
    /// AV1CodecConfigurationRecord (AV1 Codec ISO Media File Format Binding, 2.3).
    void addAv1Configuration();
    /// The OpusSpecificBox ("dOps"): the identification header's fields, big-endian.
    void addOpusSpecificBox();
    /// The Opus identification header as Ogg and Matroska store it (RFC 7845, 5.1): "OpusHead",
    /// then the same fields, little-endian.
    void addOpusIdentificationHeader();
    /// FLAC metadata blocks (RFC 9639, 8) from at to the end. Returns false when a block claims
    /// more bytes than there are.
    bool addFlacMetadataBlocks(qsizetype at);
    /// The "fLaC" marker and the metadata blocks after it.
    bool addFlacStreamHeader();
    /// AudioSpecificConfig (ISO/IEC 14496-3, 1.6.2.1) from at to end.
    void addAudioSpecificConfig(qsizetype at, qsizetype end);
    /// The three Vorbis headers in Xiph lacing, as Matroska stores them for A_VORBIS.
    void addVorbisHeaders();
    /// The VP9 codec features of WebM and Matroska: ID, length and value each.
    void addVp9Features();

    /// Shows the number of bytes bytes (at most 8) at at; readable, when given, names its value.
    /// Returns the value.
    quint64 addNumber(qsizetype at, int bytes, const QString &name, QString (*readable)(quint64) = nullptr,
                      ByteOrder order = ByteOrder::BigEndian);
    /// The same for the next count bits of bits.
    quint64 addBits(BitCursor &bits, int count, const QString &name, QString (*readable)(quint64) = nullptr);

    /// A group named name of size bytes at offset, cut where the innermost bound ends (with a
    /// note), left out when none of its bytes is there; fields() reports its fields, bounded by
    /// the group's end, and a note says what they needed past it. Returns false when the group
    /// or its fields claimed bytes that are not there.
    template <typename Fields>
    static bool addGroup(ContainerAbstract &parser, quint64 offset, quint64 size, const QString &name, qint64 index,
                         Fields fields)
    {
        const quint64 kept = parser.fit(offset, size);
        if (kept == 0 && size > 0) {
            // Nothing of it is there: like a field, it is left out and counted as missing.
            parser.addField(offset, size, name, QString());
            return false;
        }
        parser.beginGroup(offset, kept, name, index);
        parser.noteCut(offset, size);
        bool whole = kept == size;
        {
            const ContainerAbstract::Bound bound(parser, offset + kept);
            fields();
            if (whole)
                parser.noteMissingFields(bound, offset);
            whole = whole && bound.missing() == 0;
        }
        parser.endGroup();
        // The enclosing structure counts the bytes the group lacks, as it would a field's.
        if (kept < size)
            parser.addField(offset + kept, size - kept, name, QString());
        return whole;
    }

private:
    template <typename Fields>
    bool addGroup(qsizetype at, quint64 size, const QString &name, qint64 index, Fields fields)
    {
        return addGroup(m_parser, m_offset + quint64(at), size, name, index, fields);
    }
    void addField(qsizetype at, quint64 size, const QString &name, const QString &value,
                  const QString &readable = QString(), qint64 index = -1);
    /// The bytes from at to end, when there are any, as one "data" field.
    void addRest(qsizetype at, qsizetype end);
    /// count bits from bit shift up of the byte at at (bits counted from the least significant,
    /// as Vorbis packs them).
    quint64 addLowBits(qsizetype at, int shift, int count, const QString &name, QString (*readable)(quint64) = nullptr);
    quint64 value(qsizetype at, int bytes, ByteOrder order) const;
    QString number(quint64 value) const;
    QString signedNumber(qint64 value) const;
    QString hex(qsizetype at, qsizetype count) const;
    void addOpusFields(qsizetype at, ByteOrder order);
    /// count NAL units from at, each a 16-bit length named lengthName and that many bytes
    /// named unitName, in groups named group; countName names the count in the note that says
    /// when fewer than claimed begin in the bytes. Returns the position after the last.
    qsizetype addNalUnits(qsizetype at, quint64 count, const QString &countName, const QString &group,
                          const QString &lengthName, const QString &unitName);
    void addVorbisIdentification(qsizetype at, quint64 size);

    ContainerAbstract &m_parser;
    quint64 m_offset;
    ByteReader m_reader;
    QString m_holder = QStringLiteral("the box");
};
