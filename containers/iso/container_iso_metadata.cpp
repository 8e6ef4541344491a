// User data, metadata and asset information boxes: QuickTime user data text atoms, the iTunes
// item list with its "data" atoms and the "keys" that name the items of QuickTime metadata,
// Nero chapters, ID3 and XMP packets, the 3GPP asset boxes (3GPP TS 26.244, 8) and the
// QuickTime track aperture and track load settings.

#include "container_iso.h"

#include "byte_reader.h"
#include "status.h"

#include <QStringDecoder>

#include <cstring>
#include <iterator>

namespace {

// The names of the Macintosh language codes 0 to 94 and 128 to 150.
const char *const macLanguages[] = {
    "English", "French", "German", "Italian", "Dutch", "Swedish", "Spanish", "Danish", "Portuguese",
    "Norwegian", "Hebrew", "Japanese", "Arabic", "Finnish", "Greek", "Icelandic", "Maltese", "Turkish",
    "Croatian", "Traditional Chinese", "Urdu", "Hindi", "Thai", "Korean", "Lithuanian", "Polish",
    "Hungarian", "Estonian", "Latvian", "Sami", "Faroese", "Farsi", "Russian", "Simplified Chinese",
    "Flemish", "Irish", "Albanian", "Romanian", "Czech", "Slovak", "Slovenian", "Yiddish", "Serbian",
    "Macedonian", "Bulgarian", "Ukrainian", "Belarusian", "Uzbek", "Kazakh", "Azerbaijani (Cyrillic)",
    "Azerbaijani (Arabic)", "Armenian", "Georgian", "Moldavian", "Kirghiz", "Tajiki", "Turkmen",
    "Mongolian", "Mongolian (Cyrillic)", "Pashto", "Kurdish", "Kashmiri", "Sindhi", "Tibetan", "Nepali",
    "Sanskrit", "Marathi", "Bengali", "Assamese", "Gujarati", "Punjabi", "Oriya", "Malayalam",
    "Kannada", "Tamil", "Telugu", "Sinhalese", "Burmese", "Khmer", "Lao", "Vietnamese", "Indonesian",
    "Tagalog", "Malay (Roman)", "Malay (Arabic)", "Amharic", "Tigrinya", "Galla", "Somali", "Swahili",
    "Kinyarwanda", "Rundi", "Nyanja", "Malagasy", "Esperanto"};
const char *const macLanguagesFrom128[] = {
    "Welsh", "Basque", "Catalan", "Latin", "Quechua", "Guarani", "Aymara", "Tatar", "Uighur",
    "Dzongkha", "Javanese (Roman)", "Sundanese (Roman)", "Galician", "Afrikaans", "Breton", "Inuktitut",
    "Scottish Gaelic", "Manx Gaelic", "Irish Gaelic (with dot)", "Tongan", "Greek (polytonic)",
    "Greenlandic", "Azerbaijani (Roman)"};
static_assert(std::size(macLanguages) == 95 && std::size(macLanguagesFrom128) == 23);

constexpr quint16 unspecifiedLanguage = 0x7FFF;
constexpr quint16 firstPackedLanguage = 0x400;

// The three letters of a packed ISO 639-2/T code; empty when one of them is not a to z.
QString packedLetters(quint16 code)
{
    QString letters;
    for (int shift : {10, 5, 0}) {
        const int letter = (code >> shift) & 0x1F;
        if (letter < 1 || letter > 26)
            return QString();
        letters += QChar(0x60 + letter);
    }
    return letters;
}

// Characters 0x80 to 0xFF of Mac Roman, the text encoding of the Macintosh language codes.
const char16_t macRomanHigh[128] = {
    0x00C4, 0x00C5, 0x00C7, 0x00C9, 0x00D1, 0x00D6, 0x00DC, 0x00E1, 0x00E0, 0x00E2, 0x00E4, 0x00E3, 0x00E5,
    0x00E7, 0x00E9, 0x00E8, 0x00EA, 0x00EB, 0x00ED, 0x00EC, 0x00EE, 0x00EF, 0x00F1, 0x00F3, 0x00F2, 0x00F4,
    0x00F6, 0x00F5, 0x00FA, 0x00F9, 0x00FB, 0x00FC, 0x2020, 0x00B0, 0x00A2, 0x00A3, 0x00A7, 0x2022, 0x00B6,
    0x00DF, 0x00AE, 0x00A9, 0x2122, 0x00B4, 0x00A8, 0x2260, 0x00C6, 0x00D8, 0x221E, 0x00B1, 0x2264, 0x2265,
    0x00A5, 0x00B5, 0x2202, 0x2211, 0x220F, 0x03C0, 0x222B, 0x00AA, 0x00BA, 0x03A9, 0x00E6, 0x00F8, 0x00BF,
    0x00A1, 0x00AC, 0x221A, 0x0192, 0x2248, 0x2206, 0x00AB, 0x00BB, 0x2026, 0x00A0, 0x00C0, 0x00C3, 0x00D5,
    0x0152, 0x0153, 0x2013, 0x2014, 0x201C, 0x201D, 0x2018, 0x2019, 0x00F7, 0x25CA, 0x00FF, 0x0178, 0x2044,
    0x20AC, 0x2039, 0x203A, 0xFB01, 0xFB02, 0x2021, 0x00B7, 0x201A, 0x201E, 0x2030, 0x00C2, 0x00CA, 0x00C1,
    0x00CB, 0x00C8, 0x00CD, 0x00CE, 0x00CF, 0x00CC, 0x00D3, 0x00D4, 0xF8FF, 0x00D2, 0x00DA, 0x00DB, 0x00D9,
    0x0131, 0x02C6, 0x02DC, 0x00AF, 0x02D8, 0x02D9, 0x02DA, 0x00B8, 0x02DD, 0x02DB, 0x02C7};

QByteArray beforeZero(const QByteArray &bytes)
{
    const qsizetype zero = bytes.indexOf('\0');
    return zero < 0 ? bytes : bytes.first(zero);
}

QString macRoman(const QByteArray &bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const uchar byte = uchar(c);
        text += byte < 0x80 ? QChar(byte) : QChar(macRomanHigh[byte - 0x80]);
    }
    return text;
}

