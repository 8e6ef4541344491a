#include "container_mkv.h"

#include <QStringList>

#include <utility>

namespace {

constexpr quint32 contentEncodingScopeId = 0x5032;

struct EnumRow
{
    quint32 id;
    quint64 value;
    const char *label;
};

// One row per value the format names, of an enumerated integer element: identifier, value and
// label as the format gives it.
const EnumRow enumRows[] = {
    // ChapterTranslateCodec
    {0x69BF,  0,  "Matroska Script"},
    {0x69BF,  1,  "DVD-menu"},
    // TrackType
    {0x83,    1,  "video"},
    {0x83,    2,  "audio"},
    {0x83,    3,  "complex"},
    {0x83,    16, "logo"},
    {0x83,    17, "subtitle"},
    {0x83,    18, "buttons"},
    {0x83,    32, "control"},
    {0x83,    33, "metadata"},
    // TrackTranslateCodec
    {0x66BF,  0,  "Matroska Script"},
    {0x66BF,  1,  "DVD-menu"},
    // FlagInterlaced
    {0x9A,    0,  "undetermined"},
    {0x9A,    1,  "interlaced"},
    {0x9A,    2,  "progressive"},
    // FieldOrder
    {0x9D,    0,  "progressive"},
    {0x9D,    1,  "tff"},
    {0x9D,    2,  "undetermined"},
    {0x9D,    6,  "bff"},
    {0x9D,    9,  "tff (interleaved)"},
    {0x9D,    14, "bff (interleaved)"},
    // StereoMode
    {0x53B8,  0,  "mono"},
    {0x53B8,  1,  "side by side (left eye first)"},
    {0x53B8,  2,  "top - bottom (right eye is first)"},
    {0x53B8,  3,  "top - bottom (left eye is first)"},
    {0x53B8,  4,  "checkboard (right eye is first)"},
    {0x53B8,  5,  "checkboard (left eye is first)"},
    {0x53B8,  6,  "row interleaved (right eye is first)"},
    {0x53B8,  7,  "row interleaved (left eye is first)"},
    {0x53B8,  8,  "column interleaved (right eye is first)"},
    {0x53B8,  9,  "column interleaved (left eye is first)"},
    {0x53B8,  10, "anaglyph (cyan/red)"},
    {0x53B8,  11, "side by side (right eye first)"},
    {0x53B8,  12, "anaglyph (green/magenta)"},
    {0x53B8,  13, "both eyes laced in one Block (left eye is first)"},
    {0x53B8,  14, "both eyes laced in one Block (right eye is first)"},
    // AlphaMode
    {0x53C0,  0,  "none"},
    {0x53C0,  1,  "present"},
    // OldStereoMode
    {0x53B9,  0,  "mono"},
    {0x53B9,  1,  "right eye"},
    {0x53B9,  2,  "left eye"},
    {0x53B9,  3,  "both eyes"},
    // DisplayUnit
    {0x54B2,  0,  "pixels"},
    {0x54B2,  1,  "centimeters"},
    {0x54B2,  2,  "inches"},
    {0x54B2,  3,  "display aspect ratio"},
    {0x54B2,  4,  "unknown"},
    // AspectRatioType
    {0x54B3,  0,  "free resizing"},
    {0x54B3,  1,  "keep aspect ratio"},
    {0x54B3,  2,  "fixed"},
    // MatrixCoefficients
    {0x55B1,  0,  "Identity"},
    {0x55B1,  1,  "ITU-R BT.709"},
    {0x55B1,  2,  "unspecified"},
    {0x55B1,  3,  "reserved"},
    {0x55B1,  4,  "US FCC 73.682"},
    {0x55B1,  5,  "ITU-R BT.470BG"},
    {0x55B1,  6,  "SMPTE 170M"},
    {0x55B1,  7,  "SMPTE 240M"},
    {0x55B1,  8,  "YCoCg"},
    {0x55B1,  9,  "BT2020 Non-constant Luminance"},
    {0x55B1,  10, "BT2020 Constant Luminance"},
    {0x55B1,  11, "SMPTE ST 2085"},
    {0x55B1,  12, "Chroma-derived Non-constant Luminance"},
    {0x55B1,  13, "Chroma-derived Constant Luminance"},
    {0x55B1,  14, "ITU-R BT.2100-0"},
    // ChromaSitingHorz
    {0x55B7,  0,  "unspecified"},
    {0x55B7,  1,  "left collocated"},
    {0x55B7,  2,  "half"},
    // ChromaSitingVert
    {0x55B8,  0,  "unspecified"},
    {0x55B8,  1,  "top collocated"},
    {0x55B8,  2,  "half"},
    // Range
    {0x55B9,  0,  "unspecified"},
    {0x55B9,  1,  "broadcast range"},
    {0x55B9,  2,  "full range (no clipping)"},
    {0x55B9,  3,  "defined by MatrixCoefficients / TransferCharacteristics"},
    // TransferCharacteristics
    {0x55BA,  0,  "reserved"},
    {0x55BA,  1,  "ITU-R BT.709"},
    {0x55BA,  2,  "unspecified"},
    {0x55BA,  3,  "reserved2"},
    {0x55BA,  4,  "Gamma 2.2 curve - BT.470M"},
    {0x55BA,  5,  "Gamma 2.8 curve - BT.470BG"},
    {0x55BA,  6,  "SMPTE 170M"},
    {0x55BA,  7,  "SMPTE 240M"},
    {0x55BA,  8,  "Linear"},
    {0x55BA,  9,  "Log"},
    {0x55BA,  10, "Log Sqrt"},
    {0x55BA,  11, "IEC 61966-2-4"},
    {0x55BA,  12, "ITU-R BT.1361 Extended Colour Gamut"},
    {0x55BA,  13, "IEC 61966-2-1"},
    {0x55BA,  14, "ITU-R BT.2020 10 bit"},
    {0x55BA,  15, "ITU-R BT.2020 12 bit"},
    {0x55BA,  16, "ITU-R BT.2100 Perceptual Quantization"},
    {0x55BA,  17, "SMPTE ST 428-1"},
    {0x55BA,  18, "ARIB STD-B67 (HLG)"},
    // Primaries
    {0x55BB,  0,  "reserved"},
    {0x55BB,  1,  "ITU-R BT.709"},
    {0x55BB,  2,  "unspecified"},
    {0x55BB,  3,  "reserved2"},
    {0x55BB,  4,  "ITU-R BT.470M"},
    {0x55BB,  5,  "ITU-R BT.470BG - BT.601 625"},
    {0x55BB,  6,  "ITU-R BT.601 525 - SMPTE 170M"},
    {0x55BB,  7,  "SMPTE 240M"},
    {0x55BB,  8,  "FILM"},
    {0x55BB,  9,  "ITU-R BT.2020"},
    {0x55BB,  10, "SMPTE ST 428-1"},
    {0x55BB,  11, "SMPTE RP 432-2"},
    {0x55BB,  12, "SMPTE EG 432-2"},
    {0x55BB,  22, "EBU Tech. 3213-E - JEDEC P22 phosphors"},
    // ProjectionType
    {0x7671,  0,  "rectangular"},
    {0x7671,  1,  "equirectangular"},
    {0x7671,  2,  "cubemap"},
    {0x7671,  3,  "mesh"},
    // Emphasis
    {0x52F1,  0,  "No emphasis"},
    {0x52F1,  1,  "CD audio"},
    {0x52F1,  2,  "reserved"},
    {0x52F1,  3,  "CCIT J.17"},
    {0x52F1,  4,  "FM 50"},
    {0x52F1,  5,  "FM 75"},
    {0x52F1,  10, "Phono RIAA"},
    {0x52F1,  11, "Phono IEC N78"},
    {0x52F1,  12, "Phono TELDEC"},
    {0x52F1,  13, "Phono EMI"},
    {0x52F1,  14, "Phono Columbia LP"},
    {0x52F1,  15, "Phono LONDON"},
    {0x52F1,  16, "Phono NARTB"},
    // TrackPlaneType
    {0xE6,    0,  "left eye"},
    {0xE6,    1,  "right eye"},
    {0xE6,    2,  "background"},
    // ContentEncodingScope, a bit set
    {0x5032,  1,  "Block"},
    {0x5032,  2,  "Private"},
    {0x5032,  4,  "Next"},
    // ContentEncodingType
    {0x5033,  0,  "Compression"},
    {0x5033,  1,  "Encryption"},
    // ContentCompAlgo
    {0x4254,  0,  "zlib"},
    {0x4254,  1,  "bzlib"},
    {0x4254,  2,  "lzo1x"},
    {0x4254,  3,  "Header Stripping"},
    // ContentEncAlgo
    {0x47E1,  0,  "Not encrypted"},
    {0x47E1,  1,  "DES"},
    {0x47E1,  2,  "3DES"},
    {0x47E1,  3,  "Twofish"},
    {0x47E1,  4,  "Blowfish"},
    {0x47E1,  5,  "AES"},
    // AESSettingsCipherMode
    {0x47E8,  1,  "AES-CTR"},
    {0x47E8,  2,  "AES-CBC"},
    // ContentSigAlgo
    {0x47E5,  0,  "Not signed"},
    {0x47E5,  1,  "RSA"},
    // ContentSigHashAlgo
    {0x47E6,  0,  "Not signed"},
    {0x47E6,  1,  "SHA1-160"},
    {0x47E6,  2,  "MD5"},
    // ChapterSkipType
    {0x4588,  0,  "No Skipping"},
    {0x4588,  1,  "Opening Credits"},
    {0x4588,  2,  "End Credits"},
    {0x4588,  3,  "Recap"},
    {0x4588,  4,  "Next Preview"},
    {0x4588,  5,  "Preview"},
    {0x4588,  6,  "Advertisement"},
    // ChapProcessCodecID
    {0x6955,  0,  "Matroska Script"},
    {0x6955,  1,  "DVD-menu"},
    // ChapProcessTime
    {0x6922,  0,  "during the whole chapter"},
    {0x6922,  1,  "before starting playback"},
    {0x6922,  2,  "after playback of the chapter"},
    // TargetTypeValue
    {0x68CA,  70, "COLLECTION"},
    {0x68CA,  60, "EDITION / ISSUE / VOLUME / OPUS / SEASON / SEQUEL"},
    {0x68CA,  50, "ALBUM / OPERA / CONCERT / MOVIE / EPISODE"},
    {0x68CA,  40, "PART / SESSION"},
    {0x68CA,  30, "TRACK / SONG / CHAPTER"},
    {0x68CA,  20, "SUBTRACK / MOVEMENT / SCENE"},
    {0x68CA,  10, "SHOT"},
};

using LabelKey = std::pair<quint32, quint64>;

const QHash<LabelKey, QString> &labelTable()
{
    static const QHash<LabelKey, QString> table = [] {
        QHash<LabelKey, QString> labels;
        for (const EnumRow &row : enumRows)
            labels.insert({row.id, row.value}, QString::fromLatin1(row.label));
        return labels;
    }();
    return table;
}

} // namespace

