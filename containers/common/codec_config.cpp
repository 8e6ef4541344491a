// The codec configuration records of H.264, H.265, AV1, Opus, FLAC, AAC, Vorbis and VP9, as the
// ISO boxes "avcC", "hvcC", "av1C", "dOps", "dfLa" and "esds" and the Matroska CodecPrivate
// element carry them.

#include "codec_config.h"

#include <QStringList>

#include <iterator>

namespace CodecText {

QString nameOf(quint64 value, std::initializer_list<Name> names)
{
    for (const Name &name : names)
        if (name.value == value)
            return QString::fromLatin1(name.text);
    return QString();
}

QString decimal(double value)
{
    return QString::number(value, 'g', 10);
}

QString channels(quint64 count)
{
    return count == 1 ? QStringLiteral("1 channel") : QStringLiteral("%1 channels").arg(count);
}

QString vpLevel(quint64 level)
{
    return level == 0 ? QString() : QStringLiteral("%1.%2").arg(level / 10).arg(level % 10);
}

QString vpChromaSubsampling(quint64 value)
{
    return nameOf(value, {{0, "4:2:0 vertical"}, {1, "4:2:0 colocated with luma"}, {2, "4:2:2"}, {3, "4:4:4"}});
}

} // namespace CodecText

using namespace CodecText;

namespace {

QString hexBytes(const QByteArray &bytes, quint64 limit)
{
    const QString hex = QString::fromLatin1(bytes.left(qsizetype(limit)).toHex());
    return quint64(bytes.size()) > limit ? hex + QStringLiteral("...") : hex;
}

QString bitsPlus8(quint64 value)
{
    return QStringLiteral("%1 bits").arg(value + 8);
}

QString plusOne(quint64 value)
{
    return QString::number(value + 1);
}

QString bytesPlusOne(quint64 value)
{
    return QStringLiteral("%1-byte lengths").arg(value + 1);
}

QString hertz(quint64 value)
{
    return QStringLiteral("%1 Hz").arg(value);
}

QString bitDepth(quint64 value)
{
    return QStringLiteral("%1 bits").arg(value);
}

// H.264 (ISO/IEC 14496-10, A.2) and H.265 (ISO/IEC 23008-2, A.3) profiles.
QString avcProfile(quint64 profile)
{
    return nameOf(profile, {{44, "CAVLC 4:4:4 Intra"}, {66, "Baseline"}, {77, "Main"}, {83, "Scalable Baseline"},
                            {86, "Scalable High"}, {88, "Extended"}, {100, "High"}, {110, "High 10"},
                            {118, "Multiview High"}, {122, "High 4:2:2"}, {128, "Stereo High"}, {134, "MFC High"},
                            {135, "MFC Depth High"}, {138, "Multiview Depth High"},
                            {139, "Enhanced Multiview Depth High"}, {144, "High 4:4:4"},
                            {244, "High 4:4:4 Predictive"}});
}

QString avcLevel(quint64 level)
{
    return level == 9 ? QStringLiteral("1b") : decimal(double(level) / 10);
}

QString avcConstraints(quint64 flags)
{
    QStringList set;
    for (int i = 0; i < 6; ++i)
        if (flags & (0x80u >> i))
            set << QStringLiteral("constraint_set%1_flag").arg(i);
    return set.join(QStringLiteral(", "));
}

QString hevcProfile(quint64 profile)
{
    return nameOf(profile, {{1, "Main"}, {2, "Main 10"}, {3, "Main Still Picture"}, {4, "Format Range Extensions"},
                            {5, "High Throughput"}, {6, "Multiview Main"}, {7, "Scalable Main"}, {8, "3D Main"},
                            {9, "Screen Content Coding Extensions"}, {10, "Scalable Format Range Extensions"},
                            {11, "High Throughput Screen Content Coding Extensions"}});
}

QString hevcNalType(quint64 type)
{
    return nameOf(type, {{32, "VPS"}, {33, "SPS"}, {34, "PPS"}, {35, "AUD"}, {36, "EOS"}, {37, "EOB"}, {38, "FD"},
                         {39, "prefix SEI"}, {40, "suffix SEI"}});
}

QString chromaFormat(quint64 format)
{
    return nameOf(format, {{0, "monochrome"}, {1, "4:2:0"}, {2, "4:2:2"}, {3, "4:4:4"}});
}

// AV1 (AV1 Codec ISO Media File Format Binding, 2.3).
QString av1Profile(quint64 profile)
{
    return nameOf(profile, {{0, "Main"}, {1, "High"}, {2, "Professional"}});
}

QString av1Level(quint64 index)
{
    return index == 31 ? QStringLiteral("maximum parameters")
                       : QStringLiteral("%1.%2").arg(2 + (index >> 2)).arg(index & 3);
}

QString tier(quint64 value)
{
    return value ? QStringLiteral("High") : QStringLiteral("Main");
}

QString av1SamplePosition(quint64 value)
{
    return nameOf(value, {{0, "unknown"}, {1, "vertical"}, {2, "colocated"}, {3, "reserved"}});
}

// MPEG-4 audio (ISO/IEC 14496-3, 1.5.1.1, 1.6.3.4, 1.6.3.5).
QString audioObjectType(quint64 type)
{
    return nameOf(type, {{1, "AAC Main"}, {2, "AAC LC"}, {3, "AAC SSR"}, {4, "AAC LTP"}, {5, "SBR"},
                         {6, "AAC Scalable"}, {7, "TwinVQ"}, {8, "CELP"}, {9, "HVXC"}, {12, "TTSI"},
                         {13, "Main synthetic"}, {14, "Wavetable synthesis"}, {15, "General MIDI"},
                         {16, "Algorithmic Synthesis and Audio FX"}, {17, "ER AAC LC"}, {19, "ER AAC LTP"},
                         {20, "ER AAC scalable"}, {21, "ER TwinVQ"}, {22, "ER BSAC"}, {23, "ER AAC LD"},
                         {24, "ER CELP"}, {25, "ER HVXC"}, {26, "ER HILN"}, {27, "ER Parametric"}, {28, "SSC"},
                         {29, "PS"}, {30, "MPEG Surround"}, {31, "escape"}, {32, "Layer-1"}, {33, "Layer-2"},
                         {34, "Layer-3"}, {35, "DST"}, {36, "ALS"}, {37, "SLS"}, {38, "SLS non-core"},
                         {39, "ER AAC ELD"}, {40, "SMR Simple"}, {41, "SMR Main"}, {42, "USAC (no SBR)"},
                         {43, "SAOC"}, {44, "LD MPEG Surround"}, {45, "USAC"}});
}

QString escapedObjectType(quint64 type)
{
    return audioObjectType(32 + type);
}

QString samplingFrequencyIndex(quint64 index)
{
    static const int rates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000, 7350};
    if (index < std::size(rates))
        return hertz(quint64(rates[index]));
    return index == 15 ? QStringLiteral("explicit") : QStringLiteral("reserved");
}

