// The decoder configuration boxes of the sample entries (ISO/IEC 14496-15 "avcC", "hvcC"; AV1
// "av1C"; VP9 "vpcC", "SmDm", "CoLL"; Opus "dOps"; FLAC "dfLa"; ETSI TS 102 366 "dac3",
// "dec3"; ISO/IEC 14496-1 descriptors in "esds" and "iods"), the boxes that describe the
// pictures and sounds (ISO/IEC 14496-12 "btrt", "pasp", "clap", "colr", "mdcv", "clli";
// QuickTime "fiel", "gama", "chan", "wave", "enda") and the protection boxes (ISO/IEC 14496-12,
// 8.12 "sinf", "frma", "schm", "schi"; ISO/IEC 23001-7 "tenc").

#include "container_iso.h"

#include "byte_reader.h"
#include "status.h"

#include <QUuid>

#include <cstring>
#include <initializer_list>
#include <iterator>

using CodecText::channels;
using CodecText::decimal;
using CodecText::Name;
using CodecText::nameOf;
using CodecText::vpChromaSubsampling;
using CodecText::vpLevel;

namespace {

QString flagNames(quint64 flags, std::initializer_list<Name> bits)
{
    QStringList set;
    for (const Name &bit : bits)
        if (flags & bit.value)
            set << QString::fromLatin1(bit.text);
    return set.join(QStringLiteral(", "));
}

QString fourCharacters(const ByteReader &reader, qsizetype at)
{
    const QByteArray bytes = reader.bytes(at, 4);
    return QString::fromLatin1(bytes.constData(), qsizetype(qstrnlen(bytes.constData(), size_t(bytes.size()))));
}

double floatAt(const ByteReader &reader, qsizetype at)
{
    const quint32 bits = reader.u32be(at);
    float value = 0;
    std::memcpy(&value, &bits, sizeof(value));
    return double(value);
}

QString yesNo(quint64 value)
{
    return value ? QStringLiteral("yes") : QStringLiteral("no");
}

// Colour description code points (ITU-T H.273), shared by "colr", "vpcC" and others.
QString colourPrimaries(quint64 code)
{
    return nameOf(code, {{1, "BT.709"}, {2, "unspecified"}, {4, "BT.470 System M"}, {5, "BT.470 System B, G (BT.601 625)"},
                         {6, "SMPTE 170M (BT.601 525)"}, {7, "SMPTE 240M"}, {8, "generic film"}, {9, "BT.2020"},
                         {10, "SMPTE ST 428-1 (XYZ)"}, {11, "SMPTE RP 431-2 (DCI-P3)"},
                         {12, "SMPTE EG 432-1 (Display P3)"}, {22, "EBU Tech. 3213-E"}});
}

QString transferCharacteristics(quint64 code)
{
    return nameOf(code, {{1, "BT.709"}, {2, "unspecified"}, {4, "BT.470 System M (gamma 2.2)"},
                         {5, "BT.470 System B, G (gamma 2.8)"}, {6, "SMPTE 170M (BT.601)"}, {7, "SMPTE 240M"},
                         {8, "linear"}, {9, "logarithmic 100:1"}, {10, "logarithmic 316:1"}, {11, "IEC 61966-2-4"},
                         {12, "BT.1361"}, {13, "IEC 61966-2-1 (sRGB)"}, {14, "BT.2020 10-bit"}, {15, "BT.2020 12-bit"},
                         {16, "SMPTE ST 2084 (PQ)"}, {17, "SMPTE ST 428-1"}, {18, "ARIB STD-B67 (HLG)"}});
}

QString matrixCoefficients(quint64 code)
{
    return nameOf(code, {{0, "identity (RGB)"}, {1, "BT.709"}, {2, "unspecified"}, {4, "FCC"},
                         {5, "BT.470 System B, G (BT.601 625)"}, {6, "SMPTE 170M (BT.601 525)"}, {7, "SMPTE 240M"},
                         {8, "YCgCo"}, {9, "BT.2020 non-constant luminance"}, {10, "BT.2020 constant luminance"},
                         {11, "SMPTE ST 2085"}, {12, "chromaticity-derived non-constant luminance"},
                         {13, "chromaticity-derived constant luminance"}, {14, "ICtCp"}});
}

// MPEG-4 systems (ISO/IEC 14496-1, 7.2.2.1, 7.2.6.6.2; the MP4 registration authority).
QString descriptorTag(quint64 tag)
{
    return nameOf(tag, {{0x01, "ObjectDescrTag"}, {0x02, "InitialObjectDescrTag"}, {0x03, "ES_DescrTag"},
                        {0x04, "DecoderConfigDescrTag"}, {0x05, "DecSpecificInfoTag"}, {0x06, "SLConfigDescrTag"},
                        {0x07, "ContentIdentDescrTag"}, {0x08, "SupplContentIdentDescrTag"},
                        {0x09, "IPI_DescrPointerTag"}, {0x0A, "IPMP_DescrPointerTag"}, {0x0B, "IPMP_DescrTag"},
                        {0x0C, "QoS_DescrTag"}, {0x0D, "RegistrationDescrTag"}, {0x0E, "ES_ID_IncTag"},
                        {0x0F, "ES_ID_RefTag"}, {0x10, "MP4_IOD_Tag"}, {0x11, "MP4_OD_Tag"},
                        {0x12, "IPL_DescrPointerRefTag"}, {0x13, "ExtensionProfileLevelDescrTag"},
                        {0x14, "profileLevelIndicationIndexDescrTag"}});
}

QString descriptorName(quint8 tag)
{
    switch (tag) {
    case 0x01:
    case 0x11: return QStringLiteral("ObjectDescriptor");
    case 0x02:
    case 0x10: return QStringLiteral("InitialObjectDescriptor");
    case 0x03: return QStringLiteral("ES_Descriptor");
    case 0x04: return QStringLiteral("DecoderConfigDescriptor");
    case 0x05: return QStringLiteral("DecoderSpecificInfo");
    case 0x06: return QStringLiteral("SLConfigDescriptor");
    case 0x0E: return QStringLiteral("ES_ID_Inc");
    case 0x0F: return QStringLiteral("ES_ID_Ref");
    default: return QStringLiteral("descriptor");
    }
}

QString objectTypeIndication(quint64 type)
{
    return nameOf(type, {{0x01, "Systems ISO/IEC 14496-1"}, {0x02, "Systems ISO/IEC 14496-1 (version 2)"},
                         {0x03, "Interaction Stream"}, {0x04, "Extended BIFS"}, {0x05, "AFX Stream"},
                         {0x06, "Font Data Stream"}, {0x07, "Synthesised Texture Stream"}, {0x08, "Text Stream"},
                         {0x09, "LASeR Stream"}, {0x0A, "Simple Aggregation Format (SAF) Stream"},
                         {0x20, "Visual ISO/IEC 14496-2"}, {0x21, "Visual ITU-T H.264 | ISO/IEC 14496-10"},
                         {0x22, "Parameter Sets for ITU-T H.264 | ISO/IEC 14496-10"},
                         {0x23, "Visual ISO/IEC 23008-2 | ITU-T H.265"}, {0x40, "Audio ISO/IEC 14496-3 (AAC)"},
                         {0x60, "Visual ISO/IEC 13818-2 Simple Profile"}, {0x61, "Visual ISO/IEC 13818-2 Main Profile"},
                         {0x62, "Visual ISO/IEC 13818-2 SNR Profile"}, {0x63, "Visual ISO/IEC 13818-2 Spatial Profile"},
                         {0x64, "Visual ISO/IEC 13818-2 High Profile"}, {0x65, "Visual ISO/IEC 13818-2 422 Profile"},
                         {0x66, "Audio ISO/IEC 13818-7 Main Profile (AAC)"},
                         {0x67, "Audio ISO/IEC 13818-7 LowComplexity Profile (AAC)"},
                         {0x68, "Audio ISO/IEC 13818-7 Scaleable Sampling Rate Profile (AAC)"},
                         {0x69, "Audio ISO/IEC 13818-3 (MP3)"}, {0x6A, "Visual ISO/IEC 11172-2"},
                         {0x6B, "Audio ISO/IEC 11172-3 (MP3)"}, {0x6C, "Visual ISO/IEC 10918-1 (JPEG)"},
                         {0x6D, "Portable Network Graphics"}, {0x6E, "Visual ISO/IEC 15444-1 (JPEG 2000)"},
                         {0xA0, "EVRC Voice"}, {0xA1, "SMV Voice"}, {0xA2, "3GPP2 Compact Multimedia Format (CMF)"},
                         {0xA3, "SMPTE VC-1 Video"}, {0xA4, "Dirac Video Coder"}, {0xA5, "AC-3 (withdrawn)"},
                         {0xA6, "Enhanced AC-3 (withdrawn)"}, {0xA7, "DRA Audio"}, {0xA8, "ITU G.719 Audio"},
                         {0xA9, "DTS-HD Core Substream"}, {0xAA, "DTS-HD Core Substream + Extension Substream"},
                         {0xAB, "DTS-HD Extension Substream containing only XLL"},
                         {0xAC, "DTS-HD Extension Substream containing only LBR"}, {0xAD, "Opus audio"},
                         {0xAE, "AC-4 (withdrawn)"}, {0xAF, "Auro-Cx 3D audio"}, {0xB0, "RealVideo Codec 11"},
                         {0xB1, "VP9 Video"}, {0xB2, "DTS-UHD profile 2"}, {0xB3, "DTS-UHD profile 3 or higher"},
                         {0xE1, "13K Voice"}, {0xFF, "no object type specified"}});
}

bool isAac(quint8 type)
{
    return type == 0x40 || (type >= 0x66 && type <= 0x68);
}

QString streamType(quint64 type)
{
    return nameOf(type, {{0x01, "ObjectDescriptorStream"}, {0x02, "ClockReferenceStream"},
                         {0x03, "SceneDescriptionStream"}, {0x04, "VisualStream"}, {0x05, "AudioStream"},
                         {0x06, "MPEG7Stream"}, {0x07, "IPMPStream"}, {0x08, "ObjectContentInfoStream"},
                         {0x09, "MPEGJStream"}, {0x0A, "Interaction Stream"}, {0x0B, "IPMPToolStream"},
                         {0x0C, "FontDataStream"}, {0x0D, "StreamingText"}});
}

QString slPredefined(quint64 value)
{
    return nameOf(value, {{0, "custom"}, {1, "null SL packet header"}, {2, "reserved for use in MP4 files"}});
}

QString profileLevel(quint64 value)
{
    return nameOf(value, {{0xFE, "no profile specified"}, {0xFF, "no capability required"}});
}

QString audioProfileLevel(quint64 value)
{
    const QString named = nameOf(value, {{0x28, "AAC Profile L1"}, {0x29, "AAC Profile L2"}, {0x2A, "AAC Profile L4"},
                                         {0x2B, "AAC Profile L5"}, {0x2C, "High Efficiency AAC Profile L2"},
                                         {0x2D, "High Efficiency AAC Profile L3"},
                                         {0x2E, "High Efficiency AAC Profile L4"},
                                         {0x2F, "High Efficiency AAC Profile L5"},
                                         {0x30, "High Efficiency AAC v2 Profile L2"},
                                         {0x31, "High Efficiency AAC v2 Profile L3"},
                                         {0x32, "High Efficiency AAC v2 Profile L4"},
                                         {0x33, "High Efficiency AAC v2 Profile L5"}});
    return named.isEmpty() ? profileLevel(value) : named;
}

QString visualProfileLevel(quint64 value)
{
    const QString named = nameOf(value, {{0x01, "Simple Profile L3"}, {0x02, "Simple Profile L2"},
                                         {0x03, "Simple Profile L1"}, {0x08, "Simple Profile L0"},
                                         {0xF0, "Advanced Simple Profile L0"}, {0xF1, "Advanced Simple Profile L1"},
                                         {0xF2, "Advanced Simple Profile L2"}, {0xF3, "Advanced Simple Profile L3"},
                                         {0xF4, "Advanced Simple Profile L4"}, {0xF5, "Advanced Simple Profile L5"},
                                         {0xF7, "Advanced Simple Profile L3b"}});
    return named.isEmpty() ? profileLevel(value) : named;
}

// AC-3 and E-AC-3 (ETSI TS 102 366, 4.4.1, 5.4.1, Annex F).
QString ac3SampleRate(quint64 fscod)
{
    return nameOf(fscod, {{0, "48000 Hz"}, {1, "44100 Hz"}, {2, "32000 Hz"}});
}

QString ac3Mode(quint64 acmod)
{
    return nameOf(acmod, {{0, "1+1 (Ch1, Ch2)"}, {1, "1/0 (C)"}, {2, "2/0 (L, R)"}, {3, "3/0 (L, C, R)"},
                          {4, "2/1 (L, R, S)"}, {5, "3/1 (L, C, R, S)"}, {6, "2/2 (L, R, SL, SR)"},
                          {7, "3/2 (L, C, R, SL, SR)"}});
}

int ac3Channels(quint64 acmod)
{
    static const int channels[] = {2, 1, 2, 3, 3, 4, 4, 5};
    return channels[acmod & 7];
}

QString ac3Service(quint64 bsmod)
{
    return nameOf(bsmod, {{0, "complete main"}, {1, "music and effects"}, {2, "visually impaired"},
                          {3, "hearing impaired"}, {4, "dialogue"}, {5, "commentary"}, {6, "emergency"},
                          {7, "voice over or karaoke"}});
}

QString ac3BitRate(quint64 code)
{
    static const int rates[] = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 448, 512, 576, 640};
    return code < std::size(rates) ? QStringLiteral("%1 kbit/s").arg(rates[code]) : QString();
}