void ContainerMKV::add(quint32 id, int type, ElementMKV::Handler handler, const char *name,
                       const char *description)
{
    auto *element = new ElementMKV(type, handler, QString::fromLatin1(name),
                                   description ? QString::fromLatin1(description) : QString());
    // A row whose description begins with "Deprecated." is an element no longer part of the format.
    element->deprecated = element->description.startsWith(QLatin1String("Deprecated."));
    m_dictionary.add(id, element);
}

// One row per Matroska element: identifier as written in the file (length marker included),
// value type, handler, name and description. The rows follow the structure the elements belong
// to; the elements no longer part of the format come last.
void ContainerMKV::buildDictionary()
{
    // EBML header
    add(0x1A45DFA3, Master,   nullptr,                                  "EBML");
    add(0x4286,     UInteger, nullptr,                                  "EBMLVersion");
    add(0x42F7,     UInteger, nullptr,                                  "EBMLReadVersion");
    add(0x42F2,     UInteger, nullptr,                                  "EBMLMaxIDLength");
    add(0x42F3,     UInteger, nullptr,                                  "EBMLMaxSizeLength");
    add(0x4282,     String,   nullptr,                                  "DocType");
    add(0x4287,     UInteger, nullptr,                                  "DocTypeVersion");
    add(0x4285,     UInteger, nullptr,                                  "DocTypeReadVersion");
    add(0x4281,     Master,   nullptr,                                  "DocTypeExtension",
        "Extra elements added to the document type.");
    add(0x4283,     String,   nullptr,                                  "DocTypeExtensionName",
        "Name of the document type extension.");
    add(0x4284,     UInteger, nullptr,                                  "DocTypeExtensionVersion",
        "Version of the document type extension.");
    // Allowed in any master element
    add(0xEC,       Binary,   &ContainerMKV::parseJunk,                 "Void");
    add(0xBF,       Binary,   nullptr,                                  "CRC-32");
    // Segment: positions in the segment count from its first data byte
    add(0x18538067, Master,   &ContainerMKV::parseSegment,              "Segment");
    // SeekHead
    add(0x114D9B74, Master,   nullptr,                                  "SeekHead");
    add(0x4DBB,     Master,   nullptr,                                  "Seek");
    add(0x53AB,     Binary,   &ContainerMKV::parseSeekID,               "SeekID");
    add(0x53AC,     UInteger, &ContainerMKV::parseSegmentPosition,      "SeekPosition",
        "Position relatively to segment of data origin.");
    // Info
    add(0x1549A966, Master,   nullptr,                                  "SegmentInfo");
    add(0x73A4,     Binary,   nullptr,                                  "SegmentUID");
    add(0x7384,     UTF8,     nullptr,                                  "SegmentFilename");
    add(0x3CB923,   Binary,   nullptr,                                  "PrevUID");
    add(0x3C83AB,   UTF8,     nullptr,                                  "PrevFilename");
    add(0x3EB923,   Binary,   nullptr,                                  "NextUID");
    add(0x3E83BB,   UTF8,     nullptr,                                  "NextFilename");
    add(0x4444,     Binary,   nullptr,                                  "SegmentFamily");
    add(0x6924,     Master,   nullptr,                                  "ChapterTranslate");
    add(0x69A5,     Binary,   nullptr,                                  "ChapterTranslateID");
    add(0x69BF,     UInteger, nullptr,                                  "ChapterTranslateCodec");
    add(0x69FC,     UInteger, nullptr,                                  "ChapterTranslateEditionUID");
    add(0x2AD7B1,   UInteger, &ContainerMKV::parseTimecodeScale,        "TimecodeScale",
        "To scale of other time values (in nanoseconds).");
    add(0x4489,     Float,    &ContainerMKV::parseSegmentDuration,      "Duration",
        "Duration of segment (in nanoseconds).");
    add(0x4461,     Date,     &ContainerMKV::parseDate,                 "DateUTC",
        "Date of production (in nanoseconds) relatively to January 01, 2001, 0:00:00 GMT.");
    add(0x7BA9,     UTF8,     nullptr,                                  "Title", "Title of segment");
    add(0x4D80,     UTF8,     nullptr,                                  "MuxingApp",
        "Name of library that has been used to create the file.");
    add(0x5741,     UTF8,     nullptr,                                  "WritingApp",
        "Name of application used to create the file.");
    // Cluster, its blocks and block groups
    add(0x1F43B675, Master,   &ContainerMKV::parseCluster,              "Cluster");
    add(0xE7,       UInteger, &ContainerMKV::parseClusterTimestamp,     "Timecode");
    add(0xA7,       UInteger, &ContainerMKV::parseSegmentPosition,      "Position");
    add(0xAB,       UInteger, nullptr,                                  "PrevSize");
    add(0xA3,       Binary,   &ContainerMKV::parseBlock,                "SimpleBlock");
    add(0xA0,       Master,   nullptr,                                  "BlockGroup");
    add(0xA1,       Binary,   &ContainerMKV::parseBlock,                "Block");
    add(0x75A1,     Master,   nullptr,                                  "BlockAdditions");
    add(0xA6,       Master,   nullptr,                                  "BlockMore");
    add(0xA5,       Binary,   nullptr,                                  "BlockAdditional");
    add(0xEE,       UInteger, nullptr,                                  "BlockAddID");
    add(0x9B,       UInteger, &ContainerMKV::parseBlockDuration,        "BlockDuration");
    add(0xFA,       UInteger, nullptr,                                  "ReferencePriority");
    add(0xFB,       SInteger, &ContainerMKV::parseSignedTicks,          "ReferenceBlock");
    add(0xA4,       Binary,   nullptr,                                  "CodecState");
    add(0x75A2,     SInteger, &ContainerMKV::parseSignedNanoseconds,    "DiscardPadding",
        "Silence to drop at the end (positive) or start (negative) of the block (in nanoseconds).");
    // Tracks and TrackEntry
    add(0x1654AE6B, Master,   nullptr,                                  "Tracks");
    add(0xAE,       Master,   &ContainerMKV::parseTrackEntry,           "TrackEntry");
    add(0xD7,       UInteger, &ContainerMKV::parseTrackNumber,          "TrackNumber");
    add(0x73C5,     UInteger, nullptr,                                  "TrackUID");
    add(0x83,       UInteger, &ContainerMKV::parseTrackType,            "TrackType");
    add(0xB9,       UInteger, &ContainerMKV::parseFlag,                 "FlagEnabled",
        "When it is 1, track is used.");
    add(0x88,       UInteger, &ContainerMKV::parseFlag,                 "FlagDefault");
    add(0x55AA,     UInteger, &ContainerMKV::parseFlag,                 "FlagForced");
    add(0x55AB,     UInteger, &ContainerMKV::parseFlag,                 "FlagHearingImpaired",
        "When it is 1, track suits hearing-impaired users.");
    add(0x55AC,     UInteger, &ContainerMKV::parseFlag,                 "FlagVisualImpaired",
        "When it is 1, track suits visually impaired users.");
    add(0x55AD,     UInteger, &ContainerMKV::parseFlag,                 "FlagTextDescriptions",
        "When it is 1, track describes the video in text.");
    add(0x55AE,     UInteger, &ContainerMKV::parseFlag,                 "FlagOriginal",
        "When it is 1, track is in the original language of the content.");
    add(0x55AF,     UInteger, &ContainerMKV::parseFlag,                 "FlagCommentary",
        "When it is 1, track holds commentary.");
    add(0x9C,       UInteger, &ContainerMKV::parseFlag,                 "FlagLacing");
    add(0x23E383,   UInteger, &ContainerMKV::parseDefaultDuration,      "DefaultDuration",
        "In nanoseconds. When it is 0, duration of frames of the track is not necessarily constant.");
    add(0x234E7A,   UInteger, &ContainerMKV::parseNanoseconds,          "DefaultDecodedFieldDuration",
        "Time between two decoded fields (in nanoseconds).");
    add(0x55EE,     UInteger, nullptr,                                  "MaxBlockAdditionID");
    add(0x41E4,     Master,   nullptr,                                  "BlockAdditionMapping",
        "How to read the block additions of the track.");
    add(0x41F0,     UInteger, nullptr,                                  "BlockAddIDValue",
        "Block addition identifier the mapping describes.");
    add(0x41E7,     UInteger, nullptr,                                  "BlockAddIDType",
        "Registered type of the block additions.");
    add(0x41A4,     String,   nullptr,                                  "BlockAddIDName");
    add(0x41ED,     Binary,   nullptr,                                  "BlockAddIDExtraData");
    add(0x536E,     UTF8,     nullptr,                                  "Name", "Name of track.");
    add(0x22B59C,   String,   nullptr,                                  "Language");
    add(0x22B59D,   String,   nullptr,                                  "LanguageBCP47",
        "Language of track as a BCP 47 tag.");
    add(0x86,       String,   &ContainerMKV::parseCodecID,              "CodecID");
    add(0x63A2,     Binary,   &ContainerMKV::parseCodecPrivate,         "CodecPrivate");
    add(0x258688,   UTF8,     nullptr,                                  "CodecName");
    add(0x56AA,     UInteger, &ContainerMKV::parseNanoseconds,          "CodecDelay",
        "Delay built into the codec (in nanoseconds).");
    add(0x56BB,     UInteger, &ContainerMKV::parseNanoseconds,          "SeekPreRoll",
        "Data to decode after a seek before the output is valid (in nanoseconds).");
    add(0x6624,     Master,   nullptr,                                  "TrackTranslate");
    add(0x66A5,     Binary,   nullptr,                                  "TrackTranslateTrackID");
    add(0x66BF,     UInteger, nullptr,                                  "TrackTranslateCodec");
    add(0x66FC,     UInteger, nullptr,                                  "TrackTranslateEditionUID");
    // Video
    add(0xE0,       Master,   nullptr,                                  "Video");
    add(0x9A,       UInteger, nullptr,                                  "FlagInterlaced");
    add(0x9D,       UInteger, nullptr,                                  "FieldOrder",
        "Order of the fields of interlaced frames.");
    add(0x53B8,     UInteger, nullptr,                                  "StereoMode");
    add(0x53C0,     UInteger, nullptr,                                  "AlphaMode",
        "When it is 1, block additions with identifier 1 hold alpha data.");
    add(0xB0,       UInteger, &ContainerMKV::parsePixelWidth,           "PixelWidth");
    add(0xBA,       UInteger, &ContainerMKV::parsePixelHeight,          "PixelHeight");
    add(0x54AA,     UInteger, nullptr,                                  "PixelCropBottom");
    add(0x54BB,     UInteger, nullptr,                                  "PixelCropTop");
    add(0x54CC,     UInteger, nullptr,                                  "PixelCropLeft");
    add(0x54DD,     UInteger, nullptr,                                  "PixelCropRight");
    add(0x54B0,     UInteger, nullptr,                                  "DisplayWidth");
    add(0x54BA,     UInteger, nullptr,                                  "DisplayHeight");
    add(0x54B2,     UInteger, &ContainerMKV::parseDisplayUnit,          "DisplayUnit");
    add(0x2EB524,   Binary,   nullptr,                                  "ColourSpace");
    // Colour
    add(0x55B0,     Master,   nullptr,                                  "Colour");
    add(0x55B1,     UInteger, nullptr,                                  "MatrixCoefficients");
    add(0x55B2,     UInteger, nullptr,                                  "BitsPerChannel",
        "Decoded bits per channel; 0 when unknown.");
    add(0x55B3,     UInteger, nullptr,                                  "ChromaSubsamplingHorz");
    add(0x55B4,     UInteger, nullptr,                                  "ChromaSubsamplingVert");
    add(0x55B5,     UInteger, nullptr,                                  "CbSubsamplingHorz");
    add(0x55B6,     UInteger, nullptr,                                  "CbSubsamplingVert");
    add(0x55B7,     UInteger, nullptr,                                  "ChromaSitingHorz");
    add(0x55B8,     UInteger, nullptr,                                  "ChromaSitingVert");
    add(0x55B9,     UInteger, nullptr,                                  "Range");
    add(0x55BA,     UInteger, nullptr,                                  "TransferCharacteristics");
    add(0x55BB,     UInteger, nullptr,                                  "Primaries");
    add(0x55BC,     UInteger, nullptr,                                  "MaxCLL",
        "Maximum content light level (in cd/m2).");
    add(0x55BD,     UInteger, nullptr,                                  "MaxFALL",
        "Maximum frame-average light level (in cd/m2).");
    // MasteringMetadata
    add(0x55D0,     Master,   nullptr,                                  "MasteringMetadata");
    add(0x55D1,     Float,    nullptr,                                  "PrimaryRChromaticityX");
    add(0x55D2,     Float,    nullptr,                                  "PrimaryRChromaticityY");
    add(0x55D3,     Float,    nullptr,                                  "PrimaryGChromaticityX");
    add(0x55D4,     Float,    nullptr,                                  "PrimaryGChromaticityY");
    add(0x55D5,     Float,    nullptr,                                  "PrimaryBChromaticityX");
    add(0x55D6,     Float,    nullptr,                                  "PrimaryBChromaticityY");
    add(0x55D7,     Float,    nullptr,                                  "WhitePointChromaticityX");
    add(0x55D8,     Float,    nullptr,                                  "WhitePointChromaticityY");
    add(0x55D9,     Float,    nullptr,                                  "LuminanceMax",
        "Maximum luminance (in cd/m2).");
    add(0x55DA,     Float,    nullptr,                                  "LuminanceMin",
        "Minimum luminance (in cd/m2).");
    // Projection
    add(0x7670,     Master,   nullptr,                                  "Projection");
    add(0x7671,     UInteger, nullptr,                                  "ProjectionType");
    add(0x7672,     Binary,   nullptr,                                  "ProjectionPrivate");
    add(0x7673,     Float,    nullptr,                                  "ProjectionPoseYaw",
        "Yaw rotation (in degrees).");
    add(0x7674,     Float,    nullptr,                                  "ProjectionPosePitch",
        "Pitch rotation (in degrees).");
    add(0x7675,     Float,    nullptr,                                  "ProjectionPoseRoll",
        "Roll rotation (in degrees).");
    // Audio
    add(0xE1,       Master,   nullptr,                                  "Audio");
    add(0xB5,       Float,    &ContainerMKV::parseSamplingFrequency,    "SamplingFrequency");
    add(0x78B5,     Float,    nullptr,                                  "OutputSamplingFrequency");
    add(0x9F,       UInteger, &ContainerMKV::parseChannels,             "Channels");
    add(0x6264,     UInteger, nullptr,                                  "BitDepth");
    add(0x52F1,     UInteger, nullptr,                                  "Emphasis",
        "Emphasis the player has to undo.");
    // TrackOperation
    add(0xE2,       Master,   nullptr,                                  "TrackOperation");
    add(0xE3,       Master,   nullptr,                                  "TrackCombinePlanes");
    add(0xE4,       Master,   nullptr,                                  "TrackPlane");
    add(0xE5,       UInteger, nullptr,                                  "TrackPlaneUID");
    add(0xE6,       UInteger, nullptr,                                  "TrackPlaneType");
    add(0xE9,       Master,   nullptr,                                  "TrackJoinBlocks");
    add(0xED,       UInteger, nullptr,                                  "TrackJoinUID");
    // ContentEncodings
    add(0x6D80,     Master,   nullptr,                                  "ContentEncodings");
    add(0x6240,     Master,   nullptr,                                  "ContentEncoding");
    add(0x5031,     UInteger, nullptr,                                  "ContentEncodingOrder");
    add(0x5032,     UInteger, nullptr,                                  "ContentEncodingScope");
    add(0x5033,     UInteger, nullptr,                                  "ContentEncodingType");
    add(0x5034,     Master,   nullptr,                                  "ContentCompression");
    add(0x4254,     UInteger, nullptr,                                  "ContentCompAlgo");
    add(0x4255,     Binary,   nullptr,                                  "ContentCompSettings");
    add(0x5035,     Master,   nullptr,                                  "ContentEncryption");
    add(0x47E1,     UInteger, nullptr,                                  "ContentEncAlgo");
    add(0x47E2,     Binary,   nullptr,                                  "ContentEncKeyID");
    add(0x47E7,     Master,   nullptr,                                  "ContentEncAESSettings");
    add(0x47E8,     UInteger, nullptr,                                  "AESSettingsCipherMode");
    // Cues
    add(0x1C53BB6B, Master,   nullptr,                                  "Cues");
    add(0xBB,       Master,   nullptr,                                  "CuePoint");
    add(0xB3,       UInteger, &ContainerMKV::parseTicks,                "CueTime");
    add(0xB7,       Master,   nullptr,                                  "CueTrackPositions");
    add(0xF7,       UInteger, nullptr,                                  "CueTrack");
    add(0xF1,       UInteger, &ContainerMKV::parseSegmentPosition,      "CueClusterPosition");
    add(0xF0,       UInteger, &ContainerMKV::parseCueRelativePosition,  "CueRelativePosition");
    add(0xB2,       UInteger, &ContainerMKV::parseTicks,                "CueDuration");
    add(0x5378,     UInteger, nullptr,                                  "CueBlockNumber");
    add(0xEA,       UInteger, nullptr,                                  "CueCodecState");
    add(0xDB,       Master,   nullptr,                                  "CueReference");
    add(0x96,       UInteger, &ContainerMKV::parseTicks,                "CueRefTime");
    // Attachments
    add(0x1941A469, Master,   nullptr,                                  "Attachments");
    add(0x61A7,     Master,   nullptr,                                  "AttachedFile");
    add(0x467E,     UTF8,     nullptr,                                  "FileDescription");
    add(0x466E,     UTF8,     nullptr,                                  "FileName");
    add(0x4660,     String,   nullptr,                                  "FileMimeType");
    add(0x465C,     Binary,   &ContainerMKV::parseData,                 "FileData");
    add(0x46AE,     UInteger, nullptr,                                  "FileUID");
    // Chapters
    add(0x1043A770, Master,   nullptr,                                  "Chapters");
    add(0x45B9,     Master,   nullptr,                                  "EditionEntry");
    add(0x45BC,     UInteger, nullptr,                                  "EditionUID");
    add(0x45BD,     UInteger, &ContainerMKV::parseFlag,                 "EditionFlagHidden");
    add(0x45DB,     UInteger, &ContainerMKV::parseFlag,                 "EditionFlagDefault");
    add(0x45DD,     UInteger, &ContainerMKV::parseFlag,                 "EditionFlagOrdered");
    add(0x4520,     Master,   nullptr,                                  "EditionDisplay");
    add(0x4521,     UTF8,     nullptr,                                  "EditionString",
        "Name of the edition.");
    add(0x45E4,     String,   nullptr,                                  "EditionLanguageIETF",
        "Language of the edition name as a BCP 47 tag.");
    add(0xB6,       Master,   nullptr,                                  "ChapterAtom");
    add(0x73C4,     UInteger, nullptr,                                  "ChapterUID");
    add(0x5654,     UTF8,     nullptr,                                  "ChapterStringUID");
    add(0x91,       UInteger, &ContainerMKV::parseNanoseconds,          "ChapterTimeStart");
    add(0x92,       UInteger, &ContainerMKV::parseNanoseconds,          "ChapterTimeEnd");
    add(0x98,       UInteger, &ContainerMKV::parseFlag,                 "ChapterFlagHidden");
    add(0x4598,     UInteger, &ContainerMKV::parseFlag,                 "ChapterFlagEnabled");
    add(0x6E67,     Binary,   nullptr,                                  "ChapterSegmentUID");
    add(0x4588,     UInteger, nullptr,                                  "ChapterSkipType",
        "Kind of content a player may skip.");
    add(0x6EBC,     UInteger, nullptr,                                  "ChapterSegmentEditionUID");
    add(0x63C3,     UInteger, nullptr,                                  "ChapterPhysicalEquiv");
    add(0x8F,       Master,   nullptr,                                  "ChapterTrack");
    add(0x89,       UInteger, nullptr,                                  "ChapterTrackNumber");
    add(0x80,       Master,   nullptr,                                  "ChapterDisplay");
    add(0x85,       UTF8,     nullptr,                                  "ChapString");
    add(0x437C,     String,   nullptr,                                  "ChapLanguage");
    add(0x437D,     String,   nullptr,                                  "ChapLanguageBCP47",
        "Language of the chapter string as a BCP 47 tag.");
    add(0x437E,     String,   nullptr,                                  "ChapCountry");
    add(0x6944,     Master,   nullptr,                                  "ChapProcess");
    add(0x6955,     UInteger, nullptr,                                  "ChapProcessCodecID");
    add(0x450D,     Binary,   nullptr,                                  "ChapProcessPrivate");
    add(0x6911,     Master,   nullptr,                                  "ChapProcessCommand");
    add(0x6922,     UInteger, nullptr,                                  "ChapProcessTime");
    add(0x6933,     Binary,   nullptr,                                  "ChapProcessData");
    // Tags
    add(0x1254C367, Master,   nullptr,                                  "Tags");
    add(0x7373,     Master,   nullptr,                                  "Tag");
    add(0x63C0,     Master,   nullptr,                                  "Targets");
    add(0x68CA,     UInteger, nullptr,                                  "TargetTypeValue");
    add(0x63CA,     String,   nullptr,                                  "TargetType");
    add(0x63C5,     UInteger, nullptr,                                  "TagTrackUID");
    add(0x63C9,     UInteger, nullptr,                                  "TagEditionUID");
    add(0x63C4,     UInteger, nullptr,                                  "TagChapterUID");
    add(0x63C6,     UInteger, nullptr,                                  "TagAttachmentUID");
    add(0x67C8,     Master,   nullptr,                                  "SimpleTag");
    add(0x45A3,     UTF8,     &ContainerMKV::parseTagName,              "TagName");
    add(0x447A,     String,   nullptr,                                  "TagLanguage");
    add(0x447B,     String,   nullptr,                                  "TagLanguageBCP47",
        "Language of the tag as a BCP 47 tag.");
    add(0x4484,     UInteger, &ContainerMKV::parseFlag,                 "TagDefault");
    add(0x4487,     UTF8,     &ContainerMKV::parseTagString,            "TagString");
    add(0x4485,     Binary,   nullptr,                                  "TagBinary");
    // Deprecated: the signature of a file, from older Matroska versions
    add(0x1B538667, Master,   nullptr,                                  "SignatureSlot", "Deprecated.");
    add(0x7E8A,     UInteger, nullptr,                                  "SignatureAlgo", "Deprecated.");
    add(0x7E9A,     UInteger, nullptr,                                  "SignatureHash", "Deprecated.");
    add(0x7EA5,     Binary,   nullptr,                                  "SignaturePublicKey",
        "Deprecated.");
    add(0x7EB5,     Binary,   nullptr,                                  "Signature", "Deprecated.");
    add(0x7E5B,     Master,   nullptr,                                  "SignatureElements",
        "Deprecated.");
    add(0x7E7B,     Master,   nullptr,                                  "SignatureElementList",
        "Deprecated.");
    add(0x6532,     Binary,   nullptr,                                  "SignedElement", "Deprecated.");
    // Deprecated: Info and Cluster
    add(0x2AD7B2,   UInteger, nullptr,                                  "TimecodeScaleDenominator",
        "Deprecated.");
    add(0x5854,     Master,   nullptr,                                  "SilentTracks", "Deprecated.");
    add(0x58D7,     UInteger, nullptr,                                  "SilentTrackNumber",
        "Deprecated.");
    add(0xAF,       Binary,   nullptr,                                  "EncryptedBlock", "Deprecated.");
    add(0xA2,       Binary,   nullptr,                                  "BlockVirtual", "Deprecated.");
    add(0xFD,       SInteger, nullptr,                                  "ReferenceVirtual",
        "Deprecated.");
    add(0x8E,       Master,   nullptr,                                  "Slices", "Deprecated.");
    add(0xE8,       Master,   nullptr,                                  "TimeSlice", "Deprecated.");
    add(0xCC,       UInteger, nullptr,                                  "LaceNumber", "Deprecated.");
    add(0xCD,       UInteger, nullptr,                                  "FrameNumber", "Deprecated.");
    add(0xCB,       UInteger, nullptr,                                  "BlockAdditionID", "Deprecated.");
    add(0xCE,       UInteger, nullptr,                                  "Delay", "Deprecated.");
    add(0xCF,       UInteger, nullptr,                                  "SliceDuration", "Deprecated.");
    add(0xC8,       Master,   nullptr,                                  "ReferenceFrame", "Deprecated.");
    add(0xC9,       UInteger, nullptr,                                  "ReferenceOffset", "Deprecated.");
    add(0xCA,       UInteger, nullptr,                                  "ReferenceTimeCode",
        "Deprecated.");
    // Deprecated: TrackEntry, Video and Audio
    add(0x6DE7,     UInteger, nullptr,                                  "MinCache", "Deprecated.");
    add(0x6DF8,     UInteger, nullptr,                                  "MaxCache", "Deprecated.");
    add(0x23314F,   Float,    &ContainerMKV::parseTrackTimecodeScale,   "iTrackTimecodeScale",
        "Deprecated.");
    add(0x537F,     SInteger, nullptr,                                  "TrackOffset", "Deprecated.");
    add(0x7446,     UInteger, nullptr,                                  "AttachmentLink", "Deprecated.");
    add(0x3A9697,   UTF8,     nullptr,                                  "CodecSettings", "Deprecated.");
    add(0x3B4040,   String,   nullptr,                                  "CodecInfoURL", "Deprecated.");
    add(0x26B240,   String,   nullptr,                                  "CodecDownloadURL",
        "Deprecated.");
    add(0xAA,       UInteger, &ContainerMKV::parseFlag,                 "CodecDecodeAll", "Deprecated.");
    add(0x6FAB,     UInteger, nullptr,                                  "TrackOverlay", "Deprecated.");
    add(0xC0,       UInteger, nullptr,                                  "TrickTrackUID", "Deprecated.");
    add(0xC1,       Binary,   nullptr,                                  "TrickTrackSegmentUID",
        "Deprecated.");
    add(0xC6,       UInteger, nullptr,                                  "TrickTrackFlag", "Deprecated.");
    add(0xC7,       UInteger, nullptr,                                  "TrickMasterTrackUID",
        "Deprecated.");
    add(0xC4,       Binary,   nullptr,                                  "TrickMasterTrackSegmentUID",
        "Deprecated.");
    add(0x53B9,     UInteger, nullptr,                                  "OldStereoMode", "Deprecated.");
    add(0x54B3,     UInteger, nullptr,                                  "AspectRatioType", "Deprecated.");
    add(0x2FB523,   Float,    nullptr,                                  "GammaValue", "Deprecated.");
    add(0x2383E3,   Float,    nullptr,                                  "FrameRate", "Deprecated.");
    add(0x7D7B,     Binary,   nullptr,                                  "ChannelPositions",
        "Deprecated.");
    // Deprecated: ContentEncryption, Cues, Attachments and Tags
    add(0x47E3,     Binary,   nullptr,                                  "ContentSignature",
        "Deprecated.");
    add(0x47E4,     Binary,   nullptr,                                  "ContentSigKeyID", "Deprecated.");
    add(0x47E5,     UInteger, nullptr,                                  "ContentSigAlgo", "Deprecated.");
    add(0x47E6,     UInteger, nullptr,                                  "ContentSigHashAlgo",
        "Deprecated.");
    add(0x97,       UInteger, &ContainerMKV::parseSegmentPosition,      "CueRefCluster", "Deprecated.");
    add(0x535F,     UInteger, nullptr,                                  "CueRefNumber", "Deprecated.");
    add(0xEB,       UInteger, nullptr,                                  "CueRefCodecState",
        "Deprecated.");
    add(0x4675,     Binary,   nullptr,                                  "FileReferral", "Deprecated.");
    add(0x4661,     UInteger, &ContainerMKV::parseTicks,                "FileUsedStartTime",
        "Deprecated.");
    add(0x4662,     UInteger, &ContainerMKV::parseTicks,                "FileUsedEndTime", "Deprecated.");
    add(0x44B4,     UInteger, &ContainerMKV::parseFlag,                 "TagDefaultBogus",
        "Deprecated. TagDefault under an identifier written by mistake.");
}

QString ContainerMKV::enumLabel(quint32 id, quint64 value)
{
    const QHash<LabelKey, QString> &labels = labelTable();
    if (id != contentEncodingScopeId)
        return labels.value({id, value});
    // The scope is a set of bits, each with its own label; a bit the format does not name leaves
    // the value without a label.
    QStringList set;
    for (int bit = 0; bit < 64 && value >> bit != 0; ++bit) {
        if ((value >> bit & 1) == 0)
            continue;
        const QString label = labels.value({id, quint64(1) << bit});
        if (label.isEmpty())
            return QString();
        set.append(label);
    }
    return set.join(QLatin1String(", "));
}