QString channelConfiguration(quint64 configuration)
{
    return nameOf(configuration, {{0, "defined in the object type's configuration"}, {1, "mono (C)"},
                                  {2, "stereo (L, R)"}, {3, "3.0 (C, L, R)"}, {4, "4.0 (C, L, R, Cs)"},
                                  {5, "5.0 (C, L, R, Ls, Rs)"}, {6, "5.1 (C, L, R, Ls, Rs, LFE)"},
                                  {7, "7.1 (C, Lc, Rc, L, R, Ls, Rs, LFE)"}, {11, "6.1"}, {12, "7.1 (rear surround)"},
                                  {13, "22.2"}, {14, "7.1 (front height)"}});
}

bool isGeneralAudio(quint64 type)
{
    for (quint64 t : {1, 2, 3, 4, 6, 7, 17, 19, 20, 21, 22, 23})
        if (type == t)
            return true;
    return false;
}

// FLAC metadata blocks (RFC 9639, 8.1) and the Opus channel mappings (RFC 7845, 5.1.1).
QString flacBlockType(quint64 type)
{
    return nameOf(type, {{0, "STREAMINFO"}, {1, "PADDING"}, {2, "APPLICATION"}, {3, "SEEKTABLE"},
                         {4, "VORBIS_COMMENT"}, {5, "CUESHEET"}, {6, "PICTURE"}, {127, "invalid"}});
}

QString opusMappingFamily(quint64 family)
{
    return nameOf(family, {{0, "mono or stereo"}, {1, "Vorbis channel order"}, {2, "ambisonics"},
                           {3, "ambisonics with demixing matrix"}, {255, "discrete channels"}});
}

// Vorbis I, 4.2.2: block sizes are powers of two.
QString blockSize(quint64 exponent)
{
    return QStringLiteral("%1 samples").arg(quint64(1) << exponent);
}

QString vorbisHeaderName(quint64 index)
{
    return nameOf(index, {{0, "identification_header"}, {1, "comment_header"}, {2, "setup_header"}});
}