QString kilobits(quint64 rate)
{
    return QStringLiteral("%1 kbit/s").arg(rate);
}

// QuickTime picture and sound description extensions.
QString fieldDetail(quint64 detail)
{
    return nameOf(detail, {{0, "progressive or unknown"}, {1, "separate fields, top field first"},
                           {6, "separate fields, bottom field first"},
                           {9, "interleaved fields, top field stored first, bottom displayed first"},
                           {14, "interleaved fields, bottom field stored first, top displayed first"}});
}

// The channels an AudioSpecificConfig gives by its channelConfiguration; 0 where a program
// config element lists them instead, or the bytes end first.
int aacChannels(const ByteReader &reader, qsizetype at, qsizetype end)
{
    static const int channels[] = {0, 1, 2, 3, 4, 5, 6, 8, 0, 0, 0, 7, 8, 24, 8, 0};
    BitCursor bits(reader, at);
    if (bits.read(5) == 31)
        bits.read(6);
    if (bits.read(4) == 15)
        bits.read(24);
    const quint64 configuration = bits.read(4);
    return end > at && bits.bit() <= quint64(end) * 8 ? channels[configuration] : 0;
}

QString channelLayoutTag(quint64 tag)
{
    const QString layout = nameOf(tag >> 16, {
        {0, "use channel descriptions"}, {1, "use channel bitmap"}, {100, "Mono"}, {101, "Stereo"},
        {102, "StereoHeadphones"}, {103, "MatrixStereo"}, {104, "MidSide"}, {105, "XY"}, {106, "Binaural"},
        {107, "Ambisonic_B_Format"}, {108, "Quadraphonic"}, {109, "Pentagonal"}, {110, "Hexagonal"},
        {111, "Octagonal"}, {112, "Cube"}, {113, "MPEG_3_0_A"}, {114, "MPEG_3_0_B"}, {115, "MPEG_4_0_A"},
        {116, "MPEG_4_0_B"}, {117, "MPEG_5_0_A"}, {118, "MPEG_5_0_B"}, {119, "MPEG_5_0_C"}, {120, "MPEG_5_0_D"},
        {121, "MPEG_5_1_A"}, {122, "MPEG_5_1_B"}, {123, "MPEG_5_1_C"}, {124, "MPEG_5_1_D"}, {125, "MPEG_6_1_A"},
        {126, "MPEG_7_1_A"}, {127, "MPEG_7_1_B"}, {128, "MPEG_7_1_C"}, {129, "Emagic_Default_7_1"},
        {130, "SMPTE_DTV"}, {131, "ITU_2_1"}, {132, "ITU_2_2"}, {133, "DVD_4"}, {134, "DVD_5"}, {135, "DVD_6"},
        {136, "DVD_10"}, {137, "DVD_11"}, {138, "DVD_18"}, {139, "AudioUnit_6_0"}, {140, "AudioUnit_7_0"},
        {141, "AAC_6_0"}, {142, "AAC_6_1"}, {143, "AAC_7_0"}, {144, "AAC_Octagonal"}, {145, "TMH_10_2_std"},
        {146, "TMH_10_2_full"}, {147, "DiscreteInOrder"}, {148, "AudioUnit_7_0_Front"}, {149, "AC3_1_0_1"},
        {150, "AC3_3_0"}, {151, "AC3_3_1"}, {152, "AC3_3_0_1"}, {153, "AC3_2_1_1"}, {154, "AC3_3_1_1"}});
    if (layout.isEmpty() || tag < 0x20000)
        return layout;
    return layout + QStringLiteral(", ") + channels(tag & 0xFFFF);
}

