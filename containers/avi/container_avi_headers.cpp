// Handlers of the header chunks: "avih", "strh", "strf", "vprp" and "dmlh".

#include "container_avi.h"

#include "byte_reader.h"
#include "codec_tags.h"
#include "status.h"

#include <QStringList>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr uint mainHeaderSize = 56;
constexpr uint streamHeaderSize = 56;
constexpr uint bitmapInfoSize = 40;
constexpr uint waveFormatSize = 18;
constexpr uint videoPropertiesSize = 36;
constexpr uint fieldInfoSize = 32;
constexpr uint paletteEntrySize = 4;

QString guidText(const ByteReader &r, qsizetype at)
{
    return QStringLiteral("{%1-%2-%3-%4%5-%6%7%8%9%10%11}")
        .arg(r.u32le(at), 8, 16, QLatin1Char('0'))
        .arg(r.u16le(at + 4), 4, 16, QLatin1Char('0'))
        .arg(r.u16le(at + 6), 4, 16, QLatin1Char('0'))
        .arg(r.u8(at + 8), 2, 16, QLatin1Char('0'))
        .arg(r.u8(at + 9), 2, 16, QLatin1Char('0'))
        .arg(r.u8(at + 10), 2, 16, QLatin1Char('0'))
        .arg(r.u8(at + 11), 2, 16, QLatin1Char('0'))
        .arg(r.u8(at + 12), 2, 16, QLatin1Char('0'))
        .arg(r.u8(at + 13), 2, 16, QLatin1Char('0'))
        .arg(r.u8(at + 14), 2, 16, QLatin1Char('0'))
        .arg(r.u8(at + 15), 2, 16, QLatin1Char('0'));
}

} // namespace

void ContainerAVI::readStructure(quint64 offset, uint size, char *buffer, uint structureSize)
{
    // The structure is decoded from a buffer of its full size, zero where the chunk ends early.
    std::memset(buffer, 0, structureSize);
    window.read(offset, buffer, qsizetype(qMin(size, structureSize)));
}

void ContainerAVI::addLeftover(quint64 offset, uint size, quint64 structureSize)
{
    if (size > structureSize)
        addGarbage(offset + structureSize, size - structureSize);
}

QString ContainerAVI::timeText(double seconds)
{
    if (!std::isfinite(seconds) || seconds < 0 || seconds >= 1e18)
        return QString();
    quint64 hours = 0;
    quint64 minutes = 0;
    if (std::floor(seconds) > 59) {
        minutes = quint64(seconds / 60);
        seconds -= 60.0 * double(minutes);
        if (minutes > 59) {
            hours = minutes / 60;
            minutes %= 60;
        }
    }
    return QStringLiteral("%1:%2:%3")
        .arg(hours, 2, 10, QLatin1Char('0'))
        .arg(minutes, 2, 10, QLatin1Char('0'))
        .arg(seconds, 5, 'f', 3, QLatin1Char('0'));
}

QString ContainerAVI::timeAt(double units) const
{
    return m_frameRate > 0 ? timeText(units / m_frameRate) : QString();
}

QString ContainerAVI::fourccText(const char *code)
{
    qsizetype length = 0;
    while (length < 4 && code[length] != '\0')
        ++length;
    return QString::fromLatin1(code, length);
}