// The VP9 codec features of WebM ("VP9 Codec Feature Metadata").
QString vp9FeatureName(quint64 id)
{
    return nameOf(id, {{1, "profile"}, {2, "level"}, {3, "bit_depth"}, {4, "chroma_subsampling"}});
}

QString vp9Profile(quint64 profile)
{
    return nameOf(profile, {{0, "8 bits, 4:2:0"}, {1, "8 bits, 4:2:2, 4:4:0 or 4:4:4"}, {2, "10 or 12 bits, 4:2:0"},
                            {3, "10 or 12 bits, 4:2:2, 4:4:0 or 4:4:4"}});
}

using Readable = QString (*)(quint64);

Readable vp9FeatureReadable(quint64 id)
{
    switch (id) {
    case 1: return vp9Profile;
    case 2: return vpLevel;
    case 3: return bitDepth;
    case 4: return vpChromaSubsampling;
    default: return nullptr;
    }
}

} // namespace

CodecConfigFields::CodecConfigFields(ContainerAbstract &parser, quint64 offset, const ByteReader &reader)
    : m_parser(parser), m_offset(offset), m_reader(reader)
{
}

void CodecConfigFields::addField(qsizetype at, quint64 size, const QString &name, const QString &value,
                                 const QString &readable, qint64 index)
{
    m_parser.addField(m_offset + quint64(at), size, name, value, readable, QString(), index);
}

void CodecConfigFields::addRest(qsizetype at, qsizetype end)
{
    if (at < end)
        addField(at, quint64(end - at), QStringLiteral("data"), QString());
}

quint64 CodecConfigFields::value(qsizetype at, int bytes, ByteOrder order) const
{
    quint64 value = 0;
    for (int i = 0; i < bytes; ++i) {
        if (order == ByteOrder::BigEndian)
            value = value << 8 | m_reader.u8(at + i);
        else
            value |= quint64(m_reader.u8(at + i)) << (8 * i);
    }
    return value;
}

QString CodecConfigFields::number(quint64 value) const
{
    return QString::number(value, m_parser.valueBase);
}

QString CodecConfigFields::signedNumber(qint64 value) const
{
    return QString::number(value, m_parser.valueBase);
}

QString CodecConfigFields::hex(qsizetype at, qsizetype count) const
{
    return hexBytes(m_reader.bytes(at, count), m_parser.displayLimit);
}

quint64 CodecConfigFields::addNumber(qsizetype at, int bytes, const QString &name, QString (*readable)(quint64),
                                     ByteOrder order)
{
    const quint64 number = value(at, bytes, order);
    addField(at, quint64(bytes), name, this->number(number), readable ? readable(number) : QString());
    return number;
}

quint64 CodecConfigFields::addBits(BitCursor &bits, int count, const QString &name, QString (*readable)(quint64))
{
    const quint64 at = bits.bit();
    const quint64 value = bits.read(count);
    m_parser.addBitField(m_offset + at / 8, uchar(at % 8), quint64(count), name, number(value),
                         readable ? readable(value) : QString());
    return value;
}

quint64 CodecConfigFields::addLowBits(qsizetype at, int shift, int count, const QString &name,
                                      QString (*readable)(quint64))
{
    const quint64 value = (m_reader.u8(at) >> shift) & ((1u << count) - 1);
    m_parser.addBitField(m_offset + quint64(at), uchar(8 - shift - count), quint64(count), name, number(value),
                         readable ? readable(value) : QString());
    return value;
}

qsizetype CodecConfigFields::addNalUnits(qsizetype at, quint64 count, const QString &countName, const QString &group,
                                         const QString &lengthName, const QString &unitName)
{
    quint64 shown = 0;
    for (; shown < count && at < m_reader.size(); ++shown) {
        const quint16 length = m_reader.u16be(at);
        addGroup(at, 2 + quint64(length), group, qint64(shown), [&] {
            addField(at, 2, lengthName, number(length));
            if (length > 0)
                addField(at + 2, length, unitName, hex(at + 2, length));
        });
        at += 2 + length;
    }
    if (shown < count)
        m_parser.addNote(QStringLiteral("%1 is %2; %3 holds the start of %4 of them.")
                             .arg(countName).arg(count).arg(m_holder).arg(shown));
    return at;
}