QString channelLabel(quint64 label)
{
    return nameOf(label, {{0, "Unused"}, {1, "Left"}, {2, "Right"}, {3, "Center"}, {4, "LFEScreen"},
                          {5, "LeftSurround"}, {6, "RightSurround"}, {7, "LeftCenter"}, {8, "RightCenter"},
                          {9, "CenterSurround"}, {10, "LeftSurroundDirect"}, {11, "RightSurroundDirect"},
                          {12, "TopCenterSurround"}, {13, "VerticalHeightLeft"}, {14, "VerticalHeightCenter"},
                          {15, "VerticalHeightRight"}, {16, "TopBackLeft"}, {17, "TopBackCenter"},
                          {18, "TopBackRight"}, {33, "RearSurroundLeft"}, {34, "RearSurroundRight"},
                          {35, "LeftWide"}, {36, "RightWide"}, {37, "LFE2"}, {38, "LeftTotal"}, {39, "RightTotal"},
                          {40, "HearingImpaired"}, {41, "Narration"}, {42, "Mono"}, {43, "DialogCentricMix"},
                          {44, "CenterSurroundDirect"}, {45, "Haptic"}, {100, "UseCoordinates"},
                          {0xFFFFFFFF, "Unknown"}});
}

// The bits of a channel bitmap are the labels 1 to 18 less one.
QString channelBitmap(quint64 bitmap)
{
    QStringList set;
    for (quint64 bit = 0; bit < 18; ++bit)
        if (bitmap & (quint64(1) << bit))
            set << channelLabel(bit + 1);
    return set.join(QStringLiteral(", "));
}

QString channelFlags(quint64 flags)
{
    return flagNames(flags, {{1, "rectangular coordinates"}, {2, "spherical coordinates"}, {4, "meters"}});
}

// Common encryption (ISO/IEC 23001-7, 4).
QString schemeType(quint64 type)
{
    return nameOf(type, {{0x63656E63, "AES-CTR full sample"}, {0x63626331, "AES-CBC full sample"},
                         {0x63656E73, "AES-CTR subsample pattern"}, {0x63626373, "AES-CBC subsample pattern"}});
}

QString schemeVersion(quint64 version)
{
    return QStringLiteral("%1.%2").arg(version >> 16).arg(version & 0xFFFF);
}

// Fixed-point readings of the display and light level boxes.
QString chromaticity(quint64 value) // in 0.00002 units
{
    return decimal(double(value) * 0.00002);
}

QString luminance(quint64 value) // in 0.0001 cd/m²
{
    return QStringLiteral("%1 cd/m²").arg(decimal(double(value) * 0.0001));
}

QString candelas(quint64 value)
{
    return QStringLiteral("%1 cd/m²").arg(value);
}

QString fixed0_16(quint64 value)
{
    return decimal(double(value) / 65536);
}

QString luminance24_8(quint64 value)
{
    return QStringLiteral("%1 cd/m²").arg(decimal(double(value) / 256));
}

QString luminance18_14(quint64 value)
{
    return QStringLiteral("%1 cd/m²").arg(decimal(double(value) / 16384));
}

QString fixed16_16(quint64 value)
{
    return decimal(double(value) / 65536);
}

} // namespace