// Text up to its first zero character; a stateful decoder leaves out a character cut at the end.
QString decode(QStringConverter::Encoding encoding, const QByteArray &bytes)
{
    QStringDecoder decoder(encoding);
    const QString text = decoder(bytes);
    const qsizetype zero = text.indexOf(QChar(0));
    return zero < 0 ? text : text.first(zero);
}

// The well-known types of a "data" atom's type indicator.
QString dataTypeName(quint32 type)
{
    switch (type) {
    case 0: return QStringLiteral("implicit");
    case 1: return QStringLiteral("UTF-8");
    case 2: return QStringLiteral("UTF-16");
    case 3: return QStringLiteral("Shift JIS");
    case 4: return QStringLiteral("UTF-8 sort");
    case 5: return QStringLiteral("UTF-16 sort");
    case 13: return QStringLiteral("JPEG");
    case 14: return QStringLiteral("PNG");
    case 21: return QStringLiteral("signed integer");
    case 22: return QStringLiteral("unsigned integer");
    case 23: return QStringLiteral("32-bit float");
    case 24: return QStringLiteral("64-bit float");
    case 27: return QStringLiteral("BMP");
    case 28: return QStringLiteral("QuickTime metadata atom");
    case 65: return QStringLiteral("8-bit signed integer");
    case 66: return QStringLiteral("16-bit signed integer");
    case 67: return QStringLiteral("32-bit signed integer");
    case 70: return QStringLiteral("point");
    case 71: return QStringLiteral("dimensions");
    case 72: return QStringLiteral("rectangle");
    case 74: return QStringLiteral("64-bit signed integer");
    case 75: return QStringLiteral("8-bit unsigned integer");
    case 76: return QStringLiteral("16-bit unsigned integer");
    case 77: return QStringLiteral("32-bit unsigned integer");
    case 78: return QStringLiteral("64-bit unsigned integer");
    case 79: return QStringLiteral("affine transform");
    default: return QString();
    }
}

bool isSignedType(quint32 type)
{
    return type == 21 || type == 65 || type == 66 || type == 67 || type == 74;
}

bool isUnsignedType(quint32 type)
{
    return type == 22 || (type >= 75 && type <= 78);
}

// Bytes of each number of a "data" value of floating-point numbers, 0 for other types.
int floatBytes(quint32 type)
{
    if (type == 23 || type == 70 || type == 71 || type == 72)
        return 4;
    return type == 24 || type == 79 ? 8 : 0;
}

// The big-endian IEEE 754 number of 4 or 8 bytes at at.
double floatAt(const ByteReader &reader, qsizetype at, int bytes)
{
    if (bytes == 4) {
        const quint32 bits = reader.u32be(at);
        float value = 0;
        std::memcpy(&value, &bits, sizeof(value));
        return value;
    }
    const quint64 bits = reader.u64be(at);
    double value = 0;
    std::memcpy(&value, &bits, sizeof(value));
    return value;
}

// A big-endian number of the bytes given (at most 8).
quint64 bigEndian(const QByteArray &bytes)
{
    quint64 value = 0;
    for (const char c : bytes)
        value = value << 8 | uchar(c);
    return value;
}

// A start time in units of 100 ns as h:mm:ss.mmm.
QString chapterTime(quint64 units)
{
    const quint64 ms = units / 10000;
    return QStringLiteral("%1:%2:%3.%4")
        .arg(ms / 3600000)
        .arg(ms / 60000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms / 1000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms % 1000, 3, 10, QLatin1Char('0'));
}

} // namespace