// configurationVersion (8) AVCProfileIndication (8) profile_compatibility (8)
// AVCLevelIndication (8) reserved (6) lengthSizeMinusOne (2) reserved (3)
// numOfSequenceParameterSets (5), the SPS (16-bit length, NAL unit), numOfPictureParameterSets (8),
// the PPS; for profiles other than Baseline, Main and Extended, when present: reserved (6)
// chroma_format (2) reserved (5) bit_depth_luma_minus8 (3) reserved (5)
// bit_depth_chroma_minus8 (3) numOfSequenceParameterSetExt (8), the SPS extensions.
void CodecConfigFields::addAvcConfiguration()
{
    addNumber(0, 1, QStringLiteral("configurationVersion"));
    const quint64 profile = addNumber(1, 1, QStringLiteral("AVCProfileIndication"), avcProfile);
    addNumber(2, 1, QStringLiteral("profile_compatibility"), avcConstraints);
    addNumber(3, 1, QStringLiteral("AVCLevelIndication"), avcLevel);
    BitCursor bits(m_reader, 4);
    addBits(bits, 6, QStringLiteral("reserved"));
    addBits(bits, 2, QStringLiteral("lengthSizeMinusOne"), bytesPlusOne);
    addBits(bits, 3, QStringLiteral("reserved"));
    const quint64 sequenceSets = addBits(bits, 5, QStringLiteral("numOfSequenceParameterSets"));
    qsizetype at = addNalUnits(6, sequenceSets, QStringLiteral("numOfSequenceParameterSets"),
                               QStringLiteral("sequenceParameterSet"), QStringLiteral("sequenceParameterSetLength"),
                               QStringLiteral("sequenceParameterSetNALUnit"));
    const quint64 pictureSets = addNumber(at, 1, QStringLiteral("numOfPictureParameterSets"));
    at = addNalUnits(at + 1, pictureSets, QStringLiteral("numOfPictureParameterSets"),
                     QStringLiteral("pictureParameterSet"), QStringLiteral("pictureParameterSetLength"),
                     QStringLiteral("pictureParameterSetNALUnit"));
    const bool extended = profile != 66 && profile != 77 && profile != 88;
    if (extended && at < m_reader.size()) {
        BitCursor more(m_reader, at);
        addBits(more, 6, QStringLiteral("reserved"));
        addBits(more, 2, QStringLiteral("chroma_format"), chromaFormat);
        addBits(more, 5, QStringLiteral("reserved"));
        addBits(more, 3, QStringLiteral("bit_depth_luma_minus8"), bitsPlus8);
        addBits(more, 5, QStringLiteral("reserved"));
        addBits(more, 3, QStringLiteral("bit_depth_chroma_minus8"), bitsPlus8);
        const quint64 extensions = addNumber(at + 3, 1, QStringLiteral("numOfSequenceParameterSetExt"));
        at = addNalUnits(at + 4, extensions, QStringLiteral("numOfSequenceParameterSetExt"),
                         QStringLiteral("sequenceParameterSetExt"), QStringLiteral("sequenceParameterSetExtLength"),
                         QStringLiteral("sequenceParameterSetExtNALUnit"));
    }
    addRest(at, m_reader.size());
}

