// The sample entries and the decoder configuration boxes inside them: the named values each
// decoder reports, and what damaged ones still show.

#include "iso_parsers.h"

#include <QTest>

using namespace IsoTest;

namespace {

using Body = ByteBuilder::Body;

QByteArray visualEntry(const char *type, const Body &boxes, const QByteArray &compressor = QByteArray("\x04Lavc", 5))
{
    ByteBuilder b;
    b.box(type, [&](ByteBuilder &e) {
        e.zeros(6).u16be(1).zeros(16).u16be(64).u16be(48).u32be(0x00480000).u32be(0x00480000).u32be(0).u16be(1);
        e.raw(compressor.leftJustified(32, '\0', true)).u16be(24).u16be(0xFFFF);
        if (boxes)
            boxes(e);
    });
    return b.bytes();
}

// A sound sample entry of the QuickTime version given: 2 channels, 16 bits, 44100 Hz.
QByteArray soundEntry(const char *type, quint16 version, const Body &boxes = {})
{
    ByteBuilder b;
    b.box(type, [&](ByteBuilder &e) {
        e.zeros(6).u16be(1).u16be(version).u16be(0).u32be(0).u16be(2).u16be(16).u16be(0).u16be(0).u32be(44100u << 16);
        if (version == 1)
            e.u32be(1024).u32be(0).u32be(0).u32be(2);
        if (version == 2)
            e.u32be(72).u64be(0x40F7700000000000).u32be(6).u32be(0x7F000000).u32be(24).u32be(12).u32be(18).u32be(1);
        if (boxes)
            boxes(e);
    });
    return b.bytes();
}

QByteArray otherEntry(const char *type, const Body &fields)
{
    ByteBuilder b;
    b.box(type, [&](ByteBuilder &e) {
        e.zeros(6).u16be(1);
        fields(e);
    });
    return b.bytes();
}

QByteArray track(const char *handler, const QList<QByteArray> &entries, quint8 stsdVersion = 0)
{
    return movie(handler, [&](ByteBuilder &t) {
        t.fullBox("stsd", stsdVersion, 0, [&](ByteBuilder &s) {
            s.u32be(quint32(entries.size()));
            for (const QByteArray &entry : entries)
                s.raw(entry);
        });
    });
}

QByteArray inVideo(const Body &boxes) { return track("vide", {visualEntry("avc1", boxes)}); }
QByteArray inSound(const Body &boxes) { return track("soun", {soundEntry("mp4a", 0, boxes)}); }

// An MPEG-4 descriptor with a one-byte size.
Body descriptor(quint8 tag, const Body &body)
{
    return [=](ByteBuilder &b) {
        ByteBuilder content;
        body(content);
        b.u8(tag).u8(quint8(content.size())).raw(content.bytes());
    };
}

Body esds(const Body &decoderSpecificInfo)
{
    return [=](ByteBuilder &b) {
        b.fullBox("esds", 0, 0, [&](ByteBuilder &x) {
            descriptor(0x03, [&](ByteBuilder &es) {
                es.u16be(1).u8(0);
                descriptor(0x04, [&](ByteBuilder &dc) {
                    dc.u8(0x40).u8(0x15).u24be(0).u32be(128000).u32be(128000);
                    descriptor(0x05, decoderSpecificInfo)(dc);
                })(es);
                descriptor(0x06, [](ByteBuilder &sl) { sl.u8(2); })(es);
            })(x);
        });
    };
}

// "name=value", with " (readable)" when there is one, of the first element named name.
QString shown(const RecordingSink &sink, const QString &name)
{
    const ElementRecord *record = sink.find(name);
    if (!record)
        return QStringLiteral("!") + name;
    return record->readable.isEmpty() ? name + QLatin1Char('=') + record->value
                                      : QStringLiteral("%1=%2 (%3)").arg(name, record->value, record->readable);
}

// Each expectation is "name=value (readable)" as shown, or "!name" for an element that is not there.
void compareShown(const RecordingSink &sink, const QStringList &expected)
{
    for (const QString &expectation : expected) {
        const QString name = expectation.section(QLatin1Char('='), 0, 0).remove(QLatin1Char('!'));
        QCOMPARE(shown(sink, name), expectation);
    }
}

} // namespace

class TestIsoCodecConfig : public QObject
{
    Q_OBJECT

private slots:
    void decoded_data();
    void decoded();
    void damaged_data();
    void damaged();
    void everyEntryShown();
};

