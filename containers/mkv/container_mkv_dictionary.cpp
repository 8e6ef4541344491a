#include "container_mkv.h"

void ContainerMKV::add(quint32 id, int type, ElementMKV::Handler handler, const char *name,
                       const char *description)
{
    m_dictionary.add(id, new ElementMKV(type, handler, QString::fromLatin1(name),
                                        description ? QString::fromLatin1(description) : QString()));
}

// One row per Matroska element: identifier as written in the file (length marker included),
// value type, handler, name and description.
void ContainerMKV::buildDictionary()
{
    // master
    add(0x1A45DFA3, Master,   nullptr,                                  "EBML");
    add(0x1B538667, Master,   nullptr,                                  "SignatureSlot");
    add(0x7E5B,     Master,   nullptr,                                  "SignatureElements");
    add(0x7E7B,     Master,   nullptr,                                  "SignatureElementList");
    add(0x18538067, Master,   nullptr,                                  "Segment");
    add(0x114D9B74, Master,   nullptr,                                  "SeekHead");
    add(0x4DBB,     Master,   nullptr,                                  "Seek");
    add(0x1549A966, Master,   nullptr,                                  "SegmentInfo");
    add(0x6924,     Master,   nullptr,                                  "ChapterTranslate");
    add(0x1F43B675, Master,   nullptr,                                  "Cluster");
    add(0x5854,     Master,   nullptr,                                  "SilentTracks");
    add(0xA0,       Master,   nullptr,                                  "BlockGroup");
    add(0x75A1,     Master,   nullptr,                                  "BlockAdditions");
    add(0xA6,       Master,   nullptr,                                  "BlockMore");
    add(0x8E,       Master,   nullptr,                                  "Slices");
    add(0xE8,       Master,   nullptr,                                  "TimeSlice");
    add(0xC8,       Master,   nullptr,                                  "ReferenceFrame");
    add(0x1654AE6B, Master,   nullptr,                                  "Tracks");
    add(0xAE,       Master,   &ContainerMKV::parseTrackEntry,           "TrackEntry");
    add(0x6624,     Master,   nullptr,                                  "TrackTranslate");
    add(0xE0,       Master,   nullptr,                                  "Video");
    add(0xE1,       Master,   nullptr,                                  "Audio");
    add(0xE2,       Master,   nullptr,                                  "TrackOperation");
    add(0xE3,       Master,   nullptr,                                  "TrackCombinePlanes");
    add(0xE4,       Master,   nullptr,                                  "TrackPlane");
    add(0xE9,       Master,   nullptr,                                  "TrackJoinBlocks");
    add(0x6D80,     Master,   nullptr,                                  "ContentEncodings");
    add(0x6240,     Master,   nullptr,                                  "ContentEncoding");
    add(0x5034,     Master,   nullptr,                                  "ContentCompression");
    add(0x5035,     Master,   nullptr,                                  "ContentEncryption");
    add(0x1C53BB6B, Master,   nullptr,                                  "Cues");
    add(0xBB,       Master,   nullptr,                                  "CuePoint");
    add(0xB7,       Master,   nullptr,                                  "CueTrackPositions");
    add(0xDB,       Master,   nullptr,                                  "CueReference");
    add(0x1941A469, Master,   nullptr,                                  "Attachments");
    add(0x61A7,     Master,   nullptr,                                  "AttachedFile");
    add(0x1043A770, Master,   nullptr,                                  "Chapters");
    add(0x45B9,     Master,   nullptr,                                  "EditionEntry");
    add(0xB6,       Master,   nullptr,                                  "ChapterAtom");
    add(0x8F,       Master,   nullptr,                                  "ChapterTrack");
    add(0x80,       Master,   nullptr,                                  "ChapterDisplay");
    add(0x6944,     Master,   nullptr,                                  "ChapProcess");
    add(0x6911,     Master,   nullptr,                                  "ChapProcessCommand");
    add(0x1254C367, Master,   nullptr,                                  "Tags");
    add(0x7373,     Master,   nullptr,                                  "Tag");
    add(0x63C0,     Master,   nullptr,                                  "Targets");
    add(0x67C8,     Master,   nullptr,                                  "SimpleTag");
    // unsigned integer
    add(0x4286,     UInteger, nullptr,                                  "EBMLVersion");
    add(0x42F7,     UInteger, nullptr,                                  "EBMLReadVersion");
    add(0x42F2,     UInteger, nullptr,                                  "EBMLMaxIDLength");
    add(0x42F3,     UInteger, nullptr,                                  "EBMLMaxSizeLength");
    add(0x4287,     UInteger, nullptr,                                  "DocTypeVersion");
    add(0x4285,     UInteger, nullptr,                                  "DocTypeReadVersion");
    add(0x7E8A,     UInteger, nullptr,                                  "SignatureAlgo");
    add(0x7E9A,     UInteger, nullptr,                                  "SignatureHash");
    add(0x53AC,     UInteger, nullptr,                                  "SeekPosition",
        "Position relatively to segment of data origin.");
    add(0x69FC,     UInteger, nullptr,                                  "ChapterTranslateEditionUID");
    add(0x69BF,     UInteger, nullptr,                                  "ChapterTranslateCodec");
    add(0x2AD7B1,   UInteger, &ContainerMKV::parseTimecodeScale,        "TimecodeScale",
        "To scale of other time values (in nanoseconds).");
    add(0x2AD7B2,   UInteger, nullptr,                                  "TimecodeScaleDenominator");
    add(0xE7,       UInteger, &ContainerMKV::parseClusterTimestamp,    "Timecode");
    add(0x58D7,     UInteger, nullptr,                                  "SilentTrackNumber");
    add(0xA7,       UInteger, nullptr,                                  "Position");
    add(0xAB,       UInteger, nullptr,                                  "PrevSize");
    add(0xEE,       UInteger, nullptr,                                  "BlockAddID");
    add(0x9B,       UInteger, &ContainerMKV::parseBlockDuration,       "BlockDuration");
    add(0xFA,       UInteger, nullptr,                                  "ReferencePriority");
    add(0xCC,       UInteger, nullptr,                                  "LaceNumber");
    add(0xCD,       UInteger, nullptr,                                  "FrameNumber");
    add(0xCB,       UInteger, nullptr,                                  "BlockAdditionID");
    add(0xCE,       UInteger, nullptr,                                  "Delay");
    add(0xCF,       UInteger, nullptr,                                  "SliceDuration");
    add(0xC9,       UInteger, nullptr,                                  "ReferenceOffset");
    add(0xCA,       UInteger, nullptr,                                  "ReferenceTimeCode");
    add(0xD7,       UInteger, &ContainerMKV::parseTrackNumber,          "TrackNumber");
    add(0x73C5,     UInteger, nullptr,                                  "TrackUID");
    add(0x83,       UInteger, &ContainerMKV::parseTrackType,            "TrackType");
    add(0xB9,       UInteger, nullptr,                                  "FlagEnabled",
        "When it is 1, track is used.");
    add(0x88,       UInteger, nullptr,                                  "FlagDefault");
    add(0x55AA,     UInteger, nullptr,                                  "FlagForced");
    add(0x9C,       UInteger, nullptr,                                  "FlagLacing");
    add(0x6DE7,     UInteger, nullptr,                                  "MinCache");
    add(0x6DF8,     UInteger, nullptr,                                  "MaxCache");
    add(0x23E383,   UInteger, &ContainerMKV::parseDefaultDuration,      "DefaultDuration",
        "In nanoseconds. When it is 0, duration of frames of the track is not necessarily constant.");
    add(0x55EE,     UInteger, nullptr,                                  "MaxBlockAdditionID");
    add(0x7446,     UInteger, nullptr,                                  "AttachmentLink");
    add(0xAA,       UInteger, nullptr,                                  "CodecDecodeAll");
    add(0x6FAB,     UInteger, nullptr,                                  "TrackOverlay");
    add(0x66FC,     UInteger, nullptr,                                  "TrackTranslateEditionUID");
    add(0x66BF,     UInteger, nullptr,                                  "TrackTranslateCodec");
    add(0x9A,       UInteger, nullptr,                                  "FlagInterlaced");
    add(0x53B8,     UInteger, nullptr,                                  "StereoMode");
    add(0x53B9,     UInteger, nullptr,                                  "OldStereoMode");
    add(0xB0,       UInteger, &ContainerMKV::parsePixelWidth,           "PixelWidth");
    add(0xBA,       UInteger, &ContainerMKV::parsePixelHeight,          "PixelHeight");
    add(0x54AA,     UInteger, nullptr,                                  "PixelCropBottom");
    add(0x54BB,     UInteger, nullptr,                                  "PixelCropTop");
    add(0x54CC,     UInteger, nullptr,                                  "PixelCropLeft");
    add(0x54DD,     UInteger, nullptr,                                  "PixelCropRight");
    add(0x54B0,     UInteger, nullptr,                                  "DisplayWidth");
    add(0x54BA,     UInteger, nullptr,                                  "DisplayHeight");
    add(0x54B2,     UInteger, &ContainerMKV::parseDisplayUnit,          "DisplayUnit");
    add(0x54B3,     UInteger, nullptr,                                  "AspectRatioType");
    add(0x9F,       UInteger, nullptr,                                  "Channels");
    add(0x6264,     UInteger, nullptr,                                  "BitDepth");
    add(0xE5,       UInteger, nullptr,                                  "TrackPlaneUID");
    add(0xE6,       UInteger, nullptr,                                  "TrackPlaneType");
    add(0xED,       UInteger, nullptr,                                  "TrackJoinUID");
    add(0xC0,       UInteger, nullptr,                                  "TrickTrackUID");
    add(0xC6,       UInteger, nullptr,                                  "TrickTrackFlag");
    add(0xC7,       UInteger, nullptr,                                  "TrickMasterTrackUID");
    add(0x5031,     UInteger, nullptr,                                  "ContentEncodingOrder");
    add(0x5032,     UInteger, nullptr,                                  "ContentEncodingScope");
    add(0x5033,     UInteger, nullptr,                                  "ContentEncodingType");
    add(0x4254,     UInteger, nullptr,                                  "ContentCompAlgo");
    add(0x47E1,     UInteger, nullptr,                                  "ContentEncAlgo");
    add(0x47E5,     UInteger, nullptr,                                  "ContentSigAlgo");
    add(0x47E6,     UInteger, nullptr,                                  "ContentSigHashAlgo");
    add(0xB3,       UInteger, nullptr,                                  "CueTime");
    add(0xF7,       UInteger, nullptr,                                  "CueTrack");
    add(0xF1,       UInteger, nullptr,                                  "CueClusterPosition");
    add(0xF0,       UInteger, nullptr,                                  "CueRelativePosition");
    add(0xB2,       UInteger, nullptr,                                  "CueDuration");
    add(0x5378,     UInteger, nullptr,                                  "CueBlockNumber");
    add(0xEA,       UInteger, nullptr,                                  "CueCodecState");
    add(0x96,       UInteger, nullptr,                                  "CueRefTime");
    add(0x97,       UInteger, nullptr,                                  "CueRefCluster");
    add(0x535F,     UInteger, nullptr,                                  "CueRefNumber");
    add(0xEB,       UInteger, nullptr,                                  "CueRefCodecState");
    add(0x46AE,     UInteger, nullptr,                                  "FileUID");
    add(0x4661,     UInteger, nullptr,                                  "FileUsedStartTime");
    add(0x4662,     UInteger, nullptr,                                  "FileUsedEndTime");
    add(0x45BC,     UInteger, nullptr,                                  "EditionUID");
    add(0x45BD,     UInteger, nullptr,                                  "EditionFlagHidden");
    add(0x45DB,     UInteger, nullptr,                                  "EditionFlagDefault");
    add(0x45DD,     UInteger, nullptr,                                  "EditionFlagOrdered");
    add(0x73C4,     UInteger, nullptr,                                  "ChapterUID");
    add(0x91,       UInteger, nullptr,                                  "ChapterTimeStart");
    add(0x92,       UInteger, nullptr,                                  "ChapterTimeEnd");
    add(0x98,       UInteger, nullptr,                                  "ChapterFlagHidden");
    add(0x4598,     UInteger, nullptr,                                  "ChapterFlagEnabled");
    add(0x6EBC,     UInteger, nullptr,                                  "ChapterSegmentEditionUID");
    add(0x63C3,     UInteger, nullptr,                                  "ChapterPhysicalEquiv");
    add(0x89,       UInteger, nullptr,                                  "ChapterTrackNumber");
    add(0x6955,     UInteger, nullptr,                                  "ChapProcessCodecID");
    add(0x6922,     UInteger, nullptr,                                  "ChapProcessTime");
    add(0x68CA,     UInteger, nullptr,                                  "TargetTypeValue");
    add(0x63C5,     UInteger, nullptr,                                  "TagTrackUID");
    add(0x63C9,     UInteger, nullptr,                                  "TagEditionUID");
    add(0x63C4,     UInteger, nullptr,                                  "TagChapterUID");
    add(0x63C6,     UInteger, nullptr,                                  "TagAttachmentUID");
    add(0x4484,     UInteger, nullptr,                                  "TagDefault");
    // signed integer
    add(0xFB,       SInteger, nullptr,                                  "ReferenceBlock");
    add(0xFD,       SInteger, nullptr,                                  "ReferenceVirtual");
    add(0x537F,     SInteger, nullptr,                                  "TrackOffset");
    // float
    add(0x4489,     Float,    nullptr,                                  "Duration",
        "Duration of segment (in nanoseconds).");
    add(0x23314F,   Float,    &ContainerMKV::parseTrackTimecodeScale,   "iTrackTimecodeScale");
    add(0x2FB523,   Float,    nullptr,                                  "GammaValue");
    add(0x2383E3,   Float,    nullptr,                                  "FrameRate");
    add(0xB5,       Float,    nullptr,                                  "SamplingFrequency");
    add(0x78B5,     Float,    nullptr,                                  "OutputSamplingFrequency");
    // date
    add(0x4461,     Date,     nullptr,                                  "DateUTC",
        "Date of production (in nanoseconds) relatively to January 01, 2001, 0:00:00 GMT.");
    // string
    add(0x4282,     String,   nullptr,                                  "DocType");
    add(0x22B59C,   String,   nullptr,                                  "Language");
    add(0x86,       String,   &ContainerMKV::parseCodecID,              "CodecID");
    add(0x3B4040,   String,   nullptr,                                  "CodecInfoURL");
    add(0x26B240,   String,   nullptr,                                  "CodecDownloadURL");
    add(0x4660,     String,   nullptr,                                  "FileMimeType");
    add(0x437C,     String,   nullptr,                                  "ChapLanguage");
    add(0x437E,     String,   nullptr,                                  "ChapCountry");
    add(0x63CA,     String,   nullptr,                                  "TargetType");
    add(0x447A,     String,   nullptr,                                  "TagLanguage");
    // utf-8 string
    add(0x7384,     UTF8,     nullptr,                                  "SegmentFilename");
    add(0x3C83AB,   UTF8,     nullptr,                                  "PrevFilename");
    add(0x3E83BB,   UTF8,     nullptr,                                  "NextFilename");
    add(0x7BA9,     UTF8,     nullptr,                                  "Title",
        "Title of segment");
    add(0x4D80,     UTF8,     nullptr,                                  "MuxingApp",
        "Name of library that has been used to create the file.");
    add(0x5741,     UTF8,     nullptr,                                  "WritingApp",
        "Name of application used to create the file.");
    add(0x536E,     UTF8,     nullptr,                                  "Name",
        "Name of track.");
    add(0x258688,   UTF8,     nullptr,                                  "CodecName");
    add(0x3A9697,   UTF8,     nullptr,                                  "CodecSettings");
    add(0x467E,     UTF8,     nullptr,                                  "FileDescription");
    add(0x466E,     UTF8,     nullptr,                                  "FileName");
    add(0x5654,     UTF8,     nullptr,                                  "ChapterStringUID");
    add(0x85,       UTF8,     nullptr,                                  "ChapString");
    add(0x45A3,     UTF8,     nullptr,                                  "TagName");
    add(0x4487,     UTF8,     nullptr,                                  "TagString");
    // binary
    add(0xEC,       Binary,   &ContainerMKV::parseJunk,                 "Void");
    add(0xBF,       Binary,   nullptr,                                  "CRC-32");
    add(0x7EA5,     Binary,   nullptr,                                  "SignaturePublicKey");
    add(0x7EB5,     Binary,   nullptr,                                  "Signature");
    add(0x6532,     Binary,   nullptr,                                  "SignedElement");
    add(0x53AB,     Binary,   nullptr,                                  "SeekID");
    add(0x73A4,     Binary,   nullptr,                                  "SegmentUID");
    add(0x3CB923,   Binary,   nullptr,                                  "PrevUID");
    add(0x3EB923,   Binary,   nullptr,                                  "NextUID");
    add(0x4444,     Binary,   nullptr,                                  "SegmentFamily");
    add(0x69A5,     Binary,   nullptr,                                  "ChapterTranslateID");
    add(0xA3,       Binary,   &ContainerMKV::parseBlock,                "SimpleBlock");
    add(0xA1,       Binary,   &ContainerMKV::parseBlock,                "Block");
    add(0xA2,       Binary,   nullptr,                                  "BlockVirtual");
    add(0xA5,       Binary,   nullptr,                                  "BlockAdditional");
    add(0xA4,       Binary,   nullptr,                                  "CodecState");
    add(0xAF,       Binary,   nullptr,                                  "EncryptedBlock");
    add(0x63A2,     Binary,   &ContainerMKV::parseCodecPrivate,         "CodecPrivate");
    add(0x66A5,     Binary,   nullptr,                                  "TrackTranslateTrackID");
    add(0x2EB524,   Binary,   nullptr,                                  "ColourSpace");
    add(0x7D7B,     Binary,   nullptr,                                  "ChannelPositions");
    add(0xC1,       Binary,   nullptr,                                  "TrickTrackSegmentUID");
    add(0xC4,       Binary,   nullptr,                                  "TrickMasterTrackSegmentUID");
    add(0x4255,     Binary,   nullptr,                                  "ContentCompSettings");
    add(0x47E2,     Binary,   nullptr,                                  "ContentEncKeyID");
    add(0x47E3,     Binary,   nullptr,                                  "ContentSignature");
    add(0x47E4,     Binary,   nullptr,                                  "ContentSigKeyID");
    add(0x465C,     Binary,   &ContainerMKV::parseData,                 "FileData");
    add(0x4675,     Binary,   nullptr,                                  "FileReferral");
    add(0x6E67,     Binary,   nullptr,                                  "ChapterSegmentUID");
    add(0x450D,     Binary,   nullptr,                                  "ChapProcessPrivate");
    add(0x6933,     Binary,   nullptr,                                  "ChapProcessData");
    add(0x4485,     Binary,   nullptr,                                  "TagBinary");
}

QString ContainerMKV::enumLabel(quint32, quint64)
{
    return QString();
}