QString ContainerIso::printableCode(quint32 code)
{
    QString text;
    for (int shift : {24, 16, 8, 0}) {
        const uchar c = uchar(code >> shift);
        if (c < 0x20 || c > 0x7E)
            return QString();
        text += QLatin1Char(char(c));
    }
    return text;
}

namespace {

// The index an item of a keyed "ilst" stores as its type: the 16 bytes before the payload end
// with size and type, or with size 1, type and a 64-bit size equal to the payload's 16 more.
quint32 itemIndex(const QByteArray &before, quint64 payloadSize)
{
    const ByteReader reader(before);
    const bool big = reader.u32be(0) == 1 && reader.u64be(8) == payloadSize + 16;
    return big ? reader.u32be(4) : reader.u32be(12);
}

const QUuid xmpUserType = QUuid::fromString(QLatin1String("{be7acfcb-97a9-42e8-9c71-999491e3afac}"));

// The three letters after the copyright sign of the QuickTime user data text atoms; in "ilst"
// the same types are iTunes items.
const char *const textAtoms[] = {
    "nam", "day", "too", "swr", "mak", "mod", "xyz", "cpy", "enc", "cmt", "des", "inf", "ART", "alb",
    "aut", "dir", "ed1", "ed2", "ed3", "ed4", "ed5", "ed6", "ed7", "ed8", "ed9", "fmt", "gen", "hst",
    "isr", "lab", "mal", "ope", "prd", "PRD", "prf", "req", "src", "wrt", "wrn", "lyr", "grp", "com",
    "key", "st3", "snm", "sar", "url", "dis", "nak", "arg", "phg", "pub", "trk", "wrk", "mvn", "mvi",
    "mvc"};

} // namespace

void ContainerIso::addMetadataBoxes()
{
    // box       type    full  handler
    addBox("chpl", Binary, 1, &ContainerIso::parseBoxCHPL);
    addBox("name", Binary, 0, &ContainerIso::parseBoxNAME);
    addBox("mean", Binary, 1, &ContainerIso::parseBoxMEAN);
    addBox("data", Binary, 0, &ContainerIso::parseBoxDATA);
    addBox("keys", Binary, 1, &ContainerIso::parseBoxKEYS);
    addBox("ID32", Binary, 1, &ContainerIso::parseBoxID32);
    addBox("XMP_", String, 0, &ContainerIso::parseBoxXMP);
    for (const char *letters : textAtoms)
        addBox(QByteArray("\xA9" + QByteArray(letters)).constData(), Binary, 0, &ContainerIso::parseTextAtom);
    // The items of an "ilst" under "keys" are named by a 32-bit key index: their type bytes
    // begin with zeros, so the walker reads their type as empty.
    addBox("", Binary, 0, &ContainerIso::parseKeyedItem);
    // iTunes items: boxes of "data" atoms ("mean" and "name" first in "----").
    for (const char *type : {"aART", "covr", "cpil", "desc", "disk", "pgap", "purd", "soaa", "soal", "soar",
                             "soco", "sonm", "sosn", "stik", "tmpo", "trkn", "tves", "tvsh", "tvnn", "tven",
                             "tvsn", "hdvd", "ldes", "----", "apID", "atID", "cnID", "geID", "plID", "sfID",
                             "akID", "cmID", "catg", "keyw", "egid", "pcst", "purl", "shwm", "ownr", "xid ",
                             "sdes", "rldt"})
        addBox(type, Master, 0, nullptr);

    // 3GPP asset boxes; "cprt" (also ISO/IEC 14496-12, 8.10.2), "gnre" and "rtng" are iTunes
    // items as well, so they read their version and flags themselves.
    for (const char *type : {"titl", "dscp", "perf", "auth"})
        addBox(type, Binary, 1, &ContainerIso::parseAssetText);
    for (const char *type : {"cprt", "gnre", "rtng"})
        addBox(type, Binary, 0, &ContainerIso::parseAssetOrItem);
    addBox("albm", Binary, 1, &ContainerIso::parseBoxALBM);
    addBox("yrrc", Binary, 1, &ContainerIso::parseBoxYRRC);
    addBox("clsf", Binary, 1, &ContainerIso::parseBoxCLSF);
    addBox("kywd", Binary, 1, &ContainerIso::parseBoxKYWD);
    addBox("loci", Binary, 1, &ContainerIso::parseBoxLOCI);

    // QuickTime track aperture modes, track load settings and movie playback settings.
    addBox("tapt", Master, 0, nullptr);
    for (const char *type : {"clef", "prof", "enof"})
        addBox(type, Binary, 1, &ContainerIso::parseApertureDimensions);
    addBox("load", Binary, 0, &ContainerIso::parseBoxLOAD);
    addBox("ptv ", Binary, 0, &ContainerIso::parseBoxPTV);
    addBox("SelO", Binary, 0, &ContainerIso::parsePlaybackFlag);
    addBox("AllF", Binary, 0, &ContainerIso::parsePlaybackFlag);
}

