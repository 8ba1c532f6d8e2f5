#include "import/legacy_reader.h"

#include "platform/errors.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>

// pxlib's header declares C functions without saying so.
extern "C" {
#include <paradox.h>
}

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iconv.h>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

namespace corvane::legacy {

using platform::AppError;

namespace {

constexpr quint32 kMagic = 0x43564C52; // "CVLR"
constexpr qint32 kFormat = 2;
// No memo or record of the user's notebook comes near this; a damaged
// length field must not make the reader ask for gigabytes.
constexpr size_t kLargestAllocation = 64u << 20;

const char* const kDescripFile = "DESCRIP.DB";
const char* const kMemoFile = "DESCRIP.MB";
const char* const kPixFile = "PIX.DB";

// Lines the helper writes to standard error for the program that waits for
// it; anything else there (a library's or a sanitizer's words) is ignored.
const char* const kFileLine = "@file ";
const char* const kRecordsLine = "@records ";

std::function<void()> g_childSetup;
std::function<void(qint64)> g_startedHook;
std::atomic<qint64> g_liveAllocations { 0 };

// ------------------------------------------------------------ text

// Windows-1252: Latin-1 except 0x80-0x9F. The five bytes the code page
// leaves undefined map to the C1 controls, as Windows itself converts them.
const char16_t kCp1252High[32] = { 0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6,
    0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178 };

QString fromCp1252(const char* data, qsizetype size)
{
    QString text(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i) {
        const auto byte = static_cast<unsigned char>(data[i]);
        text[i] = QChar(byte >= 0x80 && byte < 0xA0 ? kCp1252High[byte - 0x80] : char16_t(byte));
    }
    return text;
}

// Another code page (a table written under DOS) through the C library.
std::optional<QString> fromCodePage(int codePage, const char* data, qsizetype size)
{
    const QByteArray name = "CP" + QByteArray::number(codePage);
    iconv_t cd = iconv_open("UTF-16LE", name.constData());
    if (cd == iconv_t(-1))
        return std::nullopt;
    QByteArray out(size * 4 + 4, Qt::Uninitialized);
    char* in = const_cast<char*>(data);
    size_t inLeft = size_t(size);
    char* outPtr = out.data();
    size_t outLeft = size_t(out.size());
    const size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (rc == size_t(-1))
        return std::nullopt;
    return QString(reinterpret_cast<const QChar*>(out.constData()), (out.size() - qsizetype(outLeft)) / 2);
}

struct Decoder {
    int codePage = 1252;
    QString operator()(const char* data, qsizetype size) const
    {
        if (codePage != 1252 && codePage != 0) {
            if (auto text = fromCodePage(codePage, data, size))
                return *text;
        }
        return fromCp1252(data, size);
    }
};

// ------------------------------------------------------------ numbers

// The table stores a number big-endian with its sign bit inverted; a field
// of zero bytes is blank. Our own reading: the library's reads 8 bytes of a
// 4-byte value on 64-bit systems, turning a blank into -2147483648.
std::optional<qint64> decodeInteger(const unsigned char* data, int length)
{
    quint64 bits = 0;
    bool blank = true;
    for (int i = 0; i < length; ++i) {
        bits = bits << 8 | data[i];
        blank = blank && data[i] == 0;
    }
    if (blank)
        return std::nullopt;
    const int width = 8 * length;
    bits ^= quint64(1) << (width - 1);
    if (bits & (quint64(1) << (width - 1))) // negative: extend the sign
        bits |= ~quint64(0) << width;
    return qint64(bits);
}

std::optional<double> decodeNumber(const unsigned char* data)
{
    unsigned char bytes[8];
    std::memcpy(bytes, data, 8);
    if (bytes[0] & 0x80) {
        bytes[0] &= 0x7f;
    } else {
        bool blank = true;
        for (unsigned char& b : bytes) {
            blank = blank && b == 0;
            b = static_cast<unsigned char>(~b);
        }
        if (blank)
            return std::nullopt;
    }
    quint64 bits = 0;
    for (const unsigned char b : bytes)
        bits = bits << 8 | b;
    double value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// ------------------------------------------------------------ the header

quint16 u16(const unsigned char* p)
{
    return quint16(p[0] | p[1] << 8);
}

qint32 s32(const unsigned char* p)
{
    return qint32(quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24);
}

// The fixed part of a table header (as the library lays it out), its data
// header and its field descriptions.
constexpr int kFixedHeader = 0x58;
constexpr int kDataHeaderEnd = 0x78;
constexpr int kBlockHead = 6;
constexpr int kMostFields = 255; // the desktop engine's own limit
constexpr int kLongestFieldName = 299; // longer names the library cuts, and then misreads the rest
constexpr quint32 kEncryptionInDataHeader = 0xFF00FF00;

QString notOurTable(const QString& why)
{
    return QStringLiteral("the file cannot be read as the original program's table: %1").arg(why);
}

QString damaged(const QString& why)
{
    return QStringLiteral("the file is damaged: %1").arg(why);
}

// Why the library must not be given this file; empty when it may. Checks
// what the library trusts: field descriptions that fit the header and the
// record, a record count the blocks can hold, and a chain of data blocks
// that ends.
QString headerProblem(FILE* file, qint64 fileSize)
{
    unsigned char h[kDataHeaderEnd] {};
    const size_t got = std::fread(h, 1, sizeof h, file);
    if (got < size_t(kFixedHeader))
        return notOurTable(QStringLiteral("it is too short to be a table."));
    const int recordSize = u16(h);
    const int headerSize = u16(h + 2);
    const int fileType = h[4];
    const int blockKb = h[5];
    const qint32 records = s32(h + 6);
    const int fileBlocks = u16(h + 12);
    const int firstBlock = u16(h + 14);
    const int fields = u16(h + 33);
    const quint32 encryption1 = quint32(s32(h + 37));
    const int version = h[57];
    if (fileType > pxfFileTypIncSecIndexG || blockKb < 1 || blockKb > 32 || version < 3 || version > 12
        || recordSize == 0 || headerSize < kFixedHeader)
        return notOurTable(QStringLiteral("it is not a table of the kind the original program kept."));
    if (fileType != pxfFileTypIndexDB && fileType != pxfFileTypNonIndexDB)
        return QStringLiteral("this is an index file, not a table.");
    const bool dataHeader = version >= 5; // the library reads one from version 4.0 on
    if (dataHeader && got < size_t(kDataHeaderEnd))
        return notOurTable(QStringLiteral("it is too short to be a table."));
    quint32 encryption = encryption1;
    if (encryption1 == kEncryptionInDataHeader) {
        if (!dataHeader)
            return damaged(QStringLiteral("its header is garbled."));
        encryption = quint32(s32(h + 0x5C));
    }
    if (encryption != 0)
        return QStringLiteral(
            "the table is password-protected. Remove the password in the original program and try again.");
    if (fields < 1 || fields > kMostFields)
        return notOurTable(
            QStringLiteral("its header claims %1 fields; a table has 1 to %2.").arg(fields).arg(kMostFields));
    if (qint64(headerSize) > fileSize)
        return damaged(QStringLiteral("it is shorter than its own header (%L1 of %L2 bytes).")
                           .arg(fileSize)
                           .arg(headerSize));
    if (records < 0)
        return damaged(QStringLiteral("its header gives a negative number of records (%L1).").arg(records));

    // The rest of the header: field descriptions, pointers, table name, field names.
    std::vector<unsigned char> header(size_t(headerSize), 0);
    if (std::fseek(file, 0, SEEK_SET) != 0
        || std::fread(header.data(), 1, header.size(), file) != header.size())
        return damaged(QStringLiteral("its header cannot be read to its end."));
    const int fieldInfo = dataHeader ? kDataHeaderEnd : kFixedHeader;
    if (fieldInfo + 2 * fields > headerSize)
        return notOurTable(QStringLiteral("its list of %1 fields does not fit in its header.").arg(fields));
    int fieldBytes = 0;
    for (int i = 0; i < fields; ++i) {
        const int type = header[size_t(fieldInfo + 2 * i)];
        fieldBytes += type == pxfBCD ? 17 : header[size_t(fieldInfo + 2 * i + 1)];
    }
    if (fieldBytes > recordSize)
        return notOurTable(QStringLiteral("its fields (%1 bytes) do not fit in its records (%2 bytes).")
                               .arg(fieldBytes)
                               .arg(recordSize));
    const int tableName = version == 12 ? 261 : 79;
    int at = fieldInfo + 2 * fields + 4 + 4 * fields + tableName;
    for (int i = 0; i < fields; ++i) {
        const int start = at;
        while (at < headerSize && header[size_t(at)] != 0)
            ++at;
        if (at >= headerSize || at - start > kLongestFieldName)
            return notOurTable(QStringLiteral("the names of its fields do not fit in its header."));
        ++at;
    }

    // The data blocks: as many as the header says, each holding what it claims.
    const qint64 blockSize = qint64(blockKb) * 1024;
    const qint64 expected = qint64(headerSize) + qint64(fileBlocks) * blockSize;
    if (fileSize < expected)
        return damaged(QStringLiteral("it is shorter than its header says (%L1 of %L2 bytes).")
                           .arg(fileSize)
                           .arg(expected));
    const qint64 perBlock = (blockSize - kBlockHead) / recordSize;
    if (records > 0 && qint64(records) > qint64(fileBlocks) * perBlock)
        return damaged(
            QStringLiteral("its header counts %L1 records, more than its blocks can hold.").arg(records));
    std::vector<bool> seen(size_t(fileBlocks) + 1, false);
    qint64 inBlocks = 0;
    for (int block = firstBlock; block != 0;) {
        if (block > fileBlocks)
            return damaged(
                QStringLiteral("a data block leads to block %1 of %2.").arg(block).arg(fileBlocks));
        if (seen[size_t(block)])
            return damaged(QStringLiteral("its data blocks are linked in a loop."));
        seen[size_t(block)] = true;
        unsigned char head[kBlockHead];
        if (std::fseek(file, long(headerSize + (block - 1) * blockSize), SEEK_SET) != 0
            || std::fread(head, 1, sizeof head, file) != sizeof head)
            return damaged(QStringLiteral("data block %1 cannot be read.").arg(block));
        const int used = qint16(u16(head + 4)); // bytes of records in the block, less one record
        if (used < -recordSize || used % recordSize != 0 || used / recordSize + 1 > perBlock)
            return damaged(QStringLiteral("data block %1 claims more records than it can hold.").arg(block));
        inBlocks += used / recordSize + 1;
        block = u16(head);
    }
    if (qint64(records) > inBlocks)
        return damaged(QStringLiteral("its header counts %L1 records, but its data blocks hold %L2.")
                           .arg(records)
                           .arg(inBlocks));
    return {};
}

// What the system said when a file could not be opened, in the user's words.
QString openProblem(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
        return QStringLiteral(
            "you are not allowed to read this file (ask the owner of the files, or copy them "
            "somewhere you may read them).");
    case ENOENT:
        return QStringLiteral("the file is no longer there.");
    case EIO:
        return QStringLiteral("the disk could not be read (an input/output error); the disk may be damaged.");
    case EISDIR:
        return QStringLiteral("this is a folder, not a file.");
    default:
        return QStringLiteral("the file cannot be opened (%1).")
            .arg(QString::fromLocal8Bit(std::strerror(error)));
    }
}

// ------------------------------------------------------------ the library

struct DocContext {
    QString lastMessage;
};

void onPxError(pxdoc_t* doc, int, const char* message, void*)
{
    if (doc)
        if (auto* context = static_cast<DocContext*>(doc->errorhandler_user_data))
            context->lastMessage = QString::fromLocal8Bit(message).trimmed();
}

void* pxAlloc(pxdoc_t*, size_t size, const char*)
{
    if (size > kLargestAllocation)
        return nullptr;
    void* memory = std::calloc(1, size);
    if (memory)
        ++g_liveAllocations;
    return memory;
}

void* pxRealloc(pxdoc_t*, void* memory, size_t size, const char*)
{
    if (size > kLargestAllocation)
        return nullptr;
    void* moved = std::realloc(memory, size);
    if (moved && !memory)
        ++g_liveAllocations;
    return moved;
}

void pxFree(pxdoc_t*, void* memory)
{
    if (memory)
        --g_liveAllocations;
    std::free(memory);
}

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<FILE, FileCloser>;

// The memo file is read through our own stream: the library's opener of
// memo files overruns its stack in this version, but its memo decoding is
// sound. A short read (a truncated file) is noted, since the library takes
// every read for whole.
struct MemoStream {
    pxstream_t stream {};
    FileHandle file;
    long size = 0;
    bool shortRead = false;
};

MemoStream* memoOf(pxstream_t* stream)
{
    return reinterpret_cast<MemoStream*>(stream); // stream is MemoStream's first member
}

size_t memoRead(pxblob_t*, pxstream_t* stream, size_t count, void* buffer)
{
    MemoStream* memo = memoOf(stream);
    const size_t got = std::fread(buffer, 1, count, memo->file.get());
    if (got < count) {
        std::memset(static_cast<char*>(buffer) + got, 0, count - got);
        memo->shortRead = true;
    }
    return got;
}

int memoSeek(pxblob_t*, pxstream_t* stream, long offset, int whence)
{
    MemoStream* memo = memoOf(stream);
    if (whence == SEEK_SET && (offset < 0 || offset > memo->size)) {
        memo->shortRead = true;
        return -1;
    }
    return std::fseek(memo->file.get(), offset, whence);
}

long memoTell(pxblob_t*, pxstream_t* stream)
{
    return std::ftell(memoOf(stream)->file.get());
}

// The library's document over a file opened for reading only; frees all
// the library allocated, which its own close and delete leave behind (the
// stream of a document opened on a file handle, the memo file's object).
class Document {
public:
    explicit Document(DocContext* context)
        : m_doc(PX_new3(onPxError, pxAlloc, pxRealloc, pxFree, context))
    {
    }
    ~Document()
    {
        if (!m_doc)
            return;
        if (pxblob_t* blob = m_doc->px_blob) {
            blob->mb_stream = nullptr; // ours
            m_doc->px_blob = nullptr;
            m_doc->free(m_doc, blob);
        }
        PX_close(m_doc);
        if (m_doc->px_stream) { // opened on our handle: the library neither closes nor frees it
            m_doc->free(m_doc, m_doc->px_stream);
            m_doc->px_stream = nullptr;
        }
        PX_delete(m_doc);
    }
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;
    pxdoc_t* get() const { return m_doc; }

private:
    pxdoc_t* m_doc;
};

// One open table file; closes everything it opened, also when its
// construction is refused part-way.
class TableFile {
public:
    TableFile(const QString& path, const char* shownName)
        : m_shown(QString::fromLatin1(shownName))
    {
        m_file.reset(std::fopen(QFile::encodeName(path).constData(), "rb"));
        if (!m_file)
            fail(openProblem(errno));
        const qint64 size = QFileInfo(path).size();
        const QString problem = headerProblem(m_file.get(), size);
        if (!problem.isEmpty())
            fail(problem);
        std::rewind(m_file.get());
        m_doc = std::make_unique<Document>(&m_context);
        if (!m_doc->get())
            fail(QStringLiteral("there is not enough memory to read it."));
        if (PX_open_fp(m_doc->get(), m_file.get()) < 0 || !head())
            fail(notOurTable(libraryMessage()));
    }
    TableFile(const TableFile&) = delete;
    TableFile& operator=(const TableFile&) = delete;

