#include "container_avi.h"

#include "codec_tags.h"
#include "leftover_marker.h"
#include "status.h"

#include <QStringDecoder>
#include <QtEndian>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <utility>

namespace {

// Form types and list types of interest.
const char riffForm[] = "AVI ";
const char extensionForm[] = "AVIX";

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isHexDigit(char c)
{
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Chunk ids are made of letters, digits, spaces and underscores; any other byte cannot start a
// chunk.
bool isFourccChar(char c)
{
    return c == ' ' || c == '_' || isDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isFourcc(const char *id)
{
    return isFourccChar(id[0]) && isFourccChar(id[1]) && isFourccChar(id[2]) && isFourccChar(id[3]);
}

// Stream data chunks: a two-digit hexadecimal stream number and the kind, e.g. 00dc, 01wb.
bool isStreamDataChunk(const char *id)
{
    if (!isHexDigit(id[0]) || !isHexDigit(id[1]))
        return false;
    const char a = id[2];
    const char b = id[3];
    return (a == 'd' && (b == 'b' || b == 'c')) || (a == 'p' && b == 'c') || (a == 'w' && b == 'b');
}

// OpenDML standard index chunks: ix00 or 00ix.
bool isIndexChunk(const char *id)
{
    return (id[0] == 'i' && id[1] == 'x' && isDigit(id[2]) && isDigit(id[3]))
        || (isDigit(id[0]) && isDigit(id[1]) && id[2] == 'i' && id[3] == 'x');
}

quint32 codeOf(const char *id)
{
    return qFromLittleEndian<quint32>(id);
}

// The first of two statuses that is a failure.
int earlierFailure(int kept, int status)
{
    return kept != Status::Success ? kept : status;
}

} // namespace

ContainerAVI::ContainerAVI()
{
    buildDictionary();
}

ContainerAVI::~ContainerAVI() = default;

void ContainerAVI::buildDictionary()
{
    using C = ContainerAVI;
    const auto add = [this](const char *fourcc, const char *name, int type, ElementAVI::Handler handler) {
        m_dictionary.add(QString::fromLatin1(fourcc, 4),
                         new ElementAVI(type, handler, QString::fromLatin1(name), QString()));
    };
    // chunk   row name                              type    handler
    add("RIFF", "",                                  Master, nullptr);
    add("LIST", "",                                  Master, nullptr);
    add("JUNK", "",                                  Binary, &C::parseUnknownObject);
    add("PAD ", "",                                  Binary, &C::parseUnknownObject);
    add("avih", "Main header",                       Binary, &C::parseChunkAVIH);
    add("strh", "Header of stream",                  Binary, &C::parseChunkSTRH);
    add("strf", "Format of stream",                  Binary, &C::parseChunkSTRF);
    add("strd", "Additional header data of stream",  Binary, &C::parseUnknownObject);
    add("strn", "Name of stream",                    String, &C::parseChunkText);
    add("vprp", "Properties of Video",               Binary, &C::parseChunkVPRP);
    add("dmlh", "Extended main header",              Binary, &C::parseChunkDMLH);
    add("indx", "",                                  9,      &C::parseChunkINDX);
    add("idx1", "",                                  9,      &C::parseChunkIDX1);
    // The tags of an INFO list.
    add("IARL", "Archival location",                 String, &C::parseChunkText);
    add("IART", "Artists",                           String, &C::parseChunkText);
    add("ICMS", "Commissioned",                      String, &C::parseChunkText);
    add("ICMT", "Comments",                          String, &C::parseChunkText);
    add("ICOP", "Copyright",                         String, &C::parseChunkText);
    add("ICRD", "Creation date",                     String, &C::parseChunkText);
    add("ICRP", "Cropped",                           String, &C::parseChunkText);
    add("IDIM", "Dimensions",                        String, &C::parseChunkText);
    add("IDIT", "Digitization date",                 String, &C::parseChunkText);
    add("IDPI", "Dots per inch",                     String, &C::parseChunkText);
    add("IENG", "Engineer",                          String, &C::parseChunkText);
    add("IGNR", "Genre",                             String, &C::parseChunkText);
    add("IKEY", "Keywords",                          String, &C::parseChunkText);
    add("ILGT", "Lightness",                         String, &C::parseChunkText);
    add("IMED", "Medium",                            String, &C::parseChunkText);
    add("INAM", "Title",                             String, &C::parseChunkText);
    add("IPLT", "Palette setting",                   String, &C::parseChunkText);
    add("IPRD", "Product",                           String, &C::parseChunkText);
    add("ISBJ", "Description",                       String, &C::parseChunkText);
    add("ISFT", "Creating software",                 String, &C::parseChunkText);
    add("ISHP", "Sharpness",                         String, &C::parseChunkText);
    add("ISMP", "SMPTE time code",                   String, &C::parseChunkText);
    add("ISRC", "Source",                            String, &C::parseChunkText);
    add("ISRF", "Source form",                       String, &C::parseChunkText);
    add("ITCH", "Technician",                        String, &C::parseChunkText);

    for (auto it = m_dictionary.records().cbegin(); it != m_dictionary.records().cend(); ++it)
        m_knownCodes.push_back(codeOf(it.key().toLatin1().constData()));
    std::sort(m_knownCodes.begin(), m_knownCodes.end());
}

int ContainerAVI::getCodecID(const void *table, uint fourcc)
{
    for (const auto *tag = static_cast<const CodecTag *>(table); tag && tag->codecId != 0; ++tag)
        if (tag->fourcc == fourcc)
            return int(tag->codecId);
    return 0;
}

namespace {

bool isAviForm(const char *form)
{
    return std::memcmp(form, riffForm, 4) == 0 || std::memcmp(form, extensionForm, 4) == 0;
}

int scanForRiffHeader(FileWindow &window, quint64 size)
{
    // The start of the file is taken in blocks; within each block a "RIFF" header is looked for
    // at the first few hundred positions, so a little leading garbage before the first RIFF is
    // tolerated. A file whose first few MiB hold no RIFF header is not an AVI file.
    constexpr quint64 scanLimit = 4 * 1024 * 1024;
    quint64 block = 6144;
    quint64 blocks = qMin(size, scanLimit) / block;
    if (size < block) {
        block = size;
        blocks = 1;
    }
    const quint64 positions = block / 12 - 12;
    // Only the bytes a position's 12-byte header can reach are read of each block.
    const quint64 needed = qMin<quint64>(block, positions + 11);
    for (quint64 k = 0; k < blocks; ++k) {
        const QByteArray data = window.bytes(k * block, needed);
        if (quint64(data.size()) < needed)
            break;
        for (quint64 i = 0; i < positions; ++i) {
            const char *header = data.constData() + i;
            // The walker takes only an upper-case "RIFF" for a list, so no other spelling
            // passes here.
            if (std::memcmp(header, "RIFF", 4) == 0)
                return isAviForm(header + 8) ? Status::Success : Status::NotThisFormat;
        }
    }
    return Status::NotThisFormat;
}

int checkRiffHeader(FileWindow &window)
{
    // A file shorter than this has no room for the headers of an AVI file.
    constexpr quint64 shortest = 156;
    const quint64 size = window.size();
    if (size < shortest)
        return Status::NotThisFormat;
    const QByteArray head = window.bytes(0, 12);
    if (head.startsWith("RIFF"))
        return isAviForm(head.constData() + 8) ? Status::Success : Status::NotThisFormat;
    return scanForRiffHeader(window, size);
}

} // namespace

int ContainerAVI::verifyContainerFormat(const QString &fileName)
{
    const int opened = openFile(fileName);
    if (opened != Status::Success)
        return opened;
    const int result = checkRiffHeader(window);
    closeFile();
    if (result == Status::Success)
        std::fputs("Container format:\tAVI\n", stderr);
    return result;
}

int ContainerAVI::findBeginOfContainer(qint64 *offset)
{
    *offset = 0;
    return Status::Success;
}

void ContainerAVI::prepareParsing()
{
    m_moviLists.clear();
    m_chunkWindow.reset();
    m_followedEntries = 0;
    readStreamClocks();
}

void ContainerAVI::finalizeParsing()
{
    // The streams no index lists take their frames from the chunks of the movi lists.
    scanMoviLists();
}

int ContainerAVI::searchID(const QString &fourcc, ElementAVI *out) const
{
    if (const ElementAVI *record = m_dictionary.find(fourcc)) {
        if (out)
            *out = *record;
        return Status::Success;
    }
    const QByteArray id = fourcc.toLatin1();
    if (id.size() == 4 && (isStreamDataChunk(id.constData()) || isIndexChunk(id.constData())))
        return Status::Success;
    return Status::NotInTable;
}

bool ContainerAVI::isKnownChunk(const char *id) const
{
    return std::binary_search(m_knownCodes.begin(), m_knownCodes.end(), codeOf(id))
        || isStreamDataChunk(id) || isIndexChunk(id);
}

int ContainerAVI::getID(QString *fourcc)
{
    const QByteArray id = window.bytes(currentOffset, 4);
    if (id.size() < 4)
        return Status::UnexpectedEnd;
    *fourcc = QString::fromLatin1(id);
    return Status::Success;
}

int ContainerAVI::getSize(uint *size)
{
    *size = 0;
    char bytes[4];
    if (window.read(currentOffset + 4, bytes, 4) < 4)
        return Status::UnexpectedEnd;
    *size = qFromLittleEndian<quint32>(bytes);
    return Status::Success;
}

namespace {

// What one block of a search found: the offset of the match, or else the first offset not yet
// searched, which is past the first one searched.
struct BlockSearch
{
    quint64 next = 0;
    bool found = false;
    bool ended = false; ///< the file holds fewer than four bytes where the search began
};

bool isEightZeros(const char *bytes)
{
    quint64 word = 0;
    std::memcpy(&word, bytes, sizeof word);
    return word == 0;
}

// Searches the offsets from `from` to `last`, within one window block, for the first at which
// four bytes that can make a chunk id begin and accept takes them. accept sees span bytes from
// the offset (4, or 8 to see the size field too); offsets with fewer before the file's end are
// not offered.
template <typename Accept>
BlockSearch searchBlock(FileWindow &window, quint64 from, quint64 last, quint64 span, Accept accept)
{
    if (from > last)
        return {from, false, false};
    quint64 got = 0;
    const char *bytes = window.peek(from, qMin<quint64>(FileWindow::blockSize, last - from + span), &got);
    if (got < span)
        return {from, false, true};
    // run counts the id bytes that end just before i; zeros, the usual filler, are passed over
    // eight at a time.
    quint64 run = 0;
    for (quint64 i = 0; i < got;) {
        if (got - i >= 8 && isEightZeros(bytes + i)) {
            i += 8;
            run = 0;
            continue;
        }
        run = isFourccChar(bytes[i]) ? run + 1 : 0;
        ++i;
        if (run >= 4 && i - 4 + span <= got && accept(bytes + i - 4))
            return {from + i - 4, true, false};
    }
    return {from + got - (span - 1), false, false};
}

} // namespace

int ContainerAVI::parseElement(quint64 *consumed)
{
    const quint64 start = currentOffset;
    *consumed = 0;
    const quint64 end = boundEnd();
    if (start >= end)
        return Status::UnexpectedEnd;

    // A chunk needs its 8-byte header inside the enclosing list. Bytes that cannot start one are
    // skipped and reported together before the next chunk; a long run of them, such as a
    // zero-filled tail, is searched a block at a time.
    quint64 pos = start;
    while (end - pos >= 8) {
        quint64 got = 0;
        const char *header = window.peek(pos, 8, &got);
        if (got < 8)
            return Status::UnexpectedEnd;
        char id[4];
        std::memcpy(id, header, 4);
        const quint32 size = qFromLittleEndian<quint32>(header + 4);
        // Where no chunk can start, the next place where one can is searched for: an id of
        // four letters, digits or spaces that is known, or is followed by a size that fits.
        const auto canStart = [this, end](const char *candidate) {
            const quint32 claimed = qFromLittleEndian<quint32>(candidate + 4);
            return m_infoList || isKnownChunk(candidate) || (claimed != 0 && claimed <= end - 8);
        };
        if (!isFourcc(id) || !canStart(header)) {
            BlockSearch search = searchBlock(window, pos + 1, end - 8, 8, canStart);
            // A skip records nothing, so the walk's progress is told as it goes.
            while (!search.found && !search.ended && search.next <= end - 8) {
                reportProgress(search.next);
                search = searchBlock(window, search.next, end - 8, 8, canStart);
            }
            if (search.ended)
                return Status::UnexpectedEnd;
            pos = search.next;
            continue;
        }
        const QString fourcc = QString::fromLatin1(id, 4);
        // Stream data and index chunks, by far the most frequent, have the default record; only
        // the other ids are looked up in the dictionary.
        ElementAVI record;
        if (isIndexChunk(id))
            record.handler = &ContainerAVI::parseChunkIX;
        if (isStreamDataChunk(id) || isIndexChunk(id) || searchID(fourcc, &record) == Status::Success)
            return parseKnownChunk(start, pos, pos - start, end, fourcc, record, consumed);
        if (m_infoList) {
            // A tag this parser has no name for is text all the same.
            record = ElementAVI(String, &ContainerAVI::parseChunkText, QString(), QString());
            return parseKnownChunk(start, pos, pos - start, end, fourcc, record, consumed);
        }

        if (size < 4)
            return parseUnknownChunk(start, pos, pos - start, end, fourcc, size, consumed);

        // An unknown id with a plausible size: when a known chunk starts inside the claimed data,
        // the walk has lost step and picks up there; otherwise the chunk is taken as it is.
        const quint64 data = pos + 8;
        const quint64 scanEnd = data + qMin<quint64>(size - 4, end - data >= 4 ? end - data - 3 : 0);
        const auto known = [this](const char *candidate) { return isKnownChunk(candidate); };
        quint64 hit = 0;
        for (quint64 q = data; q < scanEnd && hit == 0;) {
            const BlockSearch search = searchBlock(window, q, scanEnd - 1, 4, known);
            if (search.ended)
                return Status::UnexpectedEnd;
            hit = search.found ? search.next : 0;
            q = search.next;
        }
        if (hit == 0)
            return parseUnknownChunk(start, pos, pos - start, end, fourcc, size, consumed);
        pos = hit;
    }
    return parseLeftover(start, end, consumed);
}

int ContainerAVI::parseKnownChunk(quint64 start, quint64 pos, quint64 garbage, quint64 end,
                                  const QString &fourcc, const ElementAVI &record, quint64 *consumed)
{
    if (garbage > 0)
        addGarbage(start, garbage);

    char sizeBytes[4];
    int result = window.read(pos + 4, sizeBytes, 4) == 4 ? Status::Success : Status::UnexpectedEnd;
    const quint32 size = qFromLittleEndian<quint32>(sizeBytes);
    const quint64 padded = quint64(size) + (size & 1);
    const quint64 data = pos + 8;
    // The chunk holds its own data; a pad byte after odd data belongs to the chunk's group but
    // not to its content. A missing pad byte at the end of a list or file is common and
    // harmless; a chunk whose data itself reaches past the end is cut there and the cut is noted.
    const quint64 dataLength = qMin<quint64>(size, end - data);
    const quint64 length = qMin(padded, end - data);
    *consumed = data + length - start;

    QString name = fourcc;
    QString listType;
    if (record.type == Master) {
        char type[4];
        listType = QString::fromLatin1(type, window.read(data, type, qsizetype(qMin<quint64>(4, dataLength))));
        name = fourcc + QLatin1Char('(') + listType + QLatin1Char(')');
    }

    beginGroup(pos, length + 8, name, -1);
    if (!record.name.isEmpty())
        setGroupReadable(record.name);
    addField(pos, 4, QStringLiteral("id"), fourcc);
    addField(pos + 4, 4, QStringLiteral("size"), offsetNumber(padded));
    if (size > end - data) {
        noteCut(data, size);
        result = earlierFailure(result, Status::UnexpectedEnd);
    }
    keepFailure(result);

    // The bound ends before the pad byte, which is reported once it is gone.
    std::optional<Bound> bound(std::in_place, *this, data + dataLength);
    int content = Status::Success;
    if (record.type == Master) {
        addField(data, 4, QStringLiteral("type"), listType);
        if (listType == QLatin1String("movi")) {
            m_moviOffset = data;
            m_moviLists.push_back({data, data + length});
        }
        if (dataLength > 4)
            content = parseListContent(data + 4, listType);
    } else if (record.handler) {
        content = (this->*record.handler)(data, uint(dataLength));
    } else {
        addField(data, dataLength, QStringLiteral("value"), QString());
    }
    result = earlierFailure(result, finishChunk(*bound, data, content));
    bound.reset();
    addPad(data + dataLength, length - dataLength);

    endGroup();
    currentOffset = start;
    return result;
}

int ContainerAVI::parseListContent(quint64 first, const QString &listType)
{
    if (depth() > maxDepth) {
        addNote(QStringLiteral("Lists are nested too deep; the content of this one is not shown."));
        return Status::Success;
    }
    // The sub-chunks of an INFO list are text chunks whatever their ids; a list inside one is
    // walked as any other list.
    const bool outer = std::exchange(m_infoList, listType == QLatin1String("INFO"));
    const int result = parseListChildren(first);
    m_infoList = outer;
    return result;
}

void ContainerAVI::addPad(quint64 offset, quint64 size)
{
    if (size == 0)
        return;
    const QByteArray pad = window.bytes(offset, 1);
    addField(offset, 1, QStringLiteral("pad"), pad.isEmpty() ? QString() : unsignedNumber(quint8(pad[0])));
}

int ContainerAVI::finishChunk(const Bound &bound, quint64 data, int result)
{
    if (bound.missing() > 0) {
        noteMissingFields(bound, data);
        result = earlierFailure(result, Status::UnexpectedEnd);
    }
    return keepFailure(result);
}

int ContainerAVI::parseListChildren(quint64 first)
{
    const quint64 end = boundEnd();
    int result = Status::Success;
    quint64 child = first;
    while (child < end) {
        currentOffset = child;
        quint64 childSize = 0;
        // A damaged child does not end the walk; the list reports the first failure among them.
        result = earlierFailure(result, keepFailure(parseElement(&childSize)));
        if (childSize == 0)
            break;
        child += childSize;
    }
    return result;
}

int ContainerAVI::parseUnknownChunk(quint64 start, quint64 pos, quint64 garbage, quint64 end,
                                    const QString &fourcc, quint32 size, quint64 *consumed)
{
    if (garbage > 0)
        addGarbage(start, garbage);
    const quint64 data = pos + 8;
    const quint64 length = qMin<quint64>(size, end - data);
    // Unknown chunks are padded to an even size as every chunk is.
    const quint64 pad = length == size ? qMin<quint64>(size & 1, end - data - length) : 0;
    *consumed = data + length + pad - start;

    beginGroup(pos, length + pad + 8, fourcc, -1);
    addField(pos, 4, QStringLiteral("id"), fourcc);
    addField(pos + 4, 4, QStringLiteral("size"), offsetNumber(size));
    int result = Status::Success;
    if (length < size) {
        noteCut(data, size);
        result = keepFailure(Status::UnexpectedEnd);
    }
    {
        const Bound bound(*this, data + length);
        result = earlierFailure(result, finishChunk(bound, data, parseUnknownObject(data, uint(length))));
    }
    addPad(data + length, pad);
    endGroup();
    currentOffset = start;
    return result;
}

int ContainerAVI::parseLeftover(quint64 start, quint64 end, quint64 *consumed)
{
    // Too few bytes for a chunk header remain before the end of the list: they belong to nothing.
    addGarbage(start, end - start);
    *consumed = end - start;
    currentOffset = start;
    return Status::Success;
}

QStringList ContainerAVI::unusedOptions() const
{
    return {QStringLiteral("show_junk"), QStringLiteral("show_unknown")};
}

int ContainerAVI::parseUnknownObject(quint64 offset, uint size)
{
    const uint shown = qMin(size, 127u);
    if (shown == 0) {
        addField(offset, 0, QStringLiteral("value"), QString());
        return Status::Success;
    }
    const QByteArray bytes = window.bytes(offset, shown);
    if (bytes.size() < qsizetype(shown))
        return Status::UnexpectedEnd;
    addField(offset, size, QStringLiteral("value"), toPrintable(bytes));
    return Status::Success;
}

int ContainerAVI::parseChunkText(quint64 offset, uint size)
{
    // The text ends at its first zero byte; of a long one only the beginning is read. Text that
    // is not UTF-8 is taken as Latin-1; of a beginning, a character cut at its end is left out.
    const uint shown = uint(qMin<quint64>(size, displayLimit));
    const QByteArray bytes = window.bytes(offset, shown);
    if (bytes.size() < qsizetype(shown))
        return Status::UnexpectedEnd;
    const qsizetype zero = bytes.indexOf('\0');
    const QByteArray text = zero < 0 ? bytes : bytes.left(zero);
    const bool cut = zero < 0 && shown < size;
    QStringDecoder utf8(QStringDecoder::Utf8, cut ? QStringDecoder::Flag::Default : QStringDecoder::Flag::Stateless);
    QString value = utf8(text);
    if (utf8.hasError())
        value = QString::fromLatin1(text);
    addField(offset, size, QStringLiteral("value"), value);
    return Status::Success;
}

void ContainerAVI::addGarbage(quint64 offset, quint64 size)
{
    static const QString name = QString::fromLatin1(leftoverMarker);
    addField(offset, size, name, QString());
}

QString ContainerAVI::number(qint64 value) const
{
    return QString::number(value, valueBase);
}

QString ContainerAVI::unsignedNumber(quint64 value) const
{
    return QString::number(value, valueBase);
}