QString ContainerIso::languageName(quint16 code)
{
    if (code == unspecifiedLanguage)
        return QStringLiteral("unspecified");
    if (code >= firstPackedLanguage)
        return packedLetters(code);
    if (code < std::size(macLanguages))
        return QLatin1String(macLanguages[code]);
    if (code >= 128 && code - 128u < std::size(macLanguagesFrom128))
        return QLatin1String(macLanguagesFrom128[code - 128u]);
    return QStringLiteral("Macintosh language %1").arg(code);
}

QString ContainerIso::languageValue(quint16 code) const
{
    const QString letters = code >= firstPackedLanguage ? packedLetters(code) : QString();
    return letters.isEmpty() ? number(code) : letters;
}

void ContainerIso::addPackedLanguage(quint64 offset, quint16 word)
{
    const quint16 code = word & 0x7FFF;
    addBitField(offset, 0, 1, QStringLiteral("pad"), number(word >> 15));
    addBitField(offset, 1, 15, QStringLiteral("language"), languageValue(code), languageName(code));
}

QString ContainerIso::fixedPointText(qint64 raw, int fractionBits)
{
    const quint64 magnitude = raw < 0 ? 0 - quint64(raw) : quint64(raw);
    const quint64 mask = (quint64(1) << fractionBits) - 1;
    QString text = (raw < 0 ? QStringLiteral("-") : QString()) + QString::number(magnitude >> fractionBits);
    quint64 fraction = magnitude & mask;
    if (fraction != 0)
        text += QLatin1Char('.');
    // Each step moves one decimal digit in front of the binary point; a fraction of n bits
    // ends after n digits.
    while (fraction != 0) {
        fraction *= 10;
        text += QChar(u'0' + int(fraction >> fractionBits));
        fraction &= mask;
    }
    return text;
}

int ContainerIso::parseUserTypeBox(const QUuid &userType, quint64 offset, quint64 size)
{
    if (userType != xmpUserType)
        return Status::NotThisFormat;
    return parseBoxXMP(offset, size);
}

QString ContainerIso::textAt(quint64 offset, quint64 size, bool macEncoding)
{
    const QByteArray bytes = readAt(offset, qMin(size, displayLimit));
    if (bytes.startsWith("\xFE\xFF"))
        return decode(QStringConverter::Utf16BE, bytes);
    if (macEncoding)
        return macRoman(beforeZero(bytes));
    return decode(QStringConverter::Utf8, bytes);
}

// A string that starts with the byte order mark ends with a zero 16-bit unit, any other with a
// zero byte. The terminator is looked for in the file's blocks, not in a copy of the string.
quint64 ContainerIso::addString(quint64 from, quint64 end, const QString &name)
{
    if (from >= end) {
        addField(from, 1, name, QString());
        return from;
    }
    const quint64 unit = readAt(from, fit(from, 2)) == QByteArray("\xFE\xFF") ? 2 : 1;
    quint64 stop = end;
    for (quint64 at = from; at + unit <= end && stop == end;) {
        quint64 available = 0;
        const char *data = window.peek(at, end - at, &available);
        const quint64 usable = available - available % unit;
        if (!data || usable == 0)
            break;
        for (quint64 i = 0; i < usable; i += unit) {
            if (data[i] == 0 && data[i + unit - 1] == 0) {
                stop = at + i + unit;
                break;
            }
        }
        at += usable;
    }
    addField(from, stop - from, name, textAt(from, stop - from));
    if (stop == end && readAt(end - unit, unit) != QByteArray(int(unit), '\0'))
        addNote(QStringLiteral("The string \"%1\" ends with the box, without a terminating zero.").arg(name));
    return stop;
}

void ContainerIso::addVersionAndFlags(quint64 offset)
{
    const QByteArray bytes = readAt(offset, fit(offset, 4));
    const ByteReader reader(bytes);
    fullBoxVersion = reader.u8(0);
    fullBoxFlags = reader.u24be(1);
    addField(offset, 1, QStringLiteral("version"), QString::number(fullBoxVersion, valueBase));
    addField(offset + 1, 3, QStringLiteral("flags"), QString::number(fullBoxFlags, valueBase));
}