void ContainerIso::addCodecConfigurationBoxes()
{
    // Boxes that only hold boxes.
    for (const char *type : {"sinf", "schi"})
        addBox(type, Master, 0, nullptr);
    // A QuickTime "wave" may hold an "mp4a" atom of four zero bytes.
    addBox("mp4a", Binary, 0, nullptr);

    // box       type    full  handler
    addBox("avcC", Binary, 0, &ContainerIso::parseBoxAVCC);
    addBox("hvcC", Binary, 0, &ContainerIso::parseBoxHVCC);
    addBox("av1C", Binary, 0, &ContainerIso::parseBoxAV1C);
    addBox("vpcC", Binary, 1, &ContainerIso::parseBoxVPCC);
    addBox("SmDm", Binary, 1, &ContainerIso::parseBoxSMDM);
    addBox("CoLL", Binary, 1, &ContainerIso::parseBoxCLLI);
    addBox("dOps", Binary, 0, &ContainerIso::parseBoxDOPS);
    addBox("dfLa", Binary, 1, &ContainerIso::parseBoxDFLA);
    addBox("dac3", Binary, 0, &ContainerIso::parseBoxDAC3);
    addBox("dec3", Binary, 0, &ContainerIso::parseBoxDEC3);
    addBox("esds", Binary, 1, &ContainerIso::parseBoxESDS);
    addBox("iods", Binary, 1, &ContainerIso::parseBoxIODS);
    addBox("btrt", Binary, 0, &ContainerIso::parseBoxBTRT);
    addBox("pasp", Binary, 0, &ContainerIso::parseBoxPASP);
    addBox("clap", Binary, 0, &ContainerIso::parseBoxCLAP);
    addBox("colr", Binary, 0, &ContainerIso::parseBoxCOLR);
    addBox("mdcv", Binary, 0, &ContainerIso::parseBoxMDCV);
    addBox("clli", Binary, 0, &ContainerIso::parseBoxCLLI);
    addBox("fiel", Binary, 0, &ContainerIso::parseBoxFIEL);
    addBox("gama", Binary, 0, &ContainerIso::parseBoxGAMA);
    addBox("chan", Binary, 1, &ContainerIso::parseBoxCHAN);
    addBox("wave", Binary, 0, &ContainerIso::parseBoxWAVE);
    addBox("frma", Binary, 0, &ContainerIso::parseBoxFRMA);
    addBox("enda", Binary, 0, &ContainerIso::parseBoxENDA);
    addBox("schm", Binary, 1, &ContainerIso::parseBoxSCHM);
    addBox("tenc", Binary, 1, &ContainerIso::parseBoxTENC);
    addBox("ftab", Binary, 0, &ContainerIso::parseBoxFTAB);
    addBox("vttC", Binary, 0, &ContainerIso::parseTextConfiguration);
    addBox("vlab", Binary, 0, &ContainerIso::parseTextConfiguration);
    addBox("txtC", Binary, 1, &ContainerIso::parseTextConfiguration);
}

quint64 ContainerIso::addNumber(quint64 offset, const ByteReader &reader, qsizetype at, int bytes, const QString &name,
                                QString (*readable)(quint64))
{
    return CodecConfigFields(*this, offset, reader).addNumber(at, bytes, name, readable);
}

quint64 ContainerIso::addBits(quint64 offset, BitCursor &bits, int count, const QString &name,
                              QString (*readable)(quint64))
{
    return CodecConfigFields(*this, offset, bits.reader()).addBits(bits, count, name, readable);
}

qsizetype ContainerIso::addCString(quint64 offset, const ByteReader &reader, qsizetype at, qsizetype end,
                                   const QString &name)
{
    if (at >= end)
        return at;
    const QByteArray bytes = reader.bytes(at, end - at);
    const qsizetype zero = bytes.indexOf('\0');
    const qsizetype length = zero < 0 ? bytes.size() : zero + 1;
    addField(offset + quint64(at), quint64(length), name, QString::fromUtf8(bytes.left(zero < 0 ? length : zero)));
    if (zero < 0)
        addNote(QStringLiteral("%1 has no terminating zero byte.").arg(name));
    return at + length;
}

// avcC, AVCDecoderConfigurationRecord (ISO/IEC 14496-15, 5.3.3.1).
int ContainerIso::parseBoxAVCC(quint64 offset, quint64 size)
{
    if (StreamRecord *stream = currentStream()) {
        stream->configOffset = offset;
        stream->configSize = size;
    }
    CodecConfigFields(*this, offset, ByteReader(readAt(offset, size))).addAvcConfiguration();
    return Status::Success;
}

// hvcC, HEVCDecoderConfigurationRecord (ISO/IEC 14496-15, 8.3.3.1).
int ContainerIso::parseBoxHVCC(quint64 offset, quint64 size)
{
    CodecConfigFields(*this, offset, ByteReader(readAt(offset, size))).addHevcConfiguration();
    return Status::Success;
}

// av1C, AV1CodecConfigurationRecord.
int ContainerIso::parseBoxAV1C(quint64 offset, quint64 size)
{
    CodecConfigFields(*this, offset, ByteReader(readAt(offset, size))).addAv1Configuration();
    return Status::Success;
}

// vpcC (full box), version 1: profile (8) level (8) bitDepth (4) chromaSubsampling (3)
// videoFullRangeFlag (1) colourPrimaries (8) transferCharacteristics (8)
// matrixCoefficients (8) codecInitializationDataSize (16) codecInitializationData.
// Version 0: profile (8) level (8) bitDepth (4) colorSpace (4) chromaSubsampling (4)
// transferFunction (3) videoFullRangeFlag (1) codecIntializationDataSize (16), data.
int ContainerIso::parseBoxVPCC(quint64 offset, quint64 size)
{
    const QByteArray payload = readAt(offset, size);
    const ByteReader reader(payload);
    addNumber(offset, reader, 0, 1, QStringLiteral("profile"));
    addNumber(offset, reader, 1, 1, QStringLiteral("level"), vpLevel);
    BitCursor bits(reader, 2);
    addBits(offset, bits, 4, QStringLiteral("bitDepth"), [](quint64 depth) { return QStringLiteral("%1 bits").arg(depth); });
    qsizetype at = 0;
    if (fullBoxVersion == 0) {
        addBits(offset, bits, 4, QStringLiteral("colorSpace"));
        addBits(offset, bits, 4, QStringLiteral("chromaSubsampling"));
        addBits(offset, bits, 3, QStringLiteral("transferFunction"));
        addBits(offset, bits, 1, QStringLiteral("videoFullRangeFlag"));
        at = 4;
    } else {
        addBits(offset, bits, 3, QStringLiteral("chromaSubsampling"), vpChromaSubsampling);
        addBits(offset, bits, 1, QStringLiteral("videoFullRangeFlag"));
        addNumber(offset, reader, 3, 1, QStringLiteral("colourPrimaries"), colourPrimaries);
        addNumber(offset, reader, 4, 1, QStringLiteral("transferCharacteristics"), transferCharacteristics);
        addNumber(offset, reader, 5, 1, QStringLiteral("matrixCoefficients"), matrixCoefficients);
        at = 6;
    }
    const quint64 length = addNumber(offset, reader, at, 2, QStringLiteral("codecInitializationDataSize"));
    if (length > 0)
        addField(offset + quint64(at) + 2, length, QStringLiteral("codecInitializationData"), QString());
    return Status::Success;
}

