// CodecID and CodecPrivate of a TrackEntry. What CodecPrivate holds depends on the codec, as
// the Matroska codec mappings of the IETF CELLAR working group say: the configuration records
// of ISO/IEC 14496-15 and of the AV1 ISO binding for H.264, H.265 and AV1, an
// AudioSpecificConfig for AAC, the Opus and FLAC headers as Ogg stores them, the three Vorbis
// headers in Xiph lacing and the WebM list of VP9 codec features.

#include "container_mkv.h"

#include "byte_reader.h"
#include "codec_config.h"
#include "status.h"

#include <algorithm>
#include <iterator>

namespace {

struct CodecName
{
    const char *id;
    const char *name;
};

// The codecs of the Matroska codec mappings and those WebM adds.
constexpr CodecName codecNames[] = {
    {"V_AV1", "AV1"},
    {"V_AVS2", "AVS2-P2 / IEEE 1857.4"},
    {"V_AVS3", "AVS3-P2 / IEEE 1857.10"},
    {"V_CAVS", "AVS1-P2, JiZhun profile"},
    {"V_DIRAC", "Dirac"},
    {"V_FFV1", "FFV1"},
    {"V_JPEG2000", "JPEG 2000"},
    {"V_MJPEG", "Motion JPEG"},
    {"V_MPEG1", "MPEG-1 video"},
    {"V_MPEG2", "MPEG-2 video"},
    {"V_MPEG4/ISO/AVC", "H.264 / AVC"},
    {"V_MPEG4/ISO/AP", "MPEG-4 Visual, Advanced Profile"},
    {"V_MPEG4/ISO/ASP", "MPEG-4 Visual, Advanced Simple Profile (DivX 5, Xvid)"},
    {"V_MPEG4/ISO/SP", "MPEG-4 Visual, Simple Profile (DivX 4)"},
    {"V_MPEG4/MS/V3", "Microsoft MPEG-4 V3 (DivX 3)"},
    {"V_MPEGH/ISO/HEVC", "H.265 / HEVC"},
    {"V_MPEGI/ISO/VVC", "H.266 / VVC"},
    {"V_MS/VFW/FOURCC", "Video for Windows codec (BITMAPINFOHEADER)"},
    {"V_PRORES", "Apple ProRes"},
    {"V_QUICKTIME", "QuickTime video"},
    {"V_REAL/RV10", "RealVideo 1.0 (RealVideo 5)"},
    {"V_REAL/RV20", "RealVideo G2"},
    {"V_REAL/RV30", "RealVideo 8"},
    {"V_REAL/RV40", "RealVideo 9"},
    {"V_THEORA", "Theora"},
    {"V_UNCOMPRESSED", "uncompressed video"},
    {"V_VP8", "VP8"},
    {"V_VP9", "VP9"},
    {"A_AAC", "AAC"},
    {"A_AAC/MPEG2/LC", "AAC, MPEG-2 Low Complexity"},
    {"A_AAC/MPEG2/LC/SBR", "AAC, MPEG-2 Low Complexity with SBR"},
    {"A_AAC/MPEG2/MAIN", "AAC, MPEG-2 Main"},
    {"A_AAC/MPEG2/SSR", "AAC, MPEG-2 Scalable Sampling Rate"},
    {"A_AAC/MPEG4/LC", "AAC, MPEG-4 Low Complexity"},
    {"A_AAC/MPEG4/LC/SBR", "AAC, MPEG-4 Low Complexity with SBR"},
    {"A_AAC/MPEG4/LTP", "AAC, MPEG-4 Long Term Prediction"},
    {"A_AAC/MPEG4/MAIN", "AAC, MPEG-4 Main"},
    {"A_AAC/MPEG4/SSR", "AAC, MPEG-4 Scalable Sampling Rate"},
    {"A_AC3", "AC-3 / Dolby Digital"},
    {"A_AC3/BSID9", "AC-3 / Dolby Digital, bsid 9"},
    {"A_AC3/BSID10", "AC-3 / Dolby Digital, bsid 10"},
    {"A_ALAC", "Apple Lossless (ALAC)"},
    {"A_ATRAC/AT1", "Sony ATRAC1"},
    {"A_DTS", "DTS"},
    {"A_DTS/EXPRESS", "DTS Express"},
    {"A_DTS/LOSSLESS", "DTS Lossless"},
    {"A_EAC3", "E-AC-3 / Dolby Digital Plus"},
    {"A_FLAC", "FLAC"},
    {"A_MLP", "Meridian Lossless Packing (MLP)"},
    {"A_MPEG/L1", "MPEG audio Layer I"},
    {"A_MPEG/L2", "MPEG audio Layer II"},
    {"A_MPEG/L3", "MPEG audio Layer III (MP3)"},
    {"A_MS/ACM", "Audio Compression Manager codec (WAVEFORMATEX)"},
    {"A_OPUS", "Opus"},
    {"A_PCM/FLOAT/IEEE", "PCM, IEEE floating point, little-endian"},
    {"A_PCM/INT/BIG", "PCM, integer, big-endian"},
    {"A_PCM/INT/LIT", "PCM, integer, little-endian"},
    {"A_QUICKTIME", "QuickTime audio"},
    {"A_QUICKTIME/QDMC", "QDesign Music"},
    {"A_QUICKTIME/QDM2", "QDesign Music v2"},
    {"A_REAL/14_4", "RealAudio 1 (14.4)"},
    {"A_REAL/28_8", "RealAudio 2 (28.8)"},
    {"A_REAL/ATRC", "Sony ATRAC3 (RealAudio)"},
    {"A_REAL/COOK", "RealAudio Cook"},
    {"A_REAL/RALF", "RealAudio Lossless"},
    {"A_REAL/SIPR", "Sipro voice codec (RealAudio)"},
    {"A_TRUEHD", "Dolby TrueHD"},
    {"A_TTA1", "True Audio (TTA)"},
    {"A_VORBIS", "Vorbis"},
    {"A_WAVPACK4", "WavPack"},
    {"S_ARIBSUB", "ARIB STD-B24 subtitles"},
    {"S_ASS", "Advanced SubStation Alpha subtitles"},
    {"S_DVBSUB", "DVB subtitles"},
    {"S_HDMV/PGS", "Blu-ray presentation graphics subtitles (PGS)"},
    {"S_HDMV/TEXTST", "Blu-ray text subtitles"},
    {"S_IMAGE/BMP", "bitmap subtitles"},
    {"S_KATE", "Kate"},
    {"S_SSA", "SubStation Alpha subtitles"},
    {"S_TEXT/ASCII", "plain text subtitles (ASCII)"},
    {"S_TEXT/ASS", "Advanced SubStation Alpha subtitles"},
    {"S_TEXT/SSA", "SubStation Alpha subtitles"},
    {"S_TEXT/USF", "Universal Subtitle Format"},
    {"S_TEXT/UTF8", "plain text subtitles (UTF-8)"},
    {"S_TEXT/WEBVTT", "WebVTT subtitles"},
    {"S_VOBSUB", "VobSub (DVD subtitles)"},
    {"B_VOBBTN", "DVD buttons"},
    {"D_WEBVTT/CAPTIONS", "WebVTT captions (WebM)"},
    {"D_WEBVTT/DESCRIPTIONS", "WebVTT descriptions (WebM)"},
    {"D_WEBVTT/METADATA", "WebVTT metadata (WebM)"},
    {"D_WEBVTT/SUBTITLES", "WebVTT subtitles (WebM)"},
};

QString codecName(const QString &id)
{
    const auto found = std::find_if(std::begin(codecNames), std::end(codecNames),
                                    [&id](const CodecName &codec) { return id == QLatin1String(codec.id); });
    return found == std::end(codecNames) ? QString() : QString::fromLatin1(found->name);
}

/// What the CodecPrivate of a codec holds, as far as it is decoded.
enum class PrivateData { None, Avc, Hevc, Av1, Aac, Opus, Flac, Vorbis, Vp9 };

PrivateData privateDataOf(const QString &codec)
{
    if (codec == QLatin1String("V_MPEG4/ISO/AVC"))
        return PrivateData::Avc;
    if (codec == QLatin1String("V_MPEGH/ISO/HEVC"))
        return PrivateData::Hevc;
    if (codec == QLatin1String("V_AV1"))
        return PrivateData::Av1;
    if (codec == QLatin1String("V_VP9"))
        return PrivateData::Vp9;
    if (codec == QLatin1String("A_AAC") || codec.startsWith(QLatin1String("A_AAC/")))
        return PrivateData::Aac;
    if (codec == QLatin1String("A_OPUS"))
        return PrivateData::Opus;
    if (codec == QLatin1String("A_FLAC"))
        return PrivateData::Flac;
    if (codec == QLatin1String("A_VORBIS"))
        return PrivateData::Vorbis;
    return PrivateData::None;
}

// A codec identifier is a short ASCII name; no more of one is read.
constexpr quint64 codecIdLimit = 4096;
// The decoders hold the whole CodecPrivate in memory; configuration records are far smaller.
constexpr quint64 decodeLimit = 16 * 1024 * 1024;

} // namespace