    [[noreturn]] void fail(const QString& what) const
    {
        throw AppError(m_shown + QStringLiteral(": ") + what);
    }
    QString libraryMessage() const
    {
        return m_context.lastMessage.isEmpty() ? QStringLiteral("no reason given") : m_context.lastMessage;
    }
    pxdoc_t* doc() const { return m_doc->get(); }
    pxhead_t* head() const { return doc()->px_head; }

    // Field number by name without regard to case, with one of the types
    // and (for numbers) the length that type has; -1 if absent.
    int field(const char* name, std::initializer_list<int> types) const;
    int offsetOf(int field) const;
    bool attachMemoFile(const QString& path);
    bool memoShortRead() const { return m_memo.shortRead; }
    void clearMemoShortRead() { m_memo.shortRead = false; }

private:
    QString m_shown;
    DocContext m_context;
    FileHandle m_file; // declared before the document: closed after it
    MemoStream m_memo;
    std::unique_ptr<Document> m_doc;
};

int lengthOf(int type)
{
    switch (type) {
    case pxfShort:
        return 2;
    case pxfLong:
    case pxfAutoInc:
        return 4;
    case pxfNumber:
        return 8;
    default:
        return 0;
    }
}

int TableFile::field(const char* name, std::initializer_list<int> types) const
{
    const pxhead_t* h = head();
    for (int i = 0; i < h->px_numfields; ++i) {
        const pxfield_t& f = h->px_fields[i];
        if (f.px_fname && qstricmp(f.px_fname, name) == 0) {
            for (const int type : types)
                if (f.px_ftype == type && (lengthOf(type) == 0 || f.px_flen == lengthOf(type)))
                    return i;
            return -1;
        }
    }
    return -1;
}

int TableFile::offsetOf(int field) const
{
    int offset = 0;
    for (int i = 0; i < field; ++i)
        offset += head()->px_fields[i].px_flen;
    return offset;
}

bool TableFile::attachMemoFile(const QString& path)
{
    m_memo.file.reset(std::fopen(QFile::encodeName(path).constData(), "rb"));
    if (!m_memo.file)
        return false;
    std::fseek(m_memo.file.get(), 0, SEEK_END);
    m_memo.size = std::ftell(m_memo.file.get());
    std::fseek(m_memo.file.get(), 0, SEEK_SET);
    pxblob_t* blob = PX_new_blob(doc());
    if (!blob)
        return false;
    blob->mb_stream = &m_memo.stream;
    blob->read = memoRead;
    blob->seek = memoSeek;
    blob->tell = memoTell;
    return true;
}

// ------------------------------------------------------------ records

const std::initializer_list<int> kIntegerTypes = { pxfLong, pxfShort, pxfAutoInc, pxfNumber };
// A memo field holds the first part of the text and 10 bytes that say where the rest is.
constexpr int kMemoPointer = 10;

class RecordReader {
public:
    RecordReader(TableFile& table)
        : m_table(table)
        , m_buffer(table.head()->px_recordsize, '\0')
        , m_decode { table.head()->px_doscodepage }
    {
        for (int i = 0; i < table.head()->px_numfields; ++i)
            m_offsets << table.offsetOf(i);
    }
    bool read(int recno)
    {
        m_buffer.fill('\0');
        return PX_get_record(m_table.doc(), recno, m_buffer.data()) != nullptr;
    }