// SmDm (full box): the chromaticities of the red, green and blue primaries and of the white
// point, x and y (0.16 fixed point each), luminanceMax (24.8), luminanceMin (18.14).
int ContainerIso::parseBoxSMDM(quint64 offset, quint64 size)
{
    const QByteArray payload = readAt(offset, size);
    const ByteReader reader(payload);
    qsizetype at = 0;
    for (const char *name : {"primaryRChromaticity_x", "primaryRChromaticity_y", "primaryGChromaticity_x",
                             "primaryGChromaticity_y", "primaryBChromaticity_x", "primaryBChromaticity_y",
                             "whitePointChromaticity_x", "whitePointChromaticity_y"}) {
        addNumber(offset, reader, at, 2, QLatin1String(name), fixed0_16);
        at += 2;
    }
    addNumber(offset, reader, 16, 4, QStringLiteral("luminanceMax"), luminance24_8);
    addNumber(offset, reader, 20, 4, QStringLiteral("luminanceMin"), luminance18_14);
    return Status::Success;
}

// dOps, OpusSpecificBox: the Opus identification header's fields, big-endian.
int ContainerIso::parseBoxDOPS(quint64 offset, quint64 size)
{
    CodecConfigFields(*this, offset, ByteReader(readAt(offset, size))).addOpusSpecificBox();
    return Status::Success;
}

// dfLa (full box): FLAC metadata blocks.
int ContainerIso::parseBoxDFLA(quint64 offset, quint64 size)
{
    const bool whole = CodecConfigFields(*this, offset, ByteReader(readAt(offset, size))).addFlacMetadataBlocks(0);
    return whole ? Status::Success : Status::UnexpectedEnd;
}

// dac3, AC3SpecificBox: fscod (2) bsid (5) bsmod (3) acmod (3) lfeon (1) bit_rate_code (5)
// reserved (5).
int ContainerIso::parseBoxDAC3(quint64 offset, quint64 size)
{
    const QByteArray payload = readAt(offset, size);
    const ByteReader reader(payload);
    BitCursor bits(reader, 0);
    addBits(offset, bits, 2, QStringLiteral("fscod"), ac3SampleRate);
    addBits(offset, bits, 5, QStringLiteral("bsid"));
    addBits(offset, bits, 3, QStringLiteral("bsmod"), ac3Service);
    const quint64 mode = addBits(offset, bits, 3, QStringLiteral("acmod"), ac3Mode);
    const quint64 at = bits.bit();
    const quint64 lfe = bits.read(1);
    addBitField(offset + at / 8, uchar(at % 8), 1, QStringLiteral("lfeon"), number(lfe),
                channels(quint64(ac3Channels(mode)) + lfe));
    StreamRecord *stream = currentStream();
    if (stream && stream->kind == StreamRecord::Audio && reader.has(0, 2))
        stream->channels = ac3Channels(mode) + int(lfe);
    addBits(offset, bits, 5, QStringLiteral("bit_rate_code"), ac3BitRate);
    addBits(offset, bits, 5, QStringLiteral("reserved"));
    if (size > 3)
        addField(offset + 3, size - 3, QStringLiteral("data"), QString());
    return Status::Success;
}

// dec3, EC3SpecificBox: data_rate (13) num_ind_sub (3), then num_ind_sub + 1 independent
// substreams: fscod (2) bsid (5) reserved (1) asvc (1) bsmod (3) acmod (3) lfeon (1)
// reserved (3) num_dep_sub (4), chan_loc (9) when num_dep_sub > 0, else reserved (1); then
// optionally reserved (7) flag_ec3_extension_type_a (1) complexity_index_type_a (8).
int ContainerIso::parseBoxDEC3(quint64 offset, quint64 size)
{
    const QByteArray payload = readAt(offset, size);
    const ByteReader reader(payload);
    BitCursor bits(reader, 0);
    addBits(offset, bits, 13, QStringLiteral("data_rate"), kilobits);
    const quint64 substreams = addBits(offset, bits, 3, QStringLiteral("num_ind_sub"),
                                       [](quint64 value) {
        return value == 0 ? QStringLiteral("1 substream") : QStringLiteral("%1 substreams").arg(value + 1);
    }) + 1;
    int status = Status::Success;
    quint64 i = 0;
    for (; i < substreams && bits.nextByte() < reader.size(); ++i) {
        const qsizetype at = bits.nextByte();
        const quint64 bytes = (reader.u8(at + 2) >> 1 & 0xF) ? 4 : 3;
        const bool whole = addGroup(offset + quint64(at), bytes, QStringLiteral("independent_substream"), qint64(i), [&] {
            addBits(offset, bits, 2, QStringLiteral("fscod"), ac3SampleRate);
            addBits(offset, bits, 5, QStringLiteral("bsid"));
            addBits(offset, bits, 1, QStringLiteral("reserved"));
            addBits(offset, bits, 1, QStringLiteral("asvc"));
            addBits(offset, bits, 3, QStringLiteral("bsmod"), ac3Service);
            addBits(offset, bits, 3, QStringLiteral("acmod"), ac3Mode);
            addBits(offset, bits, 1, QStringLiteral("lfeon"));
            addBits(offset, bits, 3, QStringLiteral("reserved"));
            if (addBits(offset, bits, 4, QStringLiteral("num_dep_sub")) > 0)
                addBits(offset, bits, 9, QStringLiteral("chan_loc"));
            else
                addBits(offset, bits, 1, QStringLiteral("reserved"));
        });
        if (!whole)
            status = Status::UnexpectedEnd;
    }
    if (i < substreams)
        addNote(QStringLiteral("num_ind_sub gives %1 substreams; the box holds the start of %2 of them.").arg(substreams).arg(i));
    qsizetype at = bits.nextByte();
    if (at < reader.size()) {
        addBits(offset, bits, 7, QStringLiteral("reserved"));
        if (addBits(offset, bits, 1, QStringLiteral("flag_ec3_extension_type_a")))
            addBits(offset, bits, 8, QStringLiteral("complexity_index_type_a"));
        else
            addBits(offset, bits, 8, QStringLiteral("reserved"));
        at += 2;
    }
    if (at < reader.size())
        addField(offset + quint64(at), quint64(reader.size() - at), QStringLiteral("data"), QString());
    return status;
}

// esds (full box): an ES_Descriptor.
int ContainerIso::parseBoxESDS(quint64 offset, quint64 size)
{
    const QByteArray payload = readAt(offset, size);
    const ByteReader reader(payload);
    bool whole = true;
    walkDescriptors(offset, reader, 0, reader.size(), 0, &whole);
    return whole ? Status::Success : Status::UnexpectedEnd;
}

// iods (full box): an InitialObjectDescriptor.
int ContainerIso::parseBoxIODS(quint64 offset, quint64 size)
{
    return parseBoxESDS(offset, size);
}

void ContainerIso::walkDescriptors(quint64 offset, const ByteReader &reader, qsizetype at, qsizetype end,
                                   quint8 objectType, bool *whole)
{
    if (at < end && depth() >= maxDepth) {
        addField(offset + quint64(at), quint64(end - at), QStringLiteral("data"), QString());
        addNote(QStringLiteral("The descriptors are nested too deeply; the ones inside this one are not walked."));
        return;
    }
    while (at < end)
        at = walkDescriptor(offset, reader, at, end, objectType, whole);
}