int ContainerAVI::parseChunkAVIH(quint64 offset, uint size)
{
    char buffer[mainHeaderSize];
    readStructure(offset, size, buffer, mainHeaderSize);
    const ByteReader r(QByteArray::fromRawData(buffer, sizeof buffer));

    const quint32 microSeconds = r.u32le(0);
    addField(offset, 4, QStringLiteral("dwMicroSecPerFrame"), unsignedNumber(microSeconds),
             microSeconds == 0 ? QString()
                               : QStringLiteral("%1 frames/second").arg(1000000.0 / microSeconds, 0, 'g', 6));
    addField(offset + 4, 4, QStringLiteral("dwMaxBytesPerSec"), unsignedNumber(r.u32le(4)));
    addField(offset + 8, 4, QStringLiteral("dwPaddingGranularity"), unsignedNumber(r.u32le(8)));

    const quint32 flags = r.u32le(12);
    QStringList names;
    static const struct {
        quint32 bit;
        const char *name;
    } flagNames[] = {
        {0x10, "AVIF_HASINDEX"},          {0x20, "AVIF_MUSTUSEINDEX"},
        {0x100, "AVIF_ISINTERLEAVED"},    {0x800, "AVIF_TRUSTCKTYPE"},
        {0x10000, "AVIF_WASCAPTUREFILE"}, {0x20000, "AVIF_COPYRIGHTED"},
    };
    for (const auto &flag : flagNames)
        if (flags & flag.bit)
            names << QLatin1String(flag.name);
    addField(offset + 12, 4, QStringLiteral("dwFlags"), unsignedNumber(flags), names.join(QStringLiteral(" | ")));

    addField(offset + 16, 4, QStringLiteral("dwTotalFrames"), unsignedNumber(r.u32le(16)));
    addField(offset + 20, 4, QStringLiteral("dwInitialFrames"), unsignedNumber(r.u32le(20)));
    addField(offset + 24, 4, QStringLiteral("dwStreams"), unsignedNumber(r.u32le(24)));
    addField(offset + 28, 4, QStringLiteral("dwSuggestedBufferSize"), unsignedNumber(r.u32le(28)));
    addField(offset + 32, 4, QStringLiteral("dwWidth"), unsignedNumber(r.u32le(32)));
    addField(offset + 36, 4, QStringLiteral("dwHeight"), unsignedNumber(r.u32le(36)));
    addField(offset + 40, 16, QStringLiteral("dwReserved"),
             QStringLiteral("%1 %2 %3 %4")
                 .arg(unsignedNumber(r.u32le(40)), unsignedNumber(r.u32le(44)), unsignedNumber(r.u32le(48)),
                      unsignedNumber(r.u32le(52))));

    addLeftover(offset, size, mainHeaderSize);
    return Status::Success;
}