int ContainerMKV::parseCodecID(ElementMKV *element)
{
    QByteArray bytes;
    const int status = readText(element, codecIdLimit, &bytes);
    if (status != Status::Success)
        return status;
    const qsizetype zero = bytes.indexOf('\0');
    const QString codec = QString::fromUtf8(zero < 0 ? bytes : bytes.left(zero));
    addField(element->dataOffset, element->dataSize, QStringLiteral("value"), codec, codecName(codec));
    const int stream = currentStream();
    if (stream >= 0 && !dataCut(element)) {
        streams[stream].codec = codec;
        m_codecStream = stream;
        m_codecId = codec;
    }
    return Status::Success;
}

int ContainerMKV::parseCodecPrivate(ElementMKV *element)
{
    const int status = reportValueBinary(element);
    const int stream = currentStream();
    if (status != Status::Success || stream < 0)
        return status;
    if (!dataCut(element)) {
        streams[stream].configOffset = element->dataOffset;
        streams[stream].configSize = element->dataSize;
    }
    return stream == m_codecStream ? decodeCodecPrivate(element, m_codecId) : Status::Success;
}

int ContainerMKV::decodeCodecPrivate(const ElementMKV *element, const QString &codec)
{
    const PrivateData data = privateDataOf(codec);
    if (data == PrivateData::None || element->dataSize == 0)
        return Status::Success;
    if (element->dataSize > decodeLimit) {
        addNote(QStringLiteral("The codec private data is not decoded: it is larger than %1 bytes.").arg(decodeLimit));
        return Status::Success;
    }
    QByteArray bytes;
    const int status = readText(element, element->dataSize, &bytes);
    if (status != Status::Success)
        return status;

    // The fields end where the element ends, whatever sizes its data gives.
    const Bound bound(*this, element->dataOffset + element->dataSize);
    CodecConfigFields fields(*this, element->dataOffset, ByteReader(bytes));
    fields.setHolder(QStringLiteral("the CodecPrivate element"));
    switch (data) {
    case PrivateData::Avc: fields.addAvcConfiguration(); break;
    case PrivateData::Hevc: fields.addHevcConfiguration(); break;
    case PrivateData::Av1: fields.addAv1Configuration(); break;
    case PrivateData::Aac: fields.addAudioSpecificConfig(0, bytes.size()); break;
    case PrivateData::Opus: fields.addOpusIdentificationHeader(); break;
    case PrivateData::Flac: fields.addFlacStreamHeader(); break;
    case PrivateData::Vorbis: fields.addVorbisHeaders(); break;
    case PrivateData::Vp9: fields.addVp9Features(); break;
    case PrivateData::None: break;
    }
    // A cut element has its note already; the fields may only lack what the cut took.
    if (!dataCut(element))
        noteMissingFields(bound, element->dataOffset);
    return bound.missing() > 0 ? Status::UnexpectedEnd : Status::Success;
}