// A descriptor: tag (8), then its size in 1 to 4 bytes of 7 bits each, the high bit set in
// every byte but the last (ISO/IEC 14496-1, 8.3.3), then size bytes of fields.
qsizetype ContainerIso::walkDescriptor(quint64 offset, const ByteReader &reader, qsizetype at, qsizetype end,
                                       quint8 objectType, bool *whole)
{
    const quint8 tag = reader.u8(at);
    quint64 length = 0;
    int sizeBytes = 0;
    bool more = true;
    while (more && sizeBytes < 4) {
        const quint8 byte = reader.u8(at + 1 + sizeBytes);
        length = length << 7 | (byte & 0x7F);
        more = byte & 0x80;
        ++sizeBytes;
    }
    const qsizetype body = at + 1 + sizeBytes;
    const qsizetype bodyEnd = qsizetype(qMin<quint64>(quint64(end), quint64(body) + length));
    const bool fits = addGroup(offset + quint64(at), quint64(1 + sizeBytes) + length, descriptorName(tag), -1, [&] {
        addNumber(offset, reader, at, 1, QStringLiteral("tag"), descriptorTag);
        addField(offset + quint64(at) + 1, quint64(sizeBytes), QStringLiteral("sizeOfInstance"), number(length));
        if (more)
            addNote(QStringLiteral("The size goes on past 4 bytes; it is read from the first 4."));
        if (body < bodyEnd)
            addDescriptorFields(offset, reader, tag, body, bodyEnd, objectType, whole);
    });
    if (!fits)
        *whole = false;
    return qMax(bodyEnd, body);
}

// ES_Descriptor (7.2.6.5), DecoderConfigDescriptor (7.2.6.6), DecoderSpecificInfo (7.2.6.7),
// SLConfigDescriptor (7.2.6.8), ObjectDescriptor and InitialObjectDescriptor (7.2.6.3, 7.2.6.4),
// ES_ID_Inc and ES_ID_Ref (7.2.6.12, 7.2.6.13); others are shown as data.
void ContainerIso::addDescriptorFields(quint64 offset, const ByteReader &reader, quint8 tag, qsizetype at,
                                       qsizetype end, quint8 objectType, bool *whole)
{
    const auto url = [&](qsizetype from) {
        const qsizetype length = reader.u8(from);
        addNumber(offset, reader, from, 1, QStringLiteral("URLlength"));
        if (length > 0)
            addField(offset + quint64(from) + 1, quint64(length), QStringLiteral("URLstring"),
                     QString::fromUtf8(reader.bytes(from + 1, length)));
        return from + 1 + length;
    };
    const auto rest = [&](qsizetype from) {
        if (from < end)
            addField(offset + quint64(from), quint64(end - from), QStringLiteral("data"), QString());
    };
    BitCursor bits(reader, at);
    switch (tag) {
    case 0x03: {
        addBits(offset, bits, 16, QStringLiteral("ES_ID"));
        const bool dependence = addBits(offset, bits, 1, QStringLiteral("streamDependenceFlag"));
        const bool hasUrl = addBits(offset, bits, 1, QStringLiteral("URL_Flag"));
        const bool ocr = addBits(offset, bits, 1, QStringLiteral("OCRstreamFlag"));
        addBits(offset, bits, 5, QStringLiteral("streamPriority"));
        if (dependence)
            addBits(offset, bits, 16, QStringLiteral("dependsOn_ES_ID"));
        qsizetype next = bits.nextByte();
        if (hasUrl)
            next = url(next);
        if (ocr) {
            addNumber(offset, reader, next, 2, QStringLiteral("OCR_ES_Id"));
            next += 2;
        }
        walkDescriptors(offset, reader, next, end, objectType, whole);
        return;
    }
    case 0x04: {
        const quint8 type = quint8(addNumber(offset, reader, at, 1, QStringLiteral("objectTypeIndication"),
                                                  objectTypeIndication));
        BitCursor flags(reader, at + 1);
        addBits(offset, flags, 6, QStringLiteral("streamType"), streamType);
        addBits(offset, flags, 1, QStringLiteral("upStream"));
        addBits(offset, flags, 1, QStringLiteral("reserved"));
        addNumber(offset, reader, at + 2, 3, QStringLiteral("bufferSizeDB"));
        addNumber(offset, reader, at + 5, 4, QStringLiteral("maxBitrate"));
        addNumber(offset, reader, at + 9, 4, QStringLiteral("avgBitrate"));
        walkDescriptors(offset, reader, at + 13, end, type, whole);
        return;
    }
    case 0x05:
        if (isAac(objectType)) {
            // The sound sample entry of an MP4 file holds 2 channels whatever the stream has;
            // the decoder's configuration tells.
            StreamRecord *stream = currentStream();
            const int channels = aacChannels(reader, at, end);
            if (stream && stream->kind == StreamRecord::Audio && channels > 0)
                stream->channels = channels;
            CodecConfigFields(*this, offset, reader).addAudioSpecificConfig(at, end);
        } else {
            rest(at);
        }
        return;
    case 0x06:
        addNumber(offset, reader, at, 1, QStringLiteral("predefined"), slPredefined);
        rest(at + 1);
        return;
    case 0x0E:
        addNumber(offset, reader, at, 4, QStringLiteral("Track_ID"));
        rest(at + 4);
        return;
    case 0x0F:
        addNumber(offset, reader, at, 2, QStringLiteral("ref_index"));
        rest(at + 2);
        return;
    case 0x01:
    case 0x11: {
        addBits(offset, bits, 10, QStringLiteral("ObjectDescriptorID"));
        const bool hasUrl = addBits(offset, bits, 1, QStringLiteral("URL_Flag"));
        addBits(offset, bits, 5, QStringLiteral("reserved"));
        walkDescriptors(offset, reader, hasUrl ? url(at + 2) : at + 2, end, objectType, whole);
        return;
    }
    case 0x02:
    case 0x10: {
        addBits(offset, bits, 10, QStringLiteral("ObjectDescriptorID"));
        const bool hasUrl = addBits(offset, bits, 1, QStringLiteral("URL_Flag"));
        addBits(offset, bits, 1, QStringLiteral("includeInlineProfileLevelFlag"));
        addBits(offset, bits, 4, QStringLiteral("reserved"));
        qsizetype next = at + 2;
        if (hasUrl) {
            next = url(next);
        } else {
            addNumber(offset, reader, next, 1, QStringLiteral("ODProfileLevelIndication"), profileLevel);
            addNumber(offset, reader, next + 1, 1, QStringLiteral("sceneProfileLevelIndication"), profileLevel);
            addNumber(offset, reader, next + 2, 1, QStringLiteral("audioProfileLevelIndication"), audioProfileLevel);
            addNumber(offset, reader, next + 3, 1, QStringLiteral("visualProfileLevelIndication"), visualProfileLevel);
            addNumber(offset, reader, next + 4, 1, QStringLiteral("graphicsProfileLevelIndication"), profileLevel);
            next += 5;
        }
        walkDescriptors(offset, reader, next, end, objectType, whole);
        return;
    }
    default:
        rest(at);
    }
}