// 23 bytes of header fields, then numOfArrays arrays: array_completeness (1) reserved (1)
// NAL_unit_type (6) numNalus (16), and numNalus NAL units, each nalUnitLength (16) and nalUnit.
void CodecConfigFields::addHevcConfiguration()
{
    addNumber(0, 1, QStringLiteral("configurationVersion"));
    BitCursor bits(m_reader, 1);
    addBits(bits, 2, QStringLiteral("general_profile_space"));
    addBits(bits, 1, QStringLiteral("general_tier_flag"), tier);
    addBits(bits, 5, QStringLiteral("general_profile_idc"), hevcProfile);
    addNumber(2, 4, QStringLiteral("general_profile_compatibility_flags"));
    addNumber(6, 6, QStringLiteral("general_constraint_indicator_flags"));
    addNumber(12, 1, QStringLiteral("general_level_idc"), [](quint64 level) { return decimal(double(level) / 30); });
    BitCursor formats(m_reader, 13);
    addBits(formats, 4, QStringLiteral("reserved"));
    addBits(formats, 12, QStringLiteral("min_spatial_segmentation_idc"));
    addBits(formats, 6, QStringLiteral("reserved"));
    addBits(formats, 2, QStringLiteral("parallelismType"), [](quint64 type) {
        return nameOf(type, {{0, "mixed or unknown"}, {1, "slice"}, {2, "tile"}, {3, "wavefront"}});
    });
    addBits(formats, 6, QStringLiteral("reserved"));
    addBits(formats, 2, QStringLiteral("chromaFormat"), chromaFormat);
    addBits(formats, 5, QStringLiteral("reserved"));
    addBits(formats, 3, QStringLiteral("bitDepthLumaMinus8"), bitsPlus8);
    addBits(formats, 5, QStringLiteral("reserved"));
    addBits(formats, 3, QStringLiteral("bitDepthChromaMinus8"), bitsPlus8);
    addNumber(19, 2, QStringLiteral("avgFrameRate"), [](quint64 rate) {
        return rate ? QStringLiteral("%1 frames/s").arg(decimal(double(rate) / 256)) : QStringLiteral("unspecified");
    });
    BitCursor rates(m_reader, 21);
    addBits(rates, 2, QStringLiteral("constantFrameRate"));
    addBits(rates, 3, QStringLiteral("numTemporalLayers"));
    addBits(rates, 1, QStringLiteral("temporalIdNested"));
    addBits(rates, 2, QStringLiteral("lengthSizeMinusOne"), bytesPlusOne);
    const quint64 arrays = addNumber(22, 1, QStringLiteral("numOfArrays"));
    qsizetype at = 23;
    quint64 shown = 0;
    for (; shown < arrays && at < m_reader.size(); ++shown) {
        const qsizetype start = at;
        m_parser.beginGroup(m_offset + quint64(start), 0, QStringLiteral("array"), qint64(shown));
        BitCursor head(m_reader, at);
        addBits(head, 1, QStringLiteral("array_completeness"));
        addBits(head, 1, QStringLiteral("reserved"));
        addBits(head, 6, QStringLiteral("NAL_unit_type"), hevcNalType);
        const quint64 units = addNumber(at + 1, 2, QStringLiteral("numNalus"));
        at = addNalUnits(at + 3, units, QStringLiteral("numNalus"), QStringLiteral("NAL_unit"),
                         QStringLiteral("nalUnitLength"), QStringLiteral("nalUnit"));
        m_parser.setEntrySize(m_parser.fit(m_offset + quint64(start), quint64(at - start)));
        m_parser.endGroup();
    }
    if (shown < arrays)
        m_parser.addNote(QStringLiteral("numOfArrays is %1; %2 holds the start of %3 of them.")
                             .arg(arrays).arg(m_holder).arg(shown));
    addRest(at, m_reader.size());
}

// marker (1) version (7) seq_profile (3) seq_level_idx_0 (5) seq_tier_0 high_bitdepth twelve_bit
// monochrome chroma_subsampling_x chroma_subsampling_y (1 each) chroma_sample_position (2)
// reserved (3) initial_presentation_delay_present (1) initial_presentation_delay_minus_one or
// reserved (4), then configOBUs.
void CodecConfigFields::addAv1Configuration()
{
    BitCursor bits(m_reader, 0);
    addBits(bits, 1, QStringLiteral("marker"));
    addBits(bits, 7, QStringLiteral("version"));
    addBits(bits, 3, QStringLiteral("seq_profile"), av1Profile);
    addBits(bits, 5, QStringLiteral("seq_level_idx_0"), av1Level);
    addBits(bits, 1, QStringLiteral("seq_tier_0"), tier);
    for (const char *flag : {"high_bitdepth", "twelve_bit", "monochrome", "chroma_subsampling_x", "chroma_subsampling_y"})
        addBits(bits, 1, QLatin1String(flag));
    addBits(bits, 2, QStringLiteral("chroma_sample_position"), av1SamplePosition);
    addBits(bits, 3, QStringLiteral("reserved"));
    if (addBits(bits, 1, QStringLiteral("initial_presentation_delay_present")))
        addBits(bits, 4, QStringLiteral("initial_presentation_delay_minus_one"), plusOne);
    else
        addBits(bits, 4, QStringLiteral("reserved"));
    if (m_reader.size() > 4)
        addField(4, quint64(m_reader.size() - 4), QStringLiteral("configOBUs"), QString());
}

void CodecConfigFields::addOpusSpecificBox()
{
    addOpusFields(0, ByteOrder::BigEndian);
}

void CodecConfigFields::addOpusIdentificationHeader()
{
    const QByteArray magic = m_reader.bytes(0, 8);
    addField(0, 8, QStringLiteral("MagicSignature"), m_parser.toPrintable(magic));
    if (magic.size() == 8 && magic != "OpusHead")
        m_parser.addNote(QStringLiteral("An Opus identification header begins with \"OpusHead\"."));
    addOpusFields(8, ByteOrder::LittleEndian);
}