// Nero chapters: [reserved (4) in version 1], chapter_count (1), then per chapter start_time
// (8, in 100 ns), title_length (1) and the title (UTF-8).
int ContainerIso::parseBoxCHPL(quint64 offset, quint64 size)
{
    quint64 at = 0;
    if (fullBoxVersion == 1) {
        addField(offset, 4, QStringLiteral("reserved"), number(ByteReader(readAt(offset, fit(offset, 4))).u32be(0)));
        at = 4;
    }
    const uint count = ByteReader(readAt(offset + at, fit(offset + at, 1))).u8(0);
    addField(offset + at, 1, QStringLiteral("chapter_count"), number(count));
    ++at;
    uint i = 0;
    for (; i < count && at < size; ++i) {
        const ByteReader reader(readAt(offset + at, fit(offset + at, 9)));
        const quint64 start = reader.u64be(0);
        const uint length = reader.u8(8);
        beginGroup(offset + at, fit(offset + at, 9 + length), QStringLiteral("chapter"), i);
        addField(offset + at, 8, QStringLiteral("start_time"), number(start), chapterTime(start),
                 QStringLiteral("in 100 ns"));
        addField(offset + at + 8, 1, QStringLiteral("title_length"), number(length));
        addField(offset + at + 9, length, QStringLiteral("title"), textAt(offset + at + 9, fit(offset + at + 9, length)));
        endGroup();
        at += 9 + length;
    }
    if (i < count)
        addNote(QStringLiteral("chapter_count claims %1 chapters; only %2 fit in the box.").arg(count).arg(i));
    if (at < size)
        addField(offset + at, size - at, QStringLiteral("data"), QString());
    return Status::Success;
}

// A QuickTime user data text atom holds text items: text_size (2), language (2), text. In an
// "ilst" the same type is an iTunes item of "data" atoms.
int ContainerIso::parseTextAtom(quint64 offset, quint64 size)
{
    if (enclosingBox(1) == QLatin1String("ilst"))
        return walkBoxes(offset);
    qint64 index = 0;
    for (quint64 at = 0; at < size; ++index) {
        const ByteReader reader(readAt(offset + at, fit(offset + at, 4)));
        const quint16 textSize = reader.u16be(0);
        const quint16 language = reader.u16be(2);
        const quint64 text = offset + at + 4;
        beginGroup(offset + at, fit(offset + at, 4 + quint64(textSize)), QStringLiteral("item"), index);
        addField(offset + at, 2, QStringLiteral("text_size"), number(textSize));
        addField(offset + at + 2, 2, QStringLiteral("language"), languageValue(language), languageName(language));
        addField(text, textSize, QStringLiteral("text"),
                 textAt(text, fit(text, textSize), language < firstPackedLanguage));
        endGroup();
        at += 4 + quint64(textSize);
    }
    return Status::Success;
}

// "name": in "----" a full box holding the item's name; elsewhere (user data) the name as
// plain text up to the end of the box.
int ContainerIso::parseBoxNAME(quint64 offset, quint64 size)
{
    quint64 at = 0;
    if (enclosingBox(1) == QLatin1String("----")) {
        addVersionAndFlags(offset);
        at = 4;
    }
    if (at < size)
        addField(offset + at, size - at, QStringLiteral("name"), textAt(offset + at, size - at));
    return Status::Success;
}

int ContainerIso::parseBoxMEAN(quint64 offset, quint64 size)
{
    addField(offset, size, QStringLiteral("mean"), textAt(offset, size));
    return Status::Success;
}