void TestIsoCodecConfig::decoded_data()
{
    QTest::addColumn<QString>("parser");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("avcC") << "MP4" << inVideo([](ByteBuilder &e) {
        e.box("avcC", [](ByteBuilder &c) {
            c.u8(1).u8(100).u8(0).u8(31).u8(0xFF).u8(0xE1).u16be(4).raw(QByteArray::fromHex("6764001f"));
            c.u8(1).u16be(2).raw("\x68\xee").u8(0xFD).u8(0xF8).u8(0xF8).u8(0);
        });
    }) << QStringList{"AVCProfileIndication=100 (High)", "AVCLevelIndication=31 (3.1)",
                      "lengthSizeMinusOne=3 (4-byte lengths)", "numOfSequenceParameterSets=1",
                      "sequenceParameterSetNALUnit=6764001f", "pictureParameterSetNALUnit=68ee",
                      "chroma_format=1 (4:2:0)", "numOfSequenceParameterSetExt=0"};
    QTest::newRow("hvcC") << "MP4" << inVideo([](ByteBuilder &e) {
        e.box("hvcC", [](ByteBuilder &c) {
            c.u8(1).u8(0x01).u32be(0x60000000).u16be(0x9000).u32be(0).u8(93).u16be(0xF000).u8(0xFC).u8(0xFD);
            c.u8(0xF8).u8(0xFA).u16be(0).u8(0x0F).u8(1).u8(0xA1).u16be(1).u16be(3).raw("\x42\x01\x01");
        });
    }) << QStringList{"general_profile_idc=1 (Main)", "general_level_idc=93 (3.1)", "chromaFormat=1 (4:2:0)",
                      "bitDepthChromaMinus8=2 (10 bits)", "numTemporalLayers=1", "NAL_unit_type=33 (SPS)",
                      "numNalus=1", "nalUnit=420101"};
    QTest::newRow("av1C") << "MP4" << inVideo([](ByteBuilder &e) {
        e.box("av1C", [](ByteBuilder &c) { c.u8(0x81).u8(0x08).u8(0x0C).u8(0x13).u16be(0x0A0B); });
    }) << QStringList{"seq_profile=0 (Main)", "seq_level_idx_0=8 (4.0)", "chroma_subsampling_x=1",
                      "initial_presentation_delay_minus_one=3 (4)", "configOBUs="};
    QTest::newRow("vpcC") << "MP4" << inVideo([](ByteBuilder &e) {
        e.fullBox("vpcC", 1, 0, [](ByteBuilder &c) { c.u8(2).u8(31).u8(0xA2).u8(9).u8(16).u8(9).u16be(0); });
    }) << QStringList{"level=31 (3.1)", "bitDepth=10 (10 bits)", "chromaSubsampling=1 (4:2:0 colocated with luma)",
                      "transferCharacteristics=16 (SMPTE ST 2084 (PQ))", "codecInitializationDataSize=0"};
    QTest::newRow("colr nclx, pasp, clap, btrt") << "MP4" << inVideo([](ByteBuilder &e) {
        e.box("colr", [](ByteBuilder &c) { c.fourcc("nclx").u16be(9).u16be(16).u16be(9).u8(0x80); });
        e.box("pasp", [](ByteBuilder &c) { c.u32be(4).u32be(3); });
        e.box("clap", [](ByteBuilder &c) { c.u32be(640).u32be(1).u32be(480).u32be(1).u32be(0xFFFFFFFE).u32be(1).zeros(8); });
        e.box("btrt", [](ByteBuilder &c) { c.u32be(1).u32be(2).u32be(3); });
    }) << QStringList{"colour_primaries=9 (BT.2020)", "transfer_characteristics=16 (SMPTE ST 2084 (PQ))",
                      "matrix_coefficients=9 (BT.2020 non-constant luminance)", "full_range_flag=1 (full range)",
                      "vSpacing=3 (4:3 = 1.333333333)", "horizOffN=-2", "horizOffD=1 (-2/1 = -2)", "avgBitrate=3"};
    QTest::newRow("QuickTime colr nclc, fiel, gama") << "MOV" << inVideo([](ByteBuilder &e) {
        e.box("colr", [](ByteBuilder &c) { c.fourcc("nclc").u16be(1).u16be(1).u16be(6); });
        e.box("fiel", [](ByteBuilder &c) { c.u8(2).u8(9); });
        e.box("gama", [](ByteBuilder &c) { c.u32be(0x00028000); });
    }) << QStringList{"matrix_coefficients=6 (SMPTE 170M (BT.601 525))", "!full_range_flag", "fields=2 (interlaced)",
                      "detail=9 (interleaved fields, top field stored first, bottom displayed first)",
                      "gamma=163840 (2.5)"};
    QTest::newRow("colr with an ICC profile") << "MP4" << inVideo([](ByteBuilder &e) {
        e.box("colr", [](ByteBuilder &c) { c.fourcc("prof").zeros(8); });
    }) << QStringList{"colour_type=prof", "ICC_profile="};
    QTest::newRow("mdcv, clli, SmDm, CoLL") << "MP4" << inVideo([](ByteBuilder &e) {
        e.box("mdcv", [](ByteBuilder &c) { c.u16be(13250).zeros(10).u16be(15635).u16be(16450).u32be(10000000).u32be(50); });
        e.box("clli", [](ByteBuilder &c) { c.u16be(1000).u16be(400); });
        e.fullBox("SmDm", 0, 0, [](ByteBuilder &c) { c.u16be(0x8000).zeros(14).u32be(1000 << 8).u32be(8192); });
        e.fullBox("CoLL", 0, 0, [](ByteBuilder &c) { c.u16be(900).u16be(300); });
    }) << QStringList{"display_primaries_x=13250 (0.265)", "white_point_x=15635 (0.3127)",
                      "max_display_mastering_luminance=10000000 (1000 cd/m²)",
                      "min_display_mastering_luminance=50 (0.005 cd/m²)", "max_pic_average_light_level=400 (400 cd/m²)",
                      "primaryRChromaticity_x=32768 (0.5)", "luminanceMax=256000 (1000 cd/m²)",
                      "luminanceMin=8192 (0.5 cd/m²)", "maxFALL=300 (300 cd/m²)"};
    QTest::newRow("encv: sinf, frma, schm, tenc") << "MP4" << track("vide", {visualEntry("encv", [](ByteBuilder &e) {
        e.box("sinf", [](ByteBuilder &s) {
            s.box("frma", [](ByteBuilder &f) { f.fourcc("avc1"); });
            s.fullBox("schm", 0, 1, [](ByteBuilder &f) { f.fourcc("cbcs").u32be(0x00010000).text("http://x").u8(0); });
            s.box("schi", [](ByteBuilder &i) {
                i.fullBox("tenc", 1, 0, [](ByteBuilder &t) {
                    t.u8(0).u8(0x19).u8(1).u8(0).raw(QByteArray::fromHex("00112233445566778899aabbccddeeff"));
                    t.u8(16).zeros(16);
                });
            });
        });
    })}) << QStringList{"data_format=avc1", "scheme_type=cbcs (AES-CBC subsample pattern)", "scheme_version=65536 (1.0)",
                        "scheme_uri=http://x", "default_crypt_byte_block=1", "default_skip_byte_block=9",
                        "default_KID=00112233-4455-6677-8899-aabbccddeeff", "default_constant_IV_size=16"};

    QTest::newRow("esds: AAC") << "MP4" << inSound(esds([](ByteBuilder &d) { d.u16be(0x1210); }))
        << QStringList{"objectTypeIndication=64 (Audio ISO/IEC 14496-3 (AAC))", "streamType=5 (AudioStream)",
                       "maxBitrate=128000", "audioObjectType=2 (AAC LC)", "samplingFrequencyIndex=4 (44100 Hz)",
                       "channelConfiguration=2 (stereo (L, R))", "frameLengthFlag=0",
                       "predefined=2 (reserved for use in MP4 files)"};
    QTest::newRow("esds: escaped object type, explicit frequency")
        << "MOV" << inSound(esds([](ByteBuilder &d) { d.raw(QByteArray::fromHex("f95e00ad9c20")); }))
        << QStringList{"audioObjectType=31 (escape)", "audioObjectTypeExt=10 (USAC (no SBR))",
                       "samplingFrequencyIndex=15 (explicit)", "samplingFrequency=22222 (22222 Hz)",
                       "channelConfiguration=1 (mono (C))", "!frameLengthFlag"};
    QTest::newRow("esds: dependence, URL and OCR") << "MP4" << inSound([](ByteBuilder &e) {
        e.fullBox("esds", 0, 0, descriptor(0x03, [](ByteBuilder &es) {
            es.u16be(1).u8(0xE3).u16be(7).u8(3).text("abc").u16be(9);
        }));
    }) << QStringList{"streamPriority=3", "dependsOn_ES_ID=7", "URLstring=abc", "OCR_ES_Id=9"};
    QTest::newRow("iods") << "MP4" << ByteBuilder().box("moov", [](ByteBuilder &m) {
        m.fullBox("iods", 0, 0, descriptor(0x10, [](ByteBuilder &d) {
            d.u16be(0x004F).u8(0xFF).u8(0xFF).u8(0x29).u8(0xFE).u8(0xFF);
            descriptor(0x0E, [](ByteBuilder &i) { i.u32be(1); })(d);
        }));
    }).bytes() << QStringList{"tag=16 (MP4_IOD_Tag)", "ObjectDescriptorID=1", "audioProfileLevelIndication=41 (AAC Profile L2)",
                              "visualProfileLevelIndication=254 (no profile specified)", "Track_ID=1"};
    QTest::newRow("dOps") << "MP4" << inSound([](ByteBuilder &e) {
        e.box("dOps", [](ByteBuilder &c) { c.u8(0).u8(2).u16be(312).u32be(44100).u16be(0xFF00).u8(1).u8(1).u8(1).u8(0).u8(1); });
    }) << QStringList{"PreSkip=312 (312 samples at 48000 Hz)", "InputSampleRate=44100 (44100 Hz)", "OutputGain=-256 (-1 dB)",
                      "ChannelMappingFamily=1 (Vorbis channel order)", "CoupledCount=1", "ChannelMapping=0, 1"};
    QTest::newRow("dfLa") << "MP4" << inSound([](ByteBuilder &e) {
        e.fullBox("dfLa", 0, 0, [](ByteBuilder &c) {
            c.u8(0x80).u24be(34).u16be(4096).u16be(4096).zeros(6).u64be(0x0ac442f000015888).zeros(16);
        });
    }) << QStringList{"last_metadata_block_flag=1", "BLOCK_TYPE=0 (STREAMINFO)", "maximum_block_size=4096",
                      "sample_rate=44100 (44100 Hz)", "channels_minus_1=1 (2 channels)",
                      "bits_per_sample_minus_1=15 (16 bits)", "total_samples=88200"};
    QTest::newRow("dac3") << "MP4" << inSound([](ByteBuilder &e) { e.box("dac3", [](ByteBuilder &c) { c.u24be(0x503DE0); }); })
        << QStringList{"fscod=1 (44100 Hz)", "bsid=8", "acmod=7 (3/2 (L, C, R, SL, SR))", "lfeon=1 (6 channels)",
                       "bit_rate_code=15 (448 kbit/s)"};
    QTest::newRow("dec3") << "MP4" << inSound([](ByteBuilder &e) {
        e.box("dec3", [](ByteBuilder &c) { c.u16be(640 << 3).u32be(0x200F0300); });
    })
        << QStringList{"data_rate=640 (640 kbit/s)", "num_ind_sub=0 (1 substream)", "bsid=16", "num_dep_sub=1", "chan_loc=256"};
    QTest::newRow("QuickTime chan, enda") << "MOV" << inSound([](ByteBuilder &e) {
        e.fullBox("chan", 0, 0, [](ByteBuilder &c) { c.u32be(0).u32be(0).u32be(1).u32be(2).u32be(0).zeros(12); });
        e.box("enda", [](ByteBuilder &c) { c.u16be(1); });
    }) << QStringList{"mChannelLayoutTag=0 (use channel descriptions)", "mChannelLabel=2 (Right)", "mCoordinates=0, 0, 0",
                      "littleEndian=1 (little-endian)"};

    // Sound descriptions: the version says which fields follow samplerate.
    QTest::newRow("MOV: sound description version 1") << "MOV" << track("soun", {soundEntry("twos", 1)})
        << QStringList{"samplerate=2890137600 (44100 Hz)", "samples_per_packet=1024", "bytes_per_sample=2"};
    QTest::newRow("MP4 in QuickTime layout: version 1") << "MP4" << track("soun", {soundEntry("mp4a", 1)})
        << QStringList{"samples_per_packet=1024"};
    QTest::newRow("ISO AudioSampleEntryV1") << "MP4" << track("soun", {otherEntry("mp4a", [](ByteBuilder &e) {
        e.u16be(1).zeros(6).u16be(2).u16be(16).u32be(0).u32be(1u << 16);
        e.box("btrt", [](ByteBuilder &c) { c.u32be(0).u32be(1).u32be(2); });
    })}, 1) << QStringList{"samplerate=65536 (1 Hz)", "!samples_per_packet", "avgBitrate=2"};
    QTest::newRow("MOV: sound description version 2") << "MOV" << track("soun", {soundEntry("lpcm", 2)})
        << QStringList{"audioSampleRate=96000 (96000 Hz)", "numAudioChannels=6",
                       "formatSpecificFlags=12 (signed integer, packed)", "constLPCMFramesPerAudioPacket=1"};
    // The compressor name: a Pascal string, or a plain string from tools that write one.
    QTest::newRow("compressorname: C string") << "MP4" << track("vide", {visualEntry("avc1", {}, "x264 encoder")})
        << QStringList{"compressorname=x264 encoder"};
    QTest::newRow("compressorname: empty Pascal string") << "MP4" << track("vide", {visualEntry("avc1", {}, QByteArray(1, '\0'))})
        << QStringList{"compressorname="};

    // Entries of tracks that are neither video nor sound.
    QTest::newRow("tx3g and ftab") << "MP4" << track("sbtl", {otherEntry("tx3g", [](ByteBuilder &e) {
        e.u32be(0x20).u8(1).u8(0xFF).u32be(0x000000FF).zeros(8).u16be(0).u16be(0).u16be(1).u8(2).u8(18).u32be(0xFFFFFFFF);
        e.box("ftab", [](ByteBuilder &f) { f.u16be(1).u16be(1).u8(5).text("Serif"); });
    })}) << QStringList{"displayFlags=32 (scroll in)", "horizontal_justification=1 (centered)",
                        "vertical_justification=-1 (right, bottom)", "background_color_rgba=255 (#000000ff)",
                        "face_style_flags=2 (italic)", "font_size=18", "font_name=Serif"};
    QTest::newRow("QuickTime text") << "MOV" << track("text", {otherEntry("text", [](ByteBuilder &e) {
        e.u32be(0).u32be(0xFFFFFFFF).zeros(6).u16be(0).u16be(0).u16be(100).u16be(200).zeros(8).u16be(3).u16be(1);
        e.zeros(3).zeros(6).u8(6).text("Geneva");
    })}) << QStringList{"text_justification=-1 (right, bottom)", "default_text_box=0, 0, 100, 200", "font_face=1 (bold)",
                        "text_name=Geneva"};
    QTest::newRow("tmcd") << "MOV" << track("tmcd", {otherEntry("tmcd", [](ByteBuilder &e) {
        e.u32be(0).u32be(1).u32be(2500).u32be(100).u8(25).u8(0);
    })}) << QStringList{"timescale=2500", "frame_duration=100", "number_of_frames=25"};
    QTest::newRow("stpp") << "MP4" << track("subt", {otherEntry("stpp", [](ByteBuilder &e) {
        e.text("http://www.w3.org/ns/ttml").u8(0).u8(0).u8(0);
    })}) << QStringList{"namespace=http://www.w3.org/ns/ttml", "schema_location=", "auxiliary_mime_types="};
    QTest::newRow("rtp hint") << "MP4" << track("hint", {otherEntry("rtp ", [](ByteBuilder &e) { e.u16be(1).u16be(1).u32be(1450); })})
        << QStringList{"hinttrackversion=1", "maxpacketsize=1450"};
    QTest::newRow("an unknown type") << "MP4" << track("meta", {otherEntry("xyzw", [](ByteBuilder &e) { e.zeros(5); })})
        << QStringList{"data_reference_index=1", "data="};
    // A zero word, or 8 zero bytes, or an 8-byte box of type zero, ends a QuickTime "wave".
    for (const char *tail : {"00000000", "0000000000000000", "0000000800000000"})
        QTest::addRow("wave ending in %s", tail) << "MOV" << track("soun", {soundEntry("mp4a", 1, [=](ByteBuilder &e) {
            e.box("wave", [=](ByteBuilder &w) {
                w.box("frma", [](ByteBuilder &f) { f.fourcc("mp4a"); }).raw(QByteArray::fromHex(tail));
            });
        })}) << QStringList{"data_format=mp4a", "terminator=0"};
}