// Version (8) OutputChannelCount (8) PreSkip (16) InputSampleRate (32) OutputGain (16, signed
// 8.8 dB) ChannelMappingFamily (8), and for a family other than 0 StreamCount (8)
// CoupledCount (8) ChannelMapping (8 per output channel).
void CodecConfigFields::addOpusFields(qsizetype at, ByteOrder order)
{
    addNumber(at, 1, QStringLiteral("Version"));
    const quint64 channels = addNumber(at + 1, 1, QStringLiteral("OutputChannelCount"));
    addNumber(at + 2, 2, QStringLiteral("PreSkip"),
              [](quint64 samples) { return QStringLiteral("%1 samples at 48000 Hz").arg(samples); }, order);
    addNumber(at + 4, 4, QStringLiteral("InputSampleRate"), hertz, order);
    const qint16 gain = qint16(value(at + 8, 2, order));
    addField(at + 8, 2, QStringLiteral("OutputGain"), signedNumber(gain),
             QStringLiteral("%1 dB").arg(decimal(double(gain) / 256)));
    const quint64 family = addNumber(at + 10, 1, QStringLiteral("ChannelMappingFamily"), opusMappingFamily);
    if (family == 0)
        return;
    addNumber(at + 11, 1, QStringLiteral("StreamCount"));
    addNumber(at + 12, 1, QStringLiteral("CoupledCount"));
    QStringList mapping;
    for (qsizetype i = 0; i < qsizetype(channels); ++i)
        mapping << number(m_reader.u8(at + 13 + i));
    if (channels > 0)
        addField(at + 13, channels, QStringLiteral("ChannelMapping"), mapping.join(QStringLiteral(", ")));
}

bool CodecConfigFields::addFlacStreamHeader()
{
    const QByteArray marker = m_reader.bytes(0, 4);
    addField(0, 4, QStringLiteral("marker"), m_parser.toPrintable(marker));
    if (marker.size() == 4 && marker != "fLaC")
        m_parser.addNote(QStringLiteral("A FLAC stream begins with \"fLaC\"."));
    return addFlacMetadataBlocks(4);
}

// Each block: last_metadata_block_flag (1) BLOCK_TYPE (7) length (24) and length bytes;
// STREAMINFO: minimum and maximum block size (16 each), minimum and maximum frame size (24
// each), sample rate (20), channels - 1 (3), bits per sample - 1 (5), total samples (36), MD5
// signature (128).
bool CodecConfigFields::addFlacMetadataBlocks(qsizetype at)
{
    bool whole = true;
    bool last = false;
    for (qint64 index = 0; at < m_reader.size() && !last; ++index) {
        const quint64 length = m_reader.u24be(at + 1);
        whole = addGroup(at, 4 + length, QStringLiteral("METADATA_BLOCK"), index, [&] {
            BitCursor bits(m_reader, at);
            last = addBits(bits, 1, QStringLiteral("last_metadata_block_flag"));
            const quint64 type = addBits(bits, 7, QStringLiteral("BLOCK_TYPE"), flacBlockType);
            addBits(bits, 24, QStringLiteral("length"));
            if (type != 0) {
                if (length > 0)
                    addField(at + 4, length, QStringLiteral("data"), QString());
                return;
            }
            addNumber(at + 4, 2, QStringLiteral("minimum_block_size"));
            addNumber(at + 6, 2, QStringLiteral("maximum_block_size"));
            addNumber(at + 8, 3, QStringLiteral("minimum_frame_size"));
            addNumber(at + 11, 3, QStringLiteral("maximum_frame_size"));
            BitCursor info(m_reader, at + 14);
            addBits(info, 20, QStringLiteral("sample_rate"), hertz);
            addBits(info, 3, QStringLiteral("channels_minus_1"), [](quint64 value) { return channels(value + 1); });
            addBits(info, 5, QStringLiteral("bits_per_sample_minus_1"),
                    [](quint64 value) { return QStringLiteral("%1 bits").arg(value + 1); });
            addBits(info, 36, QStringLiteral("total_samples"));
            addField(at + 22, 16, QStringLiteral("MD5_signature"),
                     QString::fromLatin1(m_reader.bytes(at + 22, 16).toHex()));
            if (length > 34)
                addField(at + 38, length - 34, QStringLiteral("data"), QString());
        }) && whole;
        at += qsizetype(qMin<quint64>(4 + length, quint64(m_reader.size() - at)));
    }
    if (at < m_reader.size()) {
        addField(at, quint64(m_reader.size() - at), QStringLiteral("data"), QString());
        m_parser.addNote(QStringLiteral("%1 bytes follow the last metadata block.").arg(m_reader.size() - at));
    }
    return whole;
}