// btrt: bufferSizeDB (32) maxBitrate (32) avgBitrate (32).
int ContainerIso::parseBoxBTRT(quint64 offset, quint64 size)
{
    const QByteArray payload = readAt(offset, size);
    const ByteReader reader(payload);
    addNumber(offset, reader, 0, 4, QStringLiteral("bufferSizeDB"));
    addNumber(offset, reader, 4, 4, QStringLiteral("maxBitrate"));
    addNumber(offset, reader, 8, 4, QStringLiteral("avgBitrate"));
    return Status::Success;
}

// pasp: hSpacing (32) vSpacing (32), the pixel aspect ratio.
int ContainerIso::parseBoxPASP(quint64 offset, quint64 size)
{
    const QByteArray payload = readAt(offset, size);
    const ByteReader reader(payload);
    const quint32 h = reader.u32be(0);
    const quint32 v = reader.u32be(4);
    addField(offset, 4, QStringLiteral("hSpacing"), number(h));
    addField(offset + 4, 4, QStringLiteral("vSpacing"), number(v),
             v ? QStringLiteral("%1:%2 = %3").arg(h).arg(v).arg(decimal(double(h) / v)) : QString());
    return Status::Success;
}

// clap: cleanApertureWidthN/D, cleanApertureHeightN/D, horizOffN/D, vertOffN/D (32 each; the
// offsets' numerators are signed).
int ContainerIso::parseBoxCLAP(quint64 offset, quint64 size)
{
    const QByteArray payload = readAt(offset, size);
    const ByteReader reader(payload);
    qsizetype at = 0;
    for (const char *name : {"cleanApertureWidth", "cleanApertureHeight", "horizOff", "vertOff"}) {
        const bool signedNumerator = at >= 16;
        const qint64 numerator = signedNumerator ? qint64(qint32(reader.u32be(at))) : qint64(reader.u32be(at));
        const quint32 denominator = reader.u32be(at + 4);
        const QString base = QLatin1String(name);
        addField(offset + quint64(at), 4, base + QLatin1Char('N'), signedNumber(numerator));
        addField(offset + quint64(at) + 4, 4, base + QLatin1Char('D'), number(denominator),
                 denominator ? QStringLiteral("%1/%2 = %3").arg(numerator).arg(denominator)
                                   .arg(decimal(double(numerator) / denominator))
                             : QString());
        at += 8;
    }
    return Status::Success;
}

// colr: colour_type (32); "nclx": colour_primaries (16) transfer_characteristics (16)
// matrix_coefficients (16) full_range_flag (1) reserved (7); QuickTime "nclc": the same three
// without the range flag; "prof", "rICC": an ICC profile.
int ContainerIso::parseBoxCOLR(quint64 offset, quint64 size)
{
    const QByteArray payload = readAt(offset, size);
    const ByteReader reader(payload);
    const QString type = fourCharacters(reader, 0);
    addField(offset, 4, QStringLiteral("colour_type"), type);
    if (type == QLatin1String("nclx") || type == QLatin1String("nclc")) {
        addNumber(offset, reader, 4, 2, QStringLiteral("colour_primaries"), colourPrimaries);
        addNumber(offset, reader, 6, 2, QStringLiteral("transfer_characteristics"), transferCharacteristics);
        addNumber(offset, reader, 8, 2, QStringLiteral("matrix_coefficients"), matrixCoefficients);
        qsizetype at = 10;
        if (type == QLatin1String("nclx")) {
            BitCursor bits(reader, 10);
            addBits(offset, bits, 1, QStringLiteral("full_range_flag"),
                    [](quint64 full) { return full ? QStringLiteral("full range") : QStringLiteral("limited range"); });
            addBits(offset, bits, 7, QStringLiteral("reserved"));
            at = 11;
        }
        if (quint64(at) < size)
            addField(offset + quint64(at), size - quint64(at), QStringLiteral("data"), QString());
    } else if (size > 4) {
        const bool icc = type == QLatin1String("prof") || type == QLatin1String("rICC");
        addField(offset + 4, size - 4, icc ? QStringLiteral("ICC_profile") : QStringLiteral("data"), QString());
    }
    return Status::Success;
}

// mdcv: display_primaries_x, display_primaries_y (16 each, in 0.00002) for three primaries,
// white_point_x, white_point_y (16 each), max and min_display_mastering_luminance (32 each, in
// 0.0001 cd/m²).
int ContainerIso::parseBoxMDCV(quint64 offset, quint64 size)
{
    const QByteArray payload = readAt(offset, size);
    const ByteReader reader(payload);
    for (int c = 0; c < 3; ++c) {
        const qsizetype at = 4 * c;
        addField(offset + quint64(at), 2, QStringLiteral("display_primaries_x"), number(reader.u16be(at)),
                 chromaticity(reader.u16be(at)), QString(), c);
        addField(offset + quint64(at) + 2, 2, QStringLiteral("display_primaries_y"), number(reader.u16be(at + 2)),
                 chromaticity(reader.u16be(at + 2)), QString(), c);
    }
    addNumber(offset, reader, 12, 2, QStringLiteral("white_point_x"), chromaticity);
    addNumber(offset, reader, 14, 2, QStringLiteral("white_point_y"), chromaticity);
    addNumber(offset, reader, 16, 4, QStringLiteral("max_display_mastering_luminance"), luminance);
    addNumber(offset, reader, 20, 4, QStringLiteral("min_display_mastering_luminance"), luminance);
    return Status::Success;
}

// clli, and CoLL (its full-box form for VP9): max_content_light_level (16)
// max_pic_average_light_level (16), in cd/m²; CoLL names them maxCLL and maxFALL.
int ContainerIso::parseBoxCLLI(quint64 offset, quint64 size)
{
    const QByteArray payload = readAt(offset, size);
    const ByteReader reader(payload);
    const bool vp9 = enclosingBox(0) == QLatin1String("CoLL");
    addNumber(offset, reader, 0, 2, vp9 ? QStringLiteral("maxCLL") : QStringLiteral("max_content_light_level"), candelas);
    addNumber(offset, reader, 2, 2, vp9 ? QStringLiteral("maxFALL") : QStringLiteral("max_pic_average_light_level"),
              candelas);
    return Status::Success;
}

// fiel (QuickTime): fields (8), 1 progressive or 2 interlaced; detail (8), their order.
int ContainerIso::parseBoxFIEL(quint64 offset, quint64 size)
{
    const QByteArray payload = readAt(offset, size);
    const ByteReader reader(payload);
    addNumber(offset, reader, 0, 1, QStringLiteral("fields"), [](quint64 fields) {
        return nameOf(fields, {{1, "progressive"}, {2, "interlaced"}});
    });
    addNumber(offset, reader, 1, 1, QStringLiteral("detail"), fieldDetail);
    return Status::Success;
}