    QString text(int field) const
    {
        if (field < 0)
            return {};
        const char* data = m_buffer.constData() + m_offsets[field];
        const int length = m_table.head()->px_fields[field].px_flen;
        return m_decode(data, qsizetype(strnlen(data, size_t(length))));
    }

    // The number; nullopt when it is blank, or no whole number of our range.
    std::optional<int> integer(int field) const
    {
        const auto* data = reinterpret_cast<const unsigned char*>(m_buffer.constData()) + m_offsets[field];
        const pxfield_t& f = m_table.head()->px_fields[field];
        qint64 value = 0;
        if (f.px_ftype == pxfNumber) {
            const auto number = decodeNumber(data);
            if (!number || !std::isfinite(*number) || *number != std::floor(*number)
                || std::fabs(*number) > double(std::numeric_limits<int>::max()))
                return std::nullopt;
            value = qint64(*number);
        } else {
            const auto number = decodeInteger(data, f.px_flen);
            if (!number)
                return std::nullopt;
            value = *number;
        }
        if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
            return std::nullopt;
        return int(value);
    }
    bool blank(int field) const
    {
        const char* data = m_buffer.constData() + m_offsets[field];
        for (int i = 0; i < m_table.head()->px_fields[field].px_flen; ++i)
            if (data[i] != 0)
                return false;
        return true;
    }