// audioObjectType (5, 31 escapes to 32 + 6 more bits), samplingFrequencyIndex (4, 15 followed
// by a 24-bit samplingFrequency), channelConfiguration (4); for SBR and PS the extension's
// frequency and the core object type; for the general audio object types the GASpecificConfig
// (4.4.1) and a backward-compatible SBR/PS signal (1.6.6).
void CodecConfigFields::addAudioSpecificConfig(qsizetype at, qsizetype end)
{
    BitCursor bits(m_reader, at);
    const auto bit = [&](const char *name) { return addBits(bits, 1, QLatin1String(name)); };
    const auto readObjectType = [&](const QString &name) {
        const quint64 type = addBits(bits, 5, name, audioObjectType);
        return type == 31 ? 32 + addBits(bits, 6, name + QStringLiteral("Ext"), escapedObjectType) : type;
    };
    const auto frequency = [&](const QString &prefix) {
        const QString name = prefix.isEmpty() ? QStringLiteral("samplingFrequency")
                                              : prefix + QStringLiteral("SamplingFrequency");
        if (addBits(bits, 4, name + QStringLiteral("Index"), samplingFrequencyIndex) == 15)
            addBits(bits, 24, name, hertz);
    };
    const auto bitsLeft = [&] { return quint64(end) * 8 > bits.bit() ? quint64(end) * 8 - bits.bit() : 0; };

    quint64 type = readObjectType(QStringLiteral("audioObjectType"));
    frequency(QString());
    const quint64 channels = addBits(bits, 4, QStringLiteral("channelConfiguration"), channelConfiguration);
    const bool explicitExtension = type == 5 || type == 29;
    if (explicitExtension) {
        frequency(QStringLiteral("extension"));
        type = readObjectType(QStringLiteral("audioObjectType"));
        if (type == 22)
            addBits(bits, 4, QStringLiteral("extensionChannelConfiguration"), channelConfiguration);
    }
    if (isGeneralAudio(type) && channels != 0) {
        bit("frameLengthFlag");
        if (bit("dependsOnCoreCoder"))
            addBits(bits, 14, QStringLiteral("coreCoderDelay"));
        const bool extension = bit("extensionFlag");
        if (type == 6 || type == 20)
            addBits(bits, 3, QStringLiteral("layerNr"));
        if (extension) {
            if (type == 22) {
                addBits(bits, 5, QStringLiteral("numOfSubFrame"));
                addBits(bits, 11, QStringLiteral("layer_length"));
            }
            if (type == 17 || type == 19 || type == 20 || type == 23) {
                bit("aacSectionDataResilienceFlag");
                bit("aacScalefactorDataResilienceFlag");
                bit("aacSpectralDataResilienceFlag");
            }
            bit("extensionFlag3");
        }
        if (!explicitExtension && bitsLeft() >= 16 && bits.peek(11) == 0x2B7) {
            addBits(bits, 11, QStringLiteral("syncExtensionType"));
            const quint64 extensionType = readObjectType(QStringLiteral("extensionAudioObjectType"));
            if (extensionType == 5 || extensionType == 22) {
                if (bit("sbrPresentFlag"))
                    frequency(QStringLiteral("extension"));
                if (extensionType == 22)
                    addBits(bits, 4, QStringLiteral("extensionChannelConfiguration"), channelConfiguration);
                else if (bitsLeft() >= 12 && bits.peek(11) == 0x548) {
                    addBits(bits, 11, QStringLiteral("syncExtensionType"));
                    bit("psPresentFlag");
                }
            }
        }
    }
    addRest(bits.nextByte(), end);
}