// gama (QuickTime): the gamma, 16.16 fixed point.
int ContainerIso::parseBoxGAMA(quint64 offset, quint64 size)
{
    const QByteArray payload = readAt(offset, size);
    const ByteReader reader(payload);
    addNumber(offset, reader, 0, 4, QStringLiteral("gamma"), fixed16_16);
    return Status::Success;
}

// chan (QuickTime, full box): an audio channel layout, mChannelLayoutTag (32) mChannelBitmap
// (32) mNumberChannelDescriptions (32), then 20-byte descriptions: mChannelLabel (32)
// mChannelFlags (32) mCoordinates (3 x 32-bit float).
int ContainerIso::parseBoxCHAN(quint64 offset, quint64 size)
{
    const QByteArray payload = readAt(offset, size);
    const ByteReader reader(payload);
    addNumber(offset, reader, 0, 4, QStringLiteral("mChannelLayoutTag"), channelLayoutTag);
    addNumber(offset, reader, 4, 4, QStringLiteral("mChannelBitmap"), channelBitmap);
    const quint64 claimed = addNumber(offset, reader, 8, 4, QStringLiteral("mNumberChannelDescriptions"));
    const quint64 walked = forEachEntry(claimed, 12, size, 20, [&](quint64 i, quint64 at) {
        const qsizetype pos = qsizetype(at);
        beginGroup(offset + at, 20, QStringLiteral("mChannelDescriptions"), qint64(i));
        addNumber(offset, reader, pos, 4, QStringLiteral("mChannelLabel"), channelLabel);
        addNumber(offset, reader, pos + 4, 4, QStringLiteral("mChannelFlags"), channelFlags);
        addField(offset + at + 8, 12, QStringLiteral("mCoordinates"),
                 QStringLiteral("%1, %2, %3")
                     .arg(decimal(floatAt(reader, pos + 8)), decimal(floatAt(reader, pos + 12)),
                          decimal(floatAt(reader, pos + 16))));
        endGroup();
    });
    const quint64 end = 12 + walked * 20;
    if (end < size)
        addField(offset + end, size - end, QStringLiteral("data"), QString());
    return Status::Success;
}

// wave (QuickTime): the boxes of a sound description's decoder, up to a terminator: an 8-byte
// box of type zero (the walker shows it), or a zero size word, followed by zeros to the end.
int ContainerIso::parseBoxWAVE(quint64 offset, quint64 size)
{
    const QByteArray payload = readAt(offset, size);
    const ByteReader reader(payload);
    qsizetype end = 0;
    while (end + 4 <= reader.size() && reader.u32be(end) >= 8 && reader.u32be(end) <= quint64(reader.size() - end))
        end += qsizetype(reader.u32be(end));
    const qsizetype tail = reader.size() - end;
    const bool terminator = tail > 0 && tail <= 8 && reader.u32be(end) == 0
                            && reader.bytes(end, tail) == QByteArray(tail, '\0');
    if (!terminator)
        return walkBoxes(offset);
    int status = Status::Success;
    if (end > 0) {
        const Bound boxes(*this, offset + quint64(end));
        status = walkBoxes(offset);
    }
    addField(offset + quint64(end), quint64(tail), QStringLiteral("terminator"), QStringLiteral("0"));
    return status;
}

// frma: data_format (32), the sample entry type the protected or wrapped entry stands for.
int ContainerIso::parseBoxFRMA(quint64 offset, quint64 size)
{
    const QByteArray payload = readAt(offset, size);
    const ByteReader reader(payload);
    addField(offset, 4, QStringLiteral("data_format"), fourCharacters(reader, 0));
    if (size > 4)
        addField(offset + 4, size - 4, QStringLiteral("data"), QString());
    return Status::Success;
}

// enda (QuickTime): littleEndian (16), the byte order of the samples.
int ContainerIso::parseBoxENDA(quint64 offset, quint64 size)
{
    const QByteArray payload = readAt(offset, size);
    const ByteReader reader(payload);
    addNumber(offset, reader, 0, 2, QStringLiteral("littleEndian"), [](quint64 little) {
        return little ? QStringLiteral("little-endian") : QStringLiteral("big-endian");
    });
    return Status::Success;
}

// schm (full box): scheme_type (32) scheme_version (32, major.minor 16 bits each), and with
// flags & 1 scheme_uri (a zero-terminated UTF-8 string).
int ContainerIso::parseBoxSCHM(quint64 offset, quint64 size)
{
    const uint flags = fullBoxFlags;
    const QByteArray payload = readAt(offset, size);
    const ByteReader reader(payload);
    addField(offset, 4, QStringLiteral("scheme_type"), fourCharacters(reader, 0), schemeType(reader.u32be(0)));
    addNumber(offset, reader, 4, 4, QStringLiteral("scheme_version"), schemeVersion);
    if (flags & 1)
        addCString(offset, reader, 8, reader.size(), QStringLiteral("scheme_uri"));
    return Status::Success;
}

// tenc (full box): reserved (8), then reserved (8) in version 0 or default_crypt_byte_block (4)
// default_skip_byte_block (4); default_isProtected (8) default_Per_Sample_IV_Size (8)
// default_KID (128); for a protected track with IV size 0, default_constant_IV_size (8) and
// default_constant_IV.
int ContainerIso::parseBoxTENC(quint64 offset, quint64 size)
{
    const uint version = fullBoxVersion;
    const QByteArray payload = readAt(offset, size);
    const ByteReader reader(payload);
    addNumber(offset, reader, 0, 1, QStringLiteral("reserved"));
    if (version == 0) {
        addNumber(offset, reader, 1, 1, QStringLiteral("reserved"));
    } else {
        BitCursor bits(reader, 1);
        addBits(offset, bits, 4, QStringLiteral("default_crypt_byte_block"));
        addBits(offset, bits, 4, QStringLiteral("default_skip_byte_block"));
    }
    const quint64 isProtected = addNumber(offset, reader, 2, 1, QStringLiteral("default_isProtected"), yesNo);
    const quint64 ivSize = addNumber(offset, reader, 3, 1, QStringLiteral("default_Per_Sample_IV_Size"));
    addField(offset + 4, 16, QStringLiteral("default_KID"),
             QUuid::fromRfc4122(reader.bytes(4, 16).leftJustified(16, '\0')).toString(QUuid::WithoutBraces));
    if (isProtected == 1 && ivSize == 0) {
        const quint64 constantSize = addNumber(offset, reader, 20, 1, QStringLiteral("default_constant_IV_size"));
        if (constantSize > 0)
            addField(offset + 21, constantSize, QStringLiteral("default_constant_IV"),
                     QString::fromLatin1(reader.bytes(21, qsizetype(constantSize)).toHex()));
    }
    return Status::Success;
}

int ContainerIso::parseTextConfiguration(quint64 offset, quint64 size)
{
    const QByteArray payload = readAt(offset, size);
    const QString name = enclosingBox(0) == QLatin1String("vlab") ? QStringLiteral("source_label")
                                                                   : QStringLiteral("config");
    if (size > 0)
        addField(offset, size, name, QString::fromUtf8(payload));
    return Status::Success;
}