// "data": type_set (1, 0 for the well-known types), well_known_type (3), locale (4), value.
int ContainerIso::parseBoxDATA(quint64 offset, quint64 size)
{
    const ByteReader head(readAt(offset, fit(offset, 8)));
    const uint typeSet = head.u8(0);
    const quint32 type = head.u24be(1);
    const QString typeName = typeSet == 0 ? dataTypeName(type) : QString();
    addField(offset, 1, QStringLiteral("type_set"), number(typeSet));
    addField(offset + 1, 3, QStringLiteral("well_known_type"), number(type), typeName);
    addField(offset + 4, 4, QStringLiteral("locale"), number(head.u32be(4)));
    if (size <= 8)
        return Status::Success;
    const quint64 value = offset + 8;
    const quint64 length = size - 8;
    const QString item = enclosingBox(1);
    const QString name = QStringLiteral("value");
    if (typeSet != 0) {
        addField(value, length, name, QString());
    } else if (type == 1 || type == 4) {
        addField(value, length, name, textAt(value, length));
    } else if (type == 2 || type == 5) {
        addField(value, length, name, decode(QStringConverter::Utf16BE, readAt(value, qMin(length, displayLimit))));
    } else if ((isSignedType(type) || isUnsignedType(type)) && length <= 8) {
        const quint64 raw = bigEndian(readAt(value, length));
        const int unused = 64 - 8 * int(length);
        addField(value, length, name,
                 isSignedType(type) ? signedNumber(qint64(raw << unused) >> unused) : number(raw));
    } else if (floatBytes(type) != 0 && length % quint64(floatBytes(type)) == 0 && length <= 72) {
        const ByteReader reader(readAt(value, length));
        QStringList numbers;
        for (qsizetype at = 0; at < qsizetype(length); at += floatBytes(type)) {
            numbers << QString::number(floatAt(reader, at, floatBytes(type)));
        }
        addField(value, length, name, numbers.join(QStringLiteral(", ")));
    } else if (type == 0 && (item == QLatin1String("trkn") || item == QLatin1String("disk")) && length >= 6) {
        // Track and disc numbers: reserved (2), number (2), total (2), [reserved (2)].
        const ByteReader reader(readAt(value, 6));
        const QString prefix = item == QLatin1String("trkn") ? QStringLiteral("track") : QStringLiteral("disc");
        addField(value, 2, QStringLiteral("reserved"), number(reader.u16be(0)));
        addField(value + 2, 2, prefix + QStringLiteral("_number"), number(reader.u16be(2)));
        addField(value + 4, 2, prefix + QStringLiteral("_total"), number(reader.u16be(4)));
        if (length > 6)
            addField(value + 6, length - 6, QStringLiteral("reserved"), QString());
    } else if (type == 0 && item == QLatin1String("gnre") && length == 2) {
        // The ID3v1 genre number plus one.
        const quint16 genre = ByteReader(readAt(value, fit(value, 2))).u16be(0);
        addField(value, 2, name, number(genre), genre > 0 ? QStringLiteral("ID3 genre %1").arg(genre - 1) : QString());
    } else {
        addField(value, length, name, QString(), typeName);
    }
    return Status::Success;
}

// "keys": entry_count (4), then per key key_size (4, the 8 header bytes included),
// key_namespace (4) and key_value.
int ContainerIso::parseBoxKEYS(quint64 offset, quint64 size)
{
    const quint32 claimed = addEntryCount(offset, ByteReader(readAt(offset, fit(offset, 4))));
    m_metadataKeys.clear();
    quint64 at = 4;
    for (quint32 i = 0; i < claimed && at < size; ++i) {
        const ByteReader reader(readAt(offset + at, fit(offset + at, 8)));
        const quint32 keySize = reader.u32be(0);
        beginGroup(offset + at, fit(offset + at, qMax<quint64>(keySize, 8)), QStringLiteral("key"), i + 1);
        addField(offset + at, 4, QStringLiteral("key_size"), number(keySize));
        addField(offset + at + 4, 4, QStringLiteral("key_namespace"), printableCode(reader.u32be(4)));
        if (keySize < 8) {
            addNote(QStringLiteral("A key of %1 bytes is smaller than its 8-byte header; the keys after it are not read.")
                        .arg(keySize));
            endGroup();
            return Status::Success;
        }
        const QString key = textAt(offset + at + 8, fit(offset + at + 8, keySize - 8));
        addField(offset + at + 8, keySize - 8, QStringLiteral("key_value"), key);
        endGroup();
        m_metadataKeys << key;
        at += keySize;
    }
    if (quint64(m_metadataKeys.size()) < claimed)
        addNote(QStringLiteral("entry_count claims %1 keys; only %2 fit in the box.").arg(claimed).arg(m_metadataKeys.size()));
    return Status::Success;
}

// An item of an "ilst" of QuickTime metadata: its type is the 1-based index of its key.
// Elsewhere a box of an empty type is an unknown one.
int ContainerIso::parseKeyedItem(quint64 offset, quint64 size)
{
    if (enclosingBox(1) != QLatin1String("ilst")) {
        const int status = parseUnknownObject(offset, size);
        addNote(QStringLiteral("Unknown element!"));
        return status;
    }
    const quint32 index = offset >= 16 ? itemIndex(readAt(offset - 16, 16), size) : 0;
    if (index >= 1 && index <= quint64(m_metadataKeys.size())) {
        setGroupReadable(m_metadataKeys[qsizetype(index) - 1]);
    } else {
        setGroupReadable(QStringLiteral("key %1").arg(index));
        addNote(QStringLiteral("The item names key %1, but the \"keys\" box before it holds %2 keys.")
                    .arg(index)
                    .arg(m_metadataKeys.size()));
    }
    return walkBoxes(offset);
}

// "ID32": pad (1 bit), language (15 bits), an ID3v2 tag.
int ContainerIso::parseBoxID32(quint64 offset, quint64 size)
{
    const QByteArray head = readAt(offset, fit(offset, 7));
    const ByteReader reader(head);
    addPackedLanguage(offset, reader.u16be(0));
    if (size <= 2)
        return Status::Success;
    const QString version = head.mid(2, 3) == "ID3"
                                ? QStringLiteral("ID3v2.%1.%2").arg(reader.u8(5)).arg(reader.u8(6))
                                : QString();
    addField(offset + 2, size - 2, QStringLiteral("id3v2_data"), QString(), version);
    return Status::Success;
}