int ContainerAVI::parseChunkSTRH(quint64 offset, uint size)
{
    // Each stream header begins a stream; the "strf" that follows describes the same one.
    const int stream = beginStream();
    char buffer[streamHeaderSize];
    readStructure(offset, size, buffer, streamHeaderSize);
    const ByteReader r(QByteArray::fromRawData(buffer, sizeof buffer));

    const QString type = fourccText(buffer);
    const QString handler = fourccText(buffer + 4);
    StreamRecord::Kind kind = StreamRecord::Other;
    QString typeName;
    if (type == QLatin1String("vids")) {
        typeName = QStringLiteral("Video");
        m_streamType = VideoStream;
        m_videoStreams.push_back(uint(stream));
        kind = StreamRecord::Video;
    } else if (type == QLatin1String("auds")) {
        typeName = QStringLiteral("Audio");
        m_streamType = AudioStream;
        kind = StreamRecord::Audio;
    } else if (type == QLatin1String("mids")) {
        typeName = QStringLiteral("MIDI");
        m_streamType = MidiStream;
    } else if (type == QLatin1String("txts")) {
        typeName = QStringLiteral("Subtitles");
        m_streamType = TextStream;
        kind = StreamRecord::Subtitle;
    } else {
        // Its format is none of the kinds decoded here; it must not be read as the previous
        // stream's kind.
        m_streamType = NoStream;
    }
    const quint32 scale = r.u32le(20);
    const quint32 rate = r.u32le(24);
    m_frameRate = scale != 0 && rate != 0 ? double(rate) / double(scale) : 0;

    addField(offset, 4, QStringLiteral("fccType"), type, typeName);
    addField(offset + 4, 4, QStringLiteral("fccHandler"), handler);
    const quint32 flags = r.u32le(8);
    QString flagName;
    if (flags & 0x1)
        flagName = QStringLiteral("AVISF_DISABLED");
    if (flags & 0x10000)
        flagName = QStringLiteral("AVISF_VIDEO_PALCHANGES");
    addField(offset + 8, 4, QStringLiteral("dwFlags"), unsignedNumber(flags), flagName);
    addField(offset + 12, 2, QStringLiteral("wPriority"), number(qint16(r.u16le(12))));
    addField(offset + 14, 2, QStringLiteral("wLanguage"), number(qint16(r.u16le(14))));
    addField(offset + 16, 4, QStringLiteral("dwInitialFrames"), unsignedNumber(r.u32le(16)));
    addField(offset + 20, 4, QStringLiteral("dwScale"), unsignedNumber(scale));
    addField(offset + 24, 4, QStringLiteral("dwRate"), unsignedNumber(rate));
    addField(offset + 28, 4, QStringLiteral("dwStart"), unsignedNumber(r.u32le(28)), timeAt(r.u32le(28)));
    addField(offset + 32, 4, QStringLiteral("dwLength"), unsignedNumber(r.u32le(32)), timeAt(r.u32le(32)));
    addField(offset + 36, 4, QStringLiteral("dwSuggestedBufferSize"), unsignedNumber(r.u32le(36)));
    const quint32 quality = r.u32le(40);
    QString qualityName;
    if (quality == 0)
        qualityName = QStringLiteral("Minimum");
    else if (quality == 0xFFFFFFFFu)
        qualityName = QStringLiteral("Default");
    else if (quality == 10000)
        qualityName = QStringLiteral("Maximum");
    if (!qualityName.isEmpty())
        qualityName += QStringLiteral(" level");
    addField(offset + 40, 4, QStringLiteral("dwQuality"), unsignedNumber(quality), qualityName);
    addField(offset + 44, 4, QStringLiteral("dwSampleSize"), unsignedNumber(r.u32le(44)));

    // The group holds the members of the rectangle that lie in the chunk; without any it is
    // left out, and the members still count as missing.
    const quint64 frameWidth = fit(offset + 48, 8);
    if (frameWidth > 0)
        beginGroup(offset + 48, frameWidth, QStringLiteral("rcFrame"), -1);
    addField(offset + 48, 2, QStringLiteral("left"), number(qint16(r.u16le(48))));
    addField(offset + 50, 2, QStringLiteral("top"), number(qint16(r.u16le(50))));
    addField(offset + 52, 2, QStringLiteral("right"), number(qint16(r.u16le(52))));
    addField(offset + 54, 2, QStringLiteral("bottom"), number(qint16(r.u16le(54))));
    if (frameWidth > 0)
        endGroup();

    StreamRecord &record = streams[stream];
    record.kind = kind;
    // Frame times count dwScale ticks of 1 / dwRate seconds each.
    record.timescale = rate;
    // The format of a video or audio stream names its codec; of other streams the handler does.
    if (kind != StreamRecord::Video && kind != StreamRecord::Audio)
        record.codec = handler;
    if (m_streamType == VideoStream)
        record.frameRate = m_frameRate;

    // Some writers make the header longer than the structure; the bytes after it are theirs.
    if (size > streamHeaderSize)
        addField(offset + streamHeaderSize, size - streamHeaderSize, QStringLiteral("extra"), QString());
    return Status::Success;
}

int ContainerAVI::parseChunkSTRF(quint64 offset, uint size)
{
    switch (m_streamType) {
    case AudioStream:
        return parseChunkSTRF_audio(offset, size);
    case VideoStream:
        return parseChunkSTRF_video(offset, size);
    default:
        addField(offset, size, QStringLiteral("value"), QString());
        return Status::Success;
    }
}