void TestIsoCodecConfig::decoded()
{
    QFETCH(QString, parser);
    QFETCH(QByteArray, file);
    QFETCH(QStringList, expected);
    Result result;
    parse(&result, factory(parser), file);
    QVERIFY(result.ran);
    QCOMPARE(notes(result.sink), QStringList());
    QCOMPARE(result.outcome.firstFailure, 0);
    compareShown(result.sink, expected);
}

void TestIsoCodecConfig::damaged_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("note");
    QTest::addColumn<QStringList>("kept");
    QTest::addColumn<int>("failure");

    const auto avcC = [](const QByteArray &bytes) {
        return inVideo([=](ByteBuilder &e) { e.box("avcC", [&](ByteBuilder &c) { c.raw(bytes); }); });
    };
    QTest::newRow("avcC: SPS longer than the box") << avcC(QByteArray::fromHex("0164001fffe1000a6764"))
        << "8 bytes are missing: it claims 10 bytes" << QStringList{"AVCProfileIndication=100 (High)", "sequenceParameterSetLength=10"} << 5;
    QTest::newRow("avcC: SPS count past the box") << avcC(QByteArray::fromHex("0164001fffff00026764"))
        << "numOfSequenceParameterSets is 31; the box holds the start of 1 of them." << QStringList{"sequenceParameterSetNALUnit=6764"} << 5;
    QTest::newRow("avcC: cut in the header") << avcC(QByteArray::fromHex("0164"))
        << "bytes are missing: its fields need" << QStringList{"AVCProfileIndication=100 (High)", "!AVCLevelIndication"} << 5;
    QTest::newRow("hvcC: arrays past the box") << inVideo([](ByteBuilder &e) {
        e.box("hvcC", [](ByteBuilder &c) { c.u8(1).zeros(21).u8(200).u8(0xA1).u16be(9).u16be(1).u8(0x42); });
    }) << "numNalus is 9; the box holds the start of 1 of them." << QStringList{"NAL_unit_type=33 (SPS)"} << 0;
    QTest::newRow("esds: descriptor larger than the box") << inSound([](ByteBuilder &e) {
        e.fullBox("esds", 0, 0, [](ByteBuilder &x) { x.u8(0x03).u8(100).u16be(5).u8(0); });
    }) << "97 bytes are missing: it claims 102 bytes" << QStringList{"ES_ID=5"} << 5;
    QTest::newRow("esds: descriptor larger than its parent") << inSound([](ByteBuilder &e) {
        e.fullBox("esds", 0, 0, descriptor(0x03, [](ByteBuilder &es) { es.u16be(5).u8(0).u8(0x04).u8(50).u8(0x40).zeros(4); }));
    }) << "45 bytes are missing: it claims 52 bytes" << QStringList{"objectTypeIndication=64 (Audio ISO/IEC 14496-3 (AAC))"} << 5;
    QTest::newRow("esds: a size with 4 continuation bytes") << inSound([](ByteBuilder &e) {
        e.fullBox("esds", 0, 0, [](ByteBuilder &x) { x.u8(0x03).u32be(0x80808080).u16be(5).u8(0); });
    }) << "The size goes on past 4 bytes" << QStringList{"sizeOfInstance=0"} << 5;
    {
        // Descriptors nested 300 deep, each with a 4-byte size.
        QByteArray nested;
        for (int i = 0; i < 300; ++i) {
            const quint32 n = quint32(3 + nested.size());
            nested = ByteBuilder().u8(0x03).u8(0x80 | (n >> 21 & 0x7F)).u8(0x80 | (n >> 14 & 0x7F)).u8(0x80 | (n >> 7 & 0x7F))
                         .u8(n & 0x7F).u16be(1).u8(0).raw(nested).bytes();
        }
        QTest::newRow("esds: descriptors nested too deeply")
            << inSound([=](ByteBuilder &e) { e.fullBox("esds", 0, 0, [&](ByteBuilder &x) { x.raw(nested); }); })
            << "nested too deeply" << QStringList{"ES_ID=1"} << 0;
    }
    QTest::newRow("dfLa: block longer than the box") << inSound([](ByteBuilder &e) {
        e.fullBox("dfLa", 0, 0, [](ByteBuilder &c) { c.u8(0x80).u24be(34).u16be(4096).u16be(4096); });
    }) << "30 bytes are missing: it claims 38 bytes" << QStringList{"maximum_block_size=4096", "!sample_rate"} << 5;
    QTest::newRow("dOps: mapping past the box") << inSound([](ByteBuilder &e) {
        e.box("dOps", [](ByteBuilder &c) { c.u8(0).u8(8).u16be(0).u32be(48000).u16be(0).u8(1).u8(5).u8(3).u8(0); });
    }) << "7 bytes are missing: it claims 8 bytes" << QStringList{"StreamCount=5"} << 5;
    QTest::newRow("chan: more descriptions than fit") << track("soun", {soundEntry("twos", 0, [](ByteBuilder &e) {
        e.fullBox("chan", 0, 0, [](ByteBuilder &c) { c.u32be(0).u32be(0).u32be(5).zeros(40); });
    })}) << "entry_count claims 5 entries; only 2 fit in the box." << QStringList{"mChannelLabel=0 (Unused)"} << 0;
    QTest::newRow("ftab: more fonts than fit") << track("sbtl", {otherEntry("tx3g", [](ByteBuilder &e) {
        e.zeros(30).box("ftab", [](ByteBuilder &f) { f.u16be(5).u16be(1).u8(1).text("A"); });
    })}) << "entry_count is 5; the box holds the start of 1 of the fonts." << QStringList{"font_name=A"} << 0;
    QTest::newRow("tx3g cut in the default style") << track("sbtl", {otherEntry("tx3g", [](ByteBuilder &e) { e.zeros(20); })})
        << "bytes are missing" << QStringList{"horizontal_justification=0 (left, top)", "startChar=0", "!font_size"} << 5;
    QTest::newRow("tx3g cut before the text box") << track("sbtl", {otherEntry("tx3g", [](ByteBuilder &e) { e.zeros(4); })})
        << "bytes are missing" << QStringList{"displayFlags=0", "!default_text_box", "!default_style"} << 5;
    QTest::newRow("sound entry cut short") << track("soun", {otherEntry("mp4a", [](ByteBuilder &e) { e.u16be(0).u16be(0).u8(1); })})
        << "15 bytes are missing: its fields need 36 bytes, but it holds 21." << QStringList{"version=0", "!samplerate"} << 5;
    QTest::newRow("stsd: bytes after the entries") << movie("soun", [](ByteBuilder &t) {
        t.fullBox("stsd", 0, 0, [](ByteBuilder &s) { s.u32be(1).raw(soundEntry("twos", 0)).zeros(6); });
    }) << "6 bytes follow the last sample entry that entry_count gives." << QStringList{"samplesize=16", "data="} << 0;
}