// The number of packets less one (8); the sizes of all packets but the last in Xiph lacing,
// each a run of bytes summed up to the first one below 255; then the packets, the last taking
// the bytes that are left: the identification, comment and setup headers (Vorbis I, 4.2).
void CodecConfigFields::addVorbisHeaders()
{
    const quint64 count = addNumber(0, 1, QStringLiteral("packet_count_minus_1"), [](quint64 value) {
        return QStringLiteral("%1 packets").arg(value + 1);
    }) + 1;
    const qsizetype end = m_reader.size();
    qsizetype at = 1;
    QList<quint64> sizes;
    while (quint64(sizes.size()) + 1 < count) {
        const qsizetype start = at;
        quint64 size = 0;
        quint8 byte = 255;
        while (byte == 255 && at < end) {
            byte = m_reader.u8(at++);
            size += byte;
        }
        if (byte == 255) {
            // The lacing runs past the bytes: the size needs one byte more at least.
            addField(start, quint64(at - start) + 1, QStringLiteral("packet_size"), number(size), QString(),
                     sizes.size());
            m_parser.addNote(QStringLiteral("packet_count_minus_1 gives %1 packets, the sizes of %2 of them laced; "
                                            "%3 holds %4 of the sizes.")
                                 .arg(count).arg(count - 1).arg(m_holder).arg(sizes.size()));
            return;
        }
        addField(start, quint64(at - start), QStringLiteral("packet_size"), number(size), QString(), sizes.size());
        sizes << size;
    }
    quint64 laced = 0;
    for (quint64 size : sizes)
        laced += size;
    const quint64 left = quint64(end - at);
    sizes << (laced < left ? left - laced : 0);
    // Packets the bytes do not hold are counted as missing, as every field past the end is.
    for (qsizetype i = 0; i < sizes.size(); ++i) {
        const quint64 size = sizes[i];
        const QString name = i < 3 ? vorbisHeaderName(quint64(i)) : QStringLiteral("packet");
        const qint64 index = i < 3 ? -1 : i;
        if (i == 0 && m_reader.u8(at) == 1) {
            addGroup(at, size, name, index, [&] { addVorbisIdentification(at, size); });
        } else if (size > 0) {
            addField(at, size, name, hex(at, qsizetype(size)), QString(), index);
            if (i == 0 && at < end)
                m_parser.addNote(QStringLiteral("The first packet is not a Vorbis identification header."));
        }
        at += qsizetype(size);
    }
}

// packet_type (8) "vorbis" (6 bytes) vorbis_version (32) audio_channels (8) audio_sample_rate
// (32) bitrate_maximum, bitrate_nominal, bitrate_minimum (32 each, signed) blocksize_0 (4)
// blocksize_1 (4) framing_flag (1); numbers little-endian, bits from the least significant on.
void CodecConfigFields::addVorbisIdentification(qsizetype at, quint64 size)
{
    addNumber(at, 1, QStringLiteral("packet_type"));
    const QByteArray signature = m_reader.bytes(at + 1, 6);
    addField(at + 1, 6, QStringLiteral("signature"), m_parser.toPrintable(signature));
    if (signature.size() == 6 && signature != "vorbis")
        m_parser.addNote(QStringLiteral("A Vorbis header carries the signature \"vorbis\"."));
    const ByteOrder little = ByteOrder::LittleEndian;
    addNumber(at + 7, 4, QStringLiteral("vorbis_version"), nullptr, little);
    addNumber(at + 11, 1, QStringLiteral("audio_channels"), channels);
    addNumber(at + 12, 4, QStringLiteral("audio_sample_rate"), hertz, little);
    static const char *const rates[] = {"bitrate_maximum", "bitrate_nominal", "bitrate_minimum"};
    for (int i = 0; i < 3; ++i) {
        const qsizetype from = at + 16 + 4 * i;
        const qint32 rate = qint32(value(from, 4, little));
        addField(from, 4, QLatin1String(rates[i]), signedNumber(rate),
                 rate > 0 ? QStringLiteral("%1 bit/s").arg(rate) : QStringLiteral("unset"));
    }
    addLowBits(at + 28, 0, 4, QStringLiteral("blocksize_0"), blockSize);
    addLowBits(at + 28, 4, 4, QStringLiteral("blocksize_1"), blockSize);
    addLowBits(at + 29, 0, 1, QStringLiteral("framing_flag"));
    if (size > 30)
        addField(at + 30, size - 30, QStringLiteral("data"), QString());
}

// Features one after another to the end: ID (8) length (8) and length bytes; the known ones
// hold one byte.
void CodecConfigFields::addVp9Features()
{
    qsizetype at = 0;
    for (qint64 index = 0; at < m_reader.size(); ++index) {
        const quint8 id = m_reader.u8(at);
        const quint8 length = m_reader.u8(at + 1);
        addGroup(at, 2 + quint64(length), QStringLiteral("feature"), index, [&] {
            addNumber(at, 1, QStringLiteral("ID"), vp9FeatureName);
            addNumber(at + 1, 1, QStringLiteral("length"));
            const QString name = vp9FeatureName(id);
            if (length == 1 && !name.isEmpty())
                addNumber(at + 2, 1, name, vp9FeatureReadable(id));
            else if (length > 0)
                addField(at + 2, length, QStringLiteral("value"), hex(at + 2, length));
        });
        at += 2 + length;
    }
}