// An XMP packet: XML in UTF-8.
int ContainerIso::parseBoxXMP(quint64 offset, quint64 size)
{
    addField(offset, size, QStringLiteral("xmp"), textAt(offset, size));
    return Status::Success;
}

// "titl", "dscp", "cprt", "perf", "auth", "gnre": pad (1 bit), language (15 bits), a
// zero-terminated string (UTF-8, or UTF-16 after a byte order mark).
int ContainerIso::parseAssetText(quint64 offset, quint64 size)
{
    const QString type = enclosingBox(0);
    const QString name = type == QLatin1String("titl")   ? QStringLiteral("title")
                         : type == QLatin1String("dscp") ? QStringLiteral("description")
                         : type == QLatin1String("cprt") ? QStringLiteral("notice")
                         : type == QLatin1String("perf") ? QStringLiteral("performer")
                         : type == QLatin1String("auth") ? QStringLiteral("author")
                                                         : QStringLiteral("genre");
    addPackedLanguage(offset, ByteReader(readAt(offset, fit(offset, 2))).u16be(0));
    addString(offset + 2, offset + size, name);
    return Status::Success;
}

int ContainerIso::parseAssetOrItem(quint64 offset, quint64 size)
{
    if (enclosingBox(1) == QLatin1String("ilst"))
        return walkBoxes(offset);
    addVersionAndFlags(offset);
    const quint64 rest = size > 4 ? size - 4 : 0;
    if (enclosingBox(0) == QLatin1String("rtng"))
        return parseBoxRTNG(offset + 4, rest);
    return parseAssetText(offset + 4, rest);
}

// "albm": pad, language, album_title (string), [track_number (1)].
int ContainerIso::parseBoxALBM(quint64 offset, quint64 size)
{
    addPackedLanguage(offset, ByteReader(readAt(offset, fit(offset, 2))).u16be(0));
    const quint64 end = offset + size;
    const quint64 at = addString(offset + 2, end, QStringLiteral("album_title"));
    if (at < end)
        addField(at, 1, QStringLiteral("track_number"), number(ByteReader(readAt(at, fit(at, 1))).u8(0)));
    return Status::Success;
}

int ContainerIso::parseBoxYRRC(quint64 offset, quint64)
{
    addField(offset, 2, QStringLiteral("recording_year"), number(ByteReader(readAt(offset, fit(offset, 2))).u16be(0)));
    return Status::Success;
}

// "rtng": rating_entity (4), rating_criteria (4), pad, language, rating_info (string).
int ContainerIso::parseBoxRTNG(quint64 offset, quint64 size)
{
    const ByteReader reader(readAt(offset, fit(offset, 10)));
    addField(offset, 4, QStringLiteral("rating_entity"), printableCode(reader.u32be(0)));
    addField(offset + 4, 4, QStringLiteral("rating_criteria"), printableCode(reader.u32be(4)));
    addPackedLanguage(offset + 8, reader.u16be(8));
    addString(offset + 10, offset + size, QStringLiteral("rating_info"));
    return Status::Success;
}

// "clsf": classification_entity (4), classification_table (2), pad, language,
// classification_info (string).
int ContainerIso::parseBoxCLSF(quint64 offset, quint64 size)
{
    const ByteReader reader(readAt(offset, fit(offset, 8)));
    addField(offset, 4, QStringLiteral("classification_entity"), printableCode(reader.u32be(0)));
    addField(offset + 4, 2, QStringLiteral("classification_table"), number(reader.u16be(4)));
    addPackedLanguage(offset + 6, reader.u16be(6));
    addString(offset + 8, offset + size, QStringLiteral("classification_info"));
    return Status::Success;
}

// "kywd": pad, language, keyword_count (1), then per keyword keyword_size (1) and
// keyword_info (keyword_size bytes of text).
int ContainerIso::parseBoxKYWD(quint64 offset, quint64 size)
{
    const ByteReader reader(readAt(offset, fit(offset, 3)));
    addPackedLanguage(offset, reader.u16be(0));
    const uint count = reader.u8(2);
    addField(offset + 2, 1, QStringLiteral("keyword_count"), number(count));
    quint64 at = 3;
    uint i = 0;
    for (; i < count && at < size; ++i) {
        const uint length = ByteReader(readAt(offset + at, fit(offset + at, 1))).u8(0);
        beginGroup(offset + at, fit(offset + at, 1 + length), QStringLiteral("keyword"), i);
        addField(offset + at, 1, QStringLiteral("keyword_size"), number(length));
        addField(offset + at + 1, length, QStringLiteral("keyword_info"),
                 textAt(offset + at + 1, fit(offset + at + 1, length)));
        endGroup();
        at += 1 + length;
    }
    if (i < count)
        addNote(QStringLiteral("keyword_count claims %1 keywords; only %2 fit in the box.").arg(count).arg(i));
    return Status::Success;
}