int ContainerAVI::parseChunkSTRF_video(quint64 offset, uint size)
{
    char buffer[bitmapInfoSize];
    readStructure(offset, size, buffer, bitmapInfoSize);
    const ByteReader r(QByteArray::fromRawData(buffer, sizeof buffer));

    const quint32 headerSize = r.u32le(0);
    const qint32 width = qint32(r.u32le(4));
    const qint32 height = qint32(r.u32le(8));
    const quint16 bitCount = r.u16le(14);
    const quint32 compression = r.u32le(16);
    const quint32 colorsUsed = r.u32le(32);
    addField(offset, 4, QStringLiteral("biSize"), unsignedNumber(headerSize));
    addField(offset + 4, 4, QStringLiteral("biWidth"), number(width), QString(),
             QStringLiteral("Width of image (in pixels)."));
    addField(offset + 8, 4, QStringLiteral("biHeight"), number(height), QString(),
             QStringLiteral("Height of image (in pixels)."));
    addField(offset + 12, 2, QStringLiteral("biPlanes"), unsignedNumber(r.u16le(12)));
    addField(offset + 14, 2, QStringLiteral("biBitCount"), unsignedNumber(bitCount), QString(),
             QStringLiteral("Color depth of image (in bits)."));
    addField(offset + 16, 4, QStringLiteral("biCompression"), fourccText(buffer + 16));
    addField(offset + 20, 4, QStringLiteral("biSizeImage"), unsignedNumber(r.u32le(20)));
    addField(offset + 24, 4, QStringLiteral("biXPelsPerMeter"), number(qint32(r.u32le(24))));
    addField(offset + 28, 4, QStringLiteral("biYPelsPerMeter"), number(qint32(r.u32le(28))));
    addField(offset + 32, 4, QStringLiteral("biClrUsed"), unsignedNumber(colorsUsed));
    addField(offset + 36, 4, QStringLiteral("biClrImportant"), unsignedNumber(r.u32le(36)));

    if (m_streamType == VideoStream && !streams.isEmpty()) {
        StreamRecord &stream = streams.last();
        stream.width = width;
        stream.height = height;
        if (compression == 0) {
            stream.codecId = 14;
            stream.format = 3;
        } else {
            stream.codecId = getCodecID(codecTagTable, compression);
        }
        static const char *const bitmapCodings[] = {"BI_RGB", "BI_RLE8", "BI_RLE4", "BI_BITFIELDS"};
        stream.codec = compression < 4 ? QLatin1String(bitmapCodings[compression]) : fourccText(buffer + 16);
    }

    if (headerSize > size && size >= bitmapInfoSize)
        addNote(QStringLiteral("biSize is %1, but the chunk holds %2 bytes.").arg(headerSize).arg(size));
    if (size <= bitmapInfoSize)
        return Status::Success;
    if (bitCount == 0 || bitCount > 8) {
        // The codec's configuration follows the structure, whether biSize counts it or not.
        addField(offset + bitmapInfoSize, size - bitmapInfoSize, QStringLiteral("extradata"), QString());
        return Status::Success;
    }
    // A palette follows the header of biSize bytes; a header longer than the structure holds
    // the codec's configuration.
    const quint64 paletteStart = std::clamp<quint64>(headerSize, bitmapInfoSize, size);
    if (paletteStart > bitmapInfoSize)
        addField(offset + bitmapInfoSize, paletteStart - bitmapInfoSize, QStringLiteral("extradata"), QString());
    // An image of biBitCount bits per pixel uses at most 2^biBitCount colors.
    const quint32 colors = 1u << bitCount;
    if (colorsUsed > colors)
        addNote(QStringLiteral("biClrUsed is %1, but an image of %2 bits per pixel uses at most %3 colors.")
                    .arg(colorsUsed)
                    .arg(bitCount)
                    .arg(colors));
    const quint32 entries = colorsUsed != 0 ? qMin(colorsUsed, colors) : colors;
    const quint64 paletteEnd = paletteStart + addPalette(offset + paletteStart, entries);
    addLeftover(offset, size, paletteEnd);
    return Status::Success;
}

// The palette claims its entries whatever the chunk holds: the entries past the chunk's end are
// counted as missing, and a file cut inside the palette shows the same entries before the cut.
quint64 ContainerAVI::addPalette(quint64 offset, quint64 colors)
{
    const quint64 claimed = colors * paletteEntrySize;
    const quint64 kept = fit(offset, claimed);
    if (kept < claimed)
        addNote(QStringLiteral("The palette has %1 colors (%2 bytes), but only %3 bytes of it are in the chunk.")
                    .arg(colors)
                    .arg(claimed)
                    .arg(kept));
    if (kept == 0)
        return claimed;
    beginGroup(offset, kept, QStringLiteral("palette"), -1);
    const QByteArray bytes = window.bytes(offset, qsizetype(kept));
    const ByteReader r(bytes);
    for (quint64 i = 0; i * paletteEntrySize < kept; ++i) {
        // RGBQUAD: blue, green, red and a reserved byte.
        const qsizetype at = qsizetype(i * paletteEntrySize);
        addField(offset + quint64(at), paletteEntrySize, QStringLiteral("RGBQUAD"), unsignedNumber(r.u32le(at)),
                 QStringLiteral("#%1%2%3")
                     .arg(r.u8(at + 2), 2, 16, QLatin1Char('0'))
                     .arg(r.u8(at + 1), 2, 16, QLatin1Char('0'))
                     .arg(r.u8(at), 2, 16, QLatin1Char('0')),
                 QString(), qint64(i));
    }
    endGroup();
    return claimed;
}