    // The memo's text; nullopt when it cannot be read.
    std::optional<QString> memo(int field)
    {
        char* data = m_buffer.data() + m_offsets[field];
        const int length = m_table.head()->px_fields[field].px_flen;
        int modification = 0;
        int size = 0;
        char* value = nullptr;
        m_table.clearMemoShortRead();
        const int rc = PX_get_data_blob(m_table.doc(), data, length, &modification, &size, &value);
        const auto freeValue = [this](char* memory) { m_table.doc()->free(m_table.doc(), memory); };
        std::unique_ptr<char, decltype(freeValue)> owned(value, freeValue);
        const bool empty = std::all_of(data, data + length, [](char c) { return c == 0; });
        if (empty)
            return QString();
        if (rc < 0 || m_table.memoShortRead() || !value || size <= 0)
            return std::nullopt;
        QString text = m_decode(value, qsizetype(strnlen(value, size_t(size))));
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        return text;
    }

private:
    TableFile& m_table;
    QByteArray m_buffer;
    QList<int> m_offsets;
    Decoder m_decode;
};

using Progress = std::function<void(const char* file, int done, int total)>;

void report(const Progress& progress, const char* file, int done, int total)
{
    if (progress && (done % 500 == 0 || done == total))
        progress(file, done, total);
}

QString numberProblem(const QString& what)
{
    return QStringLiteral("%1: its number cannot be read and is taken as 0").arg(what);
}

void readPlaces(const QString& folder, Tables& tables, const Progress& progress)
{
    const QString path = findFile(folder, QString::fromLatin1(kDescripFile));
    if (path.isEmpty())
        throw AppError(
            QStringLiteral("%1: the table of places is missing.").arg(QLatin1String(kDescripFile)));
    TableFile table(path, kDescripFile);
    const int placeId = table.field("Placeid", kIntegerTypes);
    const int place = table.field("Place", { pxfAlpha });
    const int memo = table.field("Memo", { pxfMemoBLOb, pxfFmtMemoBLOb });
    if (placeId < 0 || place < 0 || memo < 0)
        table.fail(
            QStringLiteral("this is not a table of places (it lacks the fields Placeid, Place and Memo)."));
    if (table.head()->px_fields[memo].px_flen <= kMemoPointer)
        table.fail(notOurTable(QStringLiteral("its field Memo is too short to be a memo.")));
    const int page = table.field("Page", { pxfAlpha });
    const int coords = table.field("Coords", { pxfAlpha });
    const QString memoPath = findFile(folder, QString::fromLatin1(kMemoFile));
    tables.memoFileMissing = memoPath.isEmpty() || !table.attachMemoFile(memoPath);

    RecordReader records(table);
    const int count = table.head()->px_numrecords;
    for (int i = 0; i < count; ++i) {
        report(progress, kDescripFile, i, count);
        if (!records.read(i)) {
            tables.unreadable << QStringLiteral("place record %1: it cannot be read (%2)")
                                     .arg(i + 1)
                                     .arg(table.libraryMessage());
            continue;
        }
        Place p { 0, records.text(place), records.text(page), records.text(coords), {} };
        if (const auto id = records.integer(placeId))
            p.placeId = *id;
        else if (!records.blank(placeId))
            tables.unreadable << numberProblem(QStringLiteral("the place \"%1\"").arg(p.place));
        if (const auto text = records.memo(memo))
            p.memo = *text;
        else if (!tables.memoFileMissing)
            tables.unreadable << QStringLiteral("the description of \"%1\": it cannot be read").arg(p.place);
        tables.places << p;
    }
    report(progress, kDescripFile, count, count);
}

void readPictures(const QString& folder, Tables& tables, const Progress& progress)
{
    const QString path = findFile(folder, QString::fromLatin1(kPixFile));
    if (path.isEmpty())
        throw AppError(QStringLiteral("%1: the table of pictures is missing.").arg(QLatin1String(kPixFile)));
    TableFile table(path, kPixFile);
    const int fileName = table.field("Filename", { pxfAlpha });
    const int placeId = table.field("Placeid", kIntegerTypes);
    const int type = table.field("Type", { pxfAlpha });
    if (fileName < 0 || placeId < 0 || type < 0)
        table.fail(QStringLiteral(
            "this is not a table of pictures (it lacks the fields Filename, Placeid and Type)."));
    const int caption = table.field("Caption", { pxfAlpha });
    RecordReader records(table);
    const int count = table.head()->px_numrecords;
    for (int i = 0; i < count; ++i) {
        report(progress, kPixFile, i, count);
        if (!records.read(i)) {
            tables.unreadable << QStringLiteral("picture record %1 and its caption: it cannot be read (%2)")
                                     .arg(i + 1)
                                     .arg(table.libraryMessage());
            continue;
        }
        Picture p { records.text(fileName).trimmed(), 0, records.text(caption),
            records.text(type).trimmed() };
        if (const auto id = records.integer(placeId)) {
            p.placeId = *id;
        } else if (!records.blank(placeId)) {
            tables.unreadable << QStringLiteral(
                "picture %1: the number of its place cannot be read; it is left out")
                                     .arg(p.fileName);
            continue;
        }
        tables.pictures << p;
    }
    report(progress, kPixFile, count, count);
}

// What the reading helper said on standard error: the file it reads and
// how far it is.
struct HelperNews {
    QString file = QString::fromLatin1(kDescripFile);
    qint64 done = 0;
    qint64 total = 0;
    QByteArray pending;