void TestIsoCodecConfig::damaged()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, note);
    QFETCH(QStringList, kept);
    QFETCH(int, failure);
    for (const QString &parser : parserNames()) {
        Result result;
        parse(&result, factory(parser), file);
        QVERIFY(result.ran);
        QCOMPARE(result.outcome.status, 0);
        QVERIFY(!result.outcome.stalled);
        QCOMPARE(result.shapeFault(file.size()), QString());
        QVERIFY(deepest(result.sink) <= ContainerAbstract::maxDepth + 8);
        QVERIFY2(notes(result.sink).join(QLatin1Char('\n')).contains(note),
                 qPrintable(parser + QLatin1String(": ") + notes(result.sink).join(QLatin1String(" | "))));
        compareShown(result.sink, kept);
        QCOMPARE(result.outcome.firstFailure, failure);
    }
}

// Every entry of "stsd" is shown; the first names the codec.
void TestIsoCodecConfig::everyEntryShown()
{
    Result result;
    parse(&result, factory(QStringLiteral("MP4")),
          track("soun", {soundEntry("mp4a", 0), soundEntry("ac-3", 0), soundEntry("Opus", 0)}));
    QStringList types;
    for (const ElementRecord &record : result.sink.elements())
        if (record.name == QLatin1String("type") && record.level == 7)
            types << record.value;
    QCOMPARE(types, QStringList({"mp4a", "ac-3", "Opus"}));
    QCOMPARE(result.sink.streamRecords.first().codec, QStringLiteral("mp4a"));
}

QTEST_GUILESS_MAIN(TestIsoCodecConfig)
#include "test_iso_codec_config.moc"