int ContainerAVI::parseChunkSTRF_audio(quint64 offset, uint size)
{
    // A 14-byte WAVEFORMAT and a 16-byte PCMWAVEFORMAT are complete structures of their own;
    // only a chunk shorter than those lacks members.
    const ByteReader r(window.bytes(offset, qMin(size, waveFormatSize)));

    const quint16 formatTag = r.u16le(0);
    QString formatName;
    if (formatTag == 0x1)
        formatName = QStringLiteral("WAVE_FORMAT_PCM");
    else if (formatTag == 0x50)
        formatName = QStringLiteral("WAVE_FORMAT_MPEG");
    else if (formatTag == 0x55)
        formatName = QStringLiteral("WAVE_FORMAT_MPEGLAYER3");
    addField(offset, 2, QStringLiteral("wFormatTag"), unsignedNumber(formatTag), formatName);
    if (m_streamType == AudioStream && !streams.isEmpty()) {
        StreamRecord &stream = streams.last();
        stream.codec = QStringLiteral("0x%1").arg(formatTag, 4, 16, QLatin1Char('0'));
        // Members cut by the chunk or the file tell nothing.
        stream.channels = r.has(2, 2) ? r.u16le(2) : 0;
        stream.sampleRate = r.has(4, 4) ? r.u32le(4) : 0;
    }
    addField(offset + 2, 2, QStringLiteral("nChannels"), unsignedNumber(r.u16le(2)));
    addField(offset + 4, 4, QStringLiteral("nSamplesPerSec"), unsignedNumber(r.u32le(4)));
    addField(offset + 8, 4, QStringLiteral("nAvgBytesPerSec"), unsignedNumber(r.u32le(8)));
    addField(offset + 12, 2, QStringLiteral("nBlockAlign"), unsignedNumber(r.u16le(12)));
    if (size > 14)
        addField(offset + 14, 2, QStringLiteral("wBitsPerSample"), unsignedNumber(r.u16le(14)));

    quint64 used = qMin(size, waveFormatSize);
    if (size > 17) {
        const quint16 cbSize = r.u16le(16);
        addField(offset + 16, 2, QStringLiteral("cbSize"), unsignedNumber(cbSize));
        // The extra bytes are taken only as far as the chunk holds them.
        const uint extraLength = qMin<uint>(cbSize, size - waveFormatSize);
        if (extraLength < cbSize)
            addNote(QStringLiteral("cbSize is %1 but only %2 bytes follow the format in the chunk.")
                        .arg(cbSize)
                        .arg(extraLength));
        if (extraLength > 0) {
            const quint64 extra = offset + waveFormatSize;
            // Offsets below are those of the whole structure, so the extra bytes begin at 18.
            const QByteArray bytes = QByteArray(int(waveFormatSize), '\0') + window.bytes(extra, extraLength);
            const ByteReader x(bytes);
            // The extra bytes decoded as fields; the rest is the codec's configuration.
            uint decoded = 0;
            if (formatTag == 0xFFFE && extraLength > 21) {
                addField(offset + 18, 2, QStringLiteral("wValidBitsPerSample,wSamplesPerBlock,wReserved"),
                         unsignedNumber(x.u16le(18)));
                addField(offset + 20, 4, QStringLiteral("dwChannelMask"), unsignedNumber(x.u32le(20)));
                addField(offset + 24, 16, QStringLiteral("SubFormat"), guidText(x, 24));
                decoded = 22;
            } else if (formatTag == 0x55 && extraLength >= 12) {
                addField(extra, extraLength, QStringLiteral("mp3_extra_format_info"), QString());
                decoded = extraLength;
            } else if (formatTag == 0x50 && extraLength > 21) {
                addField(offset + 18, 2, QStringLiteral("fwHeadLayer"), unsignedNumber(x.u16le(18)));
                addField(offset + 20, 4, QStringLiteral("dwHeadBitrate"), unsignedNumber(x.u32le(20)));
                addField(offset + 24, 2, QStringLiteral("fwHeadMode"), unsignedNumber(x.u16le(24)));
                addField(offset + 26, 2, QStringLiteral("fwHeadModeExt"), unsignedNumber(x.u16le(26)));
                addField(offset + 28, 2, QStringLiteral("wHeadEmphasis"), unsignedNumber(x.u16le(28)));
                addField(offset + 30, 2, QStringLiteral("fwHeadFlags"), unsignedNumber(x.u16le(30)));
                addField(offset + 32, 4, QStringLiteral("dwPTSLow"), unsignedNumber(x.u32le(32)));
                addField(offset + 36, 4, QStringLiteral("dwPTSHigh"), unsignedNumber(x.u32le(36)));
                decoded = 22;
            }
            if (decoded < extraLength)
                addField(extra + decoded, extraLength - decoded, QStringLiteral("extradata"), QString());
        }
        used = waveFormatSize + extraLength;
    }

    addLeftover(offset, size, used);
    return Status::Success;
}