    // Returns true when something new was learnt.
    bool take(const QByteArray& bytes)
    {
        pending += bytes;
        bool news = false;
        for (qsizetype end = pending.indexOf('\n'); end >= 0; end = pending.indexOf('\n')) {
            const QByteArray line = pending.left(end).trimmed();
            pending.remove(0, end + 1);
            if (line.startsWith(kFileLine)) {
                const QByteArray name = line.mid(qsizetype(std::strlen(kFileLine)));
                if (name == kDescripFile || name == kPixFile) {
                    file = QString::fromLatin1(name);
                    done = total = 0;
                    news = true;
                }
            } else if (line.startsWith(kRecordsLine)) {
                const QList<QByteArray> numbers = line.mid(qsizetype(std::strlen(kRecordsLine))).split(' ');
                if (numbers.size() == 2) {
                    done = numbers[0].toLongLong();
                    total = numbers[1].toLongLong();
                    news = true;
                }
            }
        }
        if (pending.size() > 4096) // no line of ours is that long
            pending.clear();
        return news;
    }
};

// Leaves a helper that was told to stop to end by itself, without waiting
// for it here: one stuck in a drive that does not answer can take long.
void letGo(std::unique_ptr<QProcess> reader)
{
    reader->disconnect();
    reader->kill();
    if (reader->state() == QProcess::NotRunning)
        return;
    QProcess* process = reader.release();
    QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
}

} // namespace

// ------------------------------------------------------------ the wire

QDataStream& operator<<(QDataStream& out, const Place& p)
{
    return out << p.placeId << p.place << p.page << p.coords << p.memo;
}
QDataStream& operator>>(QDataStream& in, Place& p)
{
    return in >> p.placeId >> p.place >> p.page >> p.coords >> p.memo;
}
QDataStream& operator<<(QDataStream& out, const Picture& p)
{
    return out << p.fileName << p.placeId << p.caption << p.type;
}
QDataStream& operator>>(QDataStream& in, Picture& p)
{
    return in >> p.fileName >> p.placeId >> p.caption >> p.type;
}

QString findFile(const QString& hostFolder, const QString& name)
{
    const QDir dir(hostFolder);
    if (hostFolder.isEmpty() || !dir.exists())
        return {};
    if (QFileInfo::exists(dir.filePath(name)))
        return dir.filePath(name);
    const QStringList entries
        = dir.entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    for (const QString& entry : entries)
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return dir.filePath(entry);
    return {};
}

FolderCheck checkFolder(const QString& hostFolder)
{
    FolderCheck check;
    for (const char* name : { kDescripFile, kPixFile }) {
        const QString path = findFile(hostFolder, QString::fromLatin1(name));
        if (path.isEmpty() || !QFileInfo(path).isFile()) {
            check.missing << QString::fromLatin1(name);
            continue;
        }
        // This program keeps its tables in SQLite files of the same names.
        QFile file(path);
        if (file.open(QIODevice::ReadOnly) && file.read(16) == QByteArray("SQLite format 3\0", 16))
            check.ownTables = true;
    }
    return check;
}

Tables readTablesHere(const QString& hostFolder, const Progress& progress)
{
    Tables tables;
    readPlaces(hostFolder, tables, progress);
    readPictures(hostFolder, tables, progress);
    return tables;
}

int runReaderHelper(const QString& hostFolder, QIODevice& out)
{
    QDataStream stream(&out);
    stream.setVersion(QDataStream::Qt_6_4);
    stream << kMagic << kFormat;
    QElapsedTimer sinceReport;
    sinceReport.start();
    const char* lastFile = nullptr;
    const auto progress = [&](const char* file, int done, int total) {
        if (file != lastFile) {
            std::fprintf(stderr, "%s%s\n", kFileLine, file);
            lastFile = file;
        } else if (sinceReport.elapsed() < 50 && done != total) {
            return;
        }
        std::fprintf(stderr, "%s%d %d\n", kRecordsLine, done, total);
        std::fflush(stderr);
        sinceReport.restart();
    };
    try {
        const Tables tables = readTablesHere(hostFolder, progress);
        stream << qint32(0) << tables.places << tables.pictures << tables.unreadable
               << tables.memoFileMissing;
    } catch (const AppError& error) {
        stream << qint32(1) << error.message();
    }
    return stream.status() == QDataStream::Ok ? 0 : 2;
}

QString readerProgram()
{
    const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/corvane3-legacy-reader");
    if (QFileInfo(beside).isExecutable())
        return beside;
    return QStringLiteral(CORVANE_LEGACY_READER_FALLBACK);
}

Tables readTables(const QString& hostFolder, int timeoutMs)
{
    ReadWatch watch;
    watch.timeoutMs = timeoutMs;
    return readTables(hostFolder, watch);
}

Tables readTables(const QString& hostFolder, const ReadWatch& watch)
{
    auto reader = std::make_unique<QProcess>();
    if (g_childSetup)
        reader->setChildProcessModifier(g_childSetup);
    enum class End { Running, Finished, NotStarted, TimedOut, Stopped };
    End end = End::Running;
    HelperNews news;
    QEventLoop loop;
    QElapsedTimer clock;
    const auto finish = [&](End how) {
        if (end == End::Running) {
            end = how;
            loop.quit();
        }
    };
    QObject::connect(reader.get(), &QProcess::finished, &loop, [&] { finish(End::Finished); });
    QObject::connect(reader.get(), &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            finish(End::NotStarted);
    });
    QObject::connect(reader.get(), &QProcess::started, &loop, [&] {
        if (g_startedHook)
            g_startedHook(reader->processId());
    });
    const auto tell = [&] {
        if (watch.progress)
            watch.progress(QStringLiteral("Reading %1").arg(news.file), news.done, news.total);
    };
    QObject::connect(reader.get(), &QProcess::readyReadStandardError, &loop, [&] {
        if (news.take(reader->readAllStandardError()))
            tell();
    });
    QTimer tick;
    tick.setInterval(20);
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        if (watch.cancelled && watch.cancelled())
            finish(End::Stopped);
        else if (clock.elapsed() > watch.timeoutMs)
            finish(End::TimedOut);
    });
    clock.start();
    tell();
    reader->start(readerProgram(), { hostFolder });
    tick.start();
    if (end == End::Running)
        loop.exec(QEventLoop::AllEvents);
    tick.stop();

    const QString& file = news.file;
    switch (end) {
    case End::Stopped:
        letGo(std::move(reader));
        throw Cancelled();
    case End::TimedOut:
        letGo(std::move(reader));
        throw AppError(
            QStringLiteral("%1: reading this table took longer than %2 seconds, so it was stopped. "
                           "The file is probably damaged, or its disk is very slow.")
                .arg(file)
                .arg(watch.timeoutMs / 1000.0, 0, 'g', 3));
    case End::NotStarted:
        throw AppError(QStringLiteral("The program that reads the original program's tables (%1) cannot be "
                                      "started: %2")
                           .arg(readerProgram(), reader->errorString()));
    case End::Running:
    case End::Finished:
        break;
    }
    news.take(reader->readAllStandardError());
    const QString failed
        = QStringLiteral("%1: the table library failed on this file; it is probably damaged.").arg(news.file);
    QDataStream stream(reader->readAllStandardOutput());
    stream.setVersion(QDataStream::Qt_6_4);
    quint32 magic = 0;
    qint32 format = 0, status = -1;
    stream >> magic >> format >> status;
    if (reader->exitStatus() != QProcess::NormalExit || magic != kMagic || format != kFormat || status < 0)
        throw AppError(failed);
    if (status != 0) {
        QString message;
        stream >> message;
        throw AppError(message);
    }
    Tables tables;
    stream >> tables.places >> tables.pictures >> tables.unreadable >> tables.memoFileMissing;
    if (stream.status() != QDataStream::Ok)
        throw AppError(failed);
    return tables;
}

void setReaderChildSetup(std::function<void()> setup)
{
    g_childSetup = std::move(setup);
}

void setReaderStartedHook(std::function<void(qint64)> hook)
{
    g_startedHook = std::move(hook);
}

qint64 liveLibraryAllocations()
{
    return g_liveAllocations.load();
}

} // namespace corvane::legacy