// "loci": pad, language, name (string), role (1), longitude, latitude, altitude (signed 16.16
// each), astronomical_body (string), additional_notes (string).
int ContainerIso::parseBoxLOCI(quint64 offset, quint64 size)
{
    const quint64 end = offset + size;
    addPackedLanguage(offset, ByteReader(readAt(offset, fit(offset, 2))).u16be(0));
    const quint64 at = addString(offset + 2, end, QStringLiteral("name"));
    const ByteReader reader(readAt(at, fit(at, 13)));
    const uint role = reader.u8(0);
    const char *roles[] = {"shooting location", "real location", "fictional location"};
    addField(at, 1, QStringLiteral("role"), number(role), role < 3 ? QLatin1String(roles[role]) : QStringLiteral("reserved"));
    const char *coordinates[] = {"longitude", "latitude", "altitude"};
    for (int i = 0; i < 3; ++i) {
        const qint32 raw = qint32(reader.u32be(1 + 4 * i));
        addField(at + 1 + 4 * quint64(i), 4, QLatin1String(coordinates[i]), signedNumber(raw), fixedPointText(raw, 16));
    }
    if (at + 13 > end)
        return Status::Success;
    const quint64 notes = addString(at + 13, end, QStringLiteral("astronomical_body"));
    addString(notes, end, QStringLiteral("additional_notes"));
    return Status::Success;
}

// "clef", "prof", "enof": width and height, unsigned 16.16.
int ContainerIso::parseApertureDimensions(quint64 offset, quint64)
{
    const ByteReader reader(readAt(offset, fit(offset, 8)));
    addField(offset, 4, QStringLiteral("width"), number(reader.u32be(0)), fixedPointText(reader.u32be(0), 16));
    addField(offset + 4, 4, QStringLiteral("height"), number(reader.u32be(4)), fixedPointText(reader.u32be(4), 16));
    return Status::Success;
}

// Track load settings: preload_start_time (4), preload_duration (4), preload_flags (4),
// default_hints (4).
int ContainerIso::parseBoxLOAD(quint64 offset, quint64)
{
    const ByteReader reader(readAt(offset, fit(offset, 16)));
    addField(offset, 4, QStringLiteral("preload_start_time"), number(reader.u32be(0)));
    addField(offset + 4, 4, QStringLiteral("preload_duration"), signedNumber(qint32(reader.u32be(4))),
             qint32(reader.u32be(4)) == -1 ? QStringLiteral("the whole track") : QString());
    const quint32 flags = reader.u32be(8);
    QStringList preload;
    if (flags & 1)
        preload << QStringLiteral("preload always");
    if (flags & 2)
        preload << QStringLiteral("preload only if enabled");
    addField(offset + 8, 4, QStringLiteral("preload_flags"), number(flags), preload.join(QStringLiteral(", ")));
    const quint32 hints = reader.u32be(12);
    QStringList named;
    if (hints & 0x4)
        named << QStringLiteral("double buffer");
    if (hints & 0x100)
        named << QStringLiteral("high quality");
    addField(offset + 12, 4, QStringLiteral("default_hints"), number(hints), named.join(QStringLiteral(", ")));
    return Status::Success;
}

// Print to video: display_size (2), reserved (2 + 2), slide_show (1), play_on_open (1).
int ContainerIso::parseBoxPTV(quint64 offset, quint64)
{
    const ByteReader reader(readAt(offset, fit(offset, 8)));
    const quint16 display = reader.u16be(0);
    const char *sizes[] = {"normal", "double size", "half size", "full screen", "current size"};
    addField(offset, 2, QStringLiteral("display_size"), number(display), display < 5 ? QLatin1String(sizes[display]) : QString());
    addField(offset + 2, 2, QStringLiteral("reserved"), number(reader.u16be(2)));
    addField(offset + 4, 2, QStringLiteral("reserved"), number(reader.u16be(4)));
    addField(offset + 6, 1, QStringLiteral("slide_show"), number(reader.u8(6)));
    addField(offset + 7, 1, QStringLiteral("play_on_open"), number(reader.u8(7)));
    return Status::Success;
}

// "SelO" (play the selection only) and "AllF" (play all frames): one byte, 1 for on.
int ContainerIso::parsePlaybackFlag(quint64 offset, quint64)
{
    const uint value = ByteReader(readAt(offset, fit(offset, 1))).u8(0);
    const QString name = enclosingBox(0) == QLatin1String("SelO") ? QStringLiteral("selection_only")
                                                                  : QStringLiteral("play_all_frames");
    addField(offset, 1, name, number(value));
    return Status::Success;
}