int ContainerAVI::parseChunkVPRP(quint64 offset, uint size)
{
    char buffer[videoPropertiesSize];
    readStructure(offset, size, buffer, videoPropertiesSize);
    const ByteReader r(QByteArray::fromRawData(buffer, sizeof buffer));

    static const char *const names[] = {"VideoFormatToken",     "VideoStandard",       "dwVerticalRefreshRate",
                                        "dwHTotalInT",          "dwVTotalInLines",     "dwFrameAspectRatio",
                                        "dwFrameWidthInPixels", "dwFrameHeightInLines", "nbFieldsPerFrame"};
    for (int i = 0; i < 9; ++i) {
        const quint32 value = r.u32le(4 * i);
        QString readable;
        if (i == 5)
            readable = QStringLiteral("%1:%2").arg(value >> 16).arg(value & 0xFFFF);
        addField(offset + quint64(4 * i), 4, QLatin1String(names[i]), unsignedNumber(value), readable);
    }

    // The field descriptions that really lie in the chunk, however many the count claims; the
    // last one may be cut short like any structure.
    const quint32 claimed = r.u32le(32);
    const quint64 room = size > videoPropertiesSize ? (size - videoPropertiesSize + fieldInfoSize - 1) / fieldInfoSize : 0;
    const quint64 fields = qMin<quint64>(claimed, room);
    if (fields < claimed)
        addNote(QStringLiteral("nbFieldsPerFrame is %1 but the chunk holds %2 field descriptions.")
                    .arg(claimed)
                    .arg(fields));
    static const char *const fieldNames[] = {"CompressedBMHeight", "CompressedBMWidth", "ValidBMHeight",
                                             "ValidBMWidth",       "ValidBMXOffset",    "ValidBMYOffset",
                                             "VideoXOffsetInT",    "VideoYValidStartLine"};
    for (quint64 f = 0; f < fields; ++f) {
        const quint64 at = offset + videoPropertiesSize + f * fieldInfoSize;
        char info[fieldInfoSize] = {};
        window.read(at, info, qsizetype(qMin<quint64>(fieldInfoSize, offset + size - at)));
        const ByteReader field(QByteArray::fromRawData(info, sizeof info));
        beginGroup(at, fit(at, fieldInfoSize), QStringLiteral("FieldFrameInfo"), -1);
        for (int i = 0; i < 8; ++i)
            addField(at + quint64(4 * i), 4, QLatin1String(fieldNames[i]), unsignedNumber(field.u32le(4 * i)));
        endGroup();
    }

    addLeftover(offset, size, videoPropertiesSize + fields * fieldInfoSize);
    return Status::Success;
}

int ContainerAVI::parseChunkDMLH(quint64 offset, uint size)
{
    char buffer[4];
    readStructure(offset, size, buffer, 4);
    const ByteReader r(QByteArray::fromRawData(buffer, sizeof buffer));
    addField(offset, 4, QStringLiteral("dwTotalFrames"), unsignedNumber(r.u32le(0)));
    if (size <= 4)
        return Status::Success;
    const uint shown = qMin(size - 4, 127u);
    const QByteArray future = window.bytes(offset + 4, shown);
    if (future.size() < qsizetype(shown))
        return Status::UnexpectedEnd;
    addField(offset + 4, size - 4, QStringLiteral("dwFuture"), toPrintable(future));
    return Status::Success;
}
