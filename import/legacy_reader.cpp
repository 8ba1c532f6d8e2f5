#include "import/legacy_reader.h"

#include "platform/errors.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

// pxlib's header declares C functions without saying so.
extern "C" {
#include <paradox.h>
}

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iconv.h>
#include <memory>

namespace corvane::legacy {

using platform::AppError;

namespace {

constexpr quint32 kMagic = 0x43564C52; // "CVLR"
constexpr qint32 kFormat = 1;
// No memo or record of the user's notebook comes near this; a damaged
// length field must not make the reader ask for gigabytes.
constexpr size_t kLargestAllocation = 64u << 20;

const char* const kDescripFile = "DESCRIP.DB";
const char* const kMemoFile = "DESCRIP.MB";
const char* const kPixFile = "PIX.DB";

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

// ------------------------------------------------------------ the library

struct DocContext {
    QString lastMessage;
};

void onPxError(pxdoc_t* doc, int, const char* message, void*)
{
    if (auto* context = static_cast<DocContext*>(doc->errorhandler_user_data))
        context->lastMessage = QString::fromLocal8Bit(message).trimmed();
}

void* pxAlloc(pxdoc_t*, size_t size, const char*)
{
    return size > kLargestAllocation ? nullptr : std::calloc(1, size);
}

void* pxRealloc(pxdoc_t*, void* memory, size_t size, const char*)
{
    return size > kLargestAllocation ? nullptr : std::realloc(memory, size);
}

void pxFree(pxdoc_t*, void* memory)
{
    std::free(memory);
}

// The memo file is read through our own stream: the library's opener of
// memo files overruns its stack in this version, but its memo decoding is
// sound. A short read (a truncated file) is noted, since the library takes
// every read for whole.
struct MemoStream {
    pxstream_t stream {};
    FILE* file = nullptr;
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
    const size_t got = std::fread(buffer, 1, count, memo->file);
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
    return std::fseek(memo->file, offset, whence);
}

long memoTell(pxblob_t*, pxstream_t* stream)
{
    return std::ftell(memoOf(stream)->file);
}

// One open table file; closes everything it opened.
class TableFile {
public:
    TableFile(const QString& path, const char* shownName)
        : m_shown(QString::fromLatin1(shownName))
    {
        m_doc = PX_new3(onPxError, pxAlloc, pxRealloc, pxFree, &m_context);
        if (!m_doc)
            throw AppError(m_shown + QStringLiteral(": out of memory."));
        if (PX_open_file(m_doc, QFile::encodeName(path).constData()) < 0)
            fail(QStringLiteral("the file cannot be read as a table (%1).").arg(libraryMessage()));
        checkHeader(QFileInfo(path).size());
    }
    ~TableFile()
    {
        if (m_doc) {
            if (m_doc->px_blob)
                m_doc->px_blob->mb_stream = nullptr; // ours, closed below
            PX_close(m_doc);
            PX_delete(m_doc);
        }
        if (m_memo.file)
            std::fclose(m_memo.file);
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
    pxdoc_t* doc() const { return m_doc; }
    pxhead_t* head() const { return m_doc->px_head; }

    // Field number by name without regard to case, with one of the types; -1 if absent.
    int field(const char* name, std::initializer_list<int> types) const;
    int offsetOf(int field) const;
    bool attachMemoFile(const QString& path);
    bool memoShortRead() const { return m_memo.shortRead; }
    void clearMemoShortRead() { m_memo.shortRead = false; }

private:
    void checkHeader(qint64 fileSize) const;

    QString m_shown;
    DocContext m_context;
    pxdoc_t* m_doc = nullptr;
    MemoStream m_memo;
};

void TableFile::checkHeader(qint64 fileSize) const
{
    const pxhead_t* h = head();
    if (!h)
        fail(QStringLiteral("the file has no table header."));
    if (h->px_filetype != pxfFileTypIndexDB && h->px_filetype != pxfFileTypNonIndexDB)
        fail(QStringLiteral("this is an index file, not a table."));
    if (h->px_encryption != 0)
        fail(
            QStringLiteral("the table is password-protected. Remove the password in the original program and "
                           "try again."));
    const qint64 expected = qint64(h->px_headersize) + qint64(h->px_fileblocks) * h->px_maxtablesize * 1024;
    if (h->px_recordsize <= 0 || h->px_numrecords < 0 || fileSize < expected)
        fail(QStringLiteral("the file is damaged: it is shorter than its header says (%1 of %2 bytes).")
                 .arg(fileSize)
                 .arg(expected));
}

int TableFile::field(const char* name, std::initializer_list<int> types) const
{
    const pxhead_t* h = head();
    for (int i = 0; i < h->px_numfields; ++i) {
        const pxfield_t& f = h->px_fields[i];
        if (f.px_fname && qstricmp(f.px_fname, name) == 0) {
            for (const int type : types)
                if (f.px_ftype == type)
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
    m_memo.file = std::fopen(QFile::encodeName(path).constData(), "rb");
    if (!m_memo.file)
        return false;
    std::fseek(m_memo.file, 0, SEEK_END);
    m_memo.size = std::ftell(m_memo.file);
    std::fseek(m_memo.file, 0, SEEK_SET);
    pxblob_t* blob = PX_new_blob(m_doc);
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

class RecordReader {
public:
    RecordReader(TableFile& table)
        : m_table(table)
        , m_buffer(table.head()->px_recordsize, '\0')
        , m_decode { table.head()->px_doscodepage }
    {
    }
    int count() const { return m_table.head()->px_numrecords; }
    bool read(int recno) { return PX_get_record(m_table.doc(), recno, m_buffer.data()) != nullptr; }

    QString text(int field) const
    {
        if (field < 0)
            return {};
        char* data = const_cast<char*>(m_buffer.constData()) + m_table.offsetOf(field);
        const int length = m_table.head()->px_fields[field].px_flen;
        return m_decode(data, qsizetype(strnlen(data, size_t(length))));
    }

    int integer(int field) const
    {
        char* data = const_cast<char*>(m_buffer.constData()) + m_table.offsetOf(field);
        const pxfield_t& f = m_table.head()->px_fields[field];
        if (f.px_ftype == pxfShort) {
            short value = 0;
            return PX_get_data_short(m_table.doc(), data, f.px_flen, &value) > 0 ? value : 0;
        }
        if (f.px_ftype == pxfNumber) {
            double value = 0;
            return PX_get_data_double(m_table.doc(), data, f.px_flen, &value) > 0 ? int(value) : 0;
        }
        long value = 0;
        return PX_get_data_long(m_table.doc(), data, f.px_flen, &value) > 0 ? int(value) : 0;
    }

    // The memo's text; nullopt when it cannot be read.
    std::optional<QString> memo(int field)
    {
        char* data = m_buffer.data() + m_table.offsetOf(field);
        const int length = m_table.head()->px_fields[field].px_flen;
        int modification = 0;
        int size = 0;
        char* value = nullptr;
        m_table.clearMemoShortRead();
        const int rc = PX_get_data_blob(m_table.doc(), data, length, &modification, &size, &value);
        std::unique_ptr<char, void (*)(void*)> owned(value, std::free);
        if (rc < 0 || m_table.memoShortRead() || (rc > 0 && !value))
            return std::nullopt;
        if (rc == 0 || size <= 0)
            return QString();
        QString text = m_decode(value, qsizetype(strnlen(value, size_t(size))));
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        return text;
    }

private:
    TableFile& m_table;
    QByteArray m_buffer;
    Decoder m_decode;
};

void readPlaces(const QString& folder, Tables& tables)
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
    const int page = table.field("Page", { pxfAlpha });
    const int coords = table.field("Coords", { pxfAlpha });
    const QString memoPath = findFile(folder, QString::fromLatin1(kMemoFile));
    tables.memoFileMissing = memoPath.isEmpty() || !table.attachMemoFile(memoPath);

    RecordReader records(table);
    for (int i = 0; i < records.count(); ++i) {
        if (!records.read(i)) {
            tables.unreadable << QStringLiteral("place record %1: it cannot be read (%2)")
                                     .arg(i + 1)
                                     .arg(table.libraryMessage());
            continue;
        }
        Place p { records.integer(placeId), records.text(place), records.text(page), records.text(coords),
            {} };
        const auto text = records.memo(memo);
        if (text)
            p.memo = *text;
        else if (!tables.memoFileMissing)
            tables.unreadable << QStringLiteral("the description of \"%1\": it cannot be read").arg(p.place);
        tables.places << p;
    }
}

void readPictures(const QString& folder, Tables& tables)
{
    const QString path = findFile(folder, QString::fromLatin1(kPixFile));
    if (path.isEmpty())
        throw AppError(QStringLiteral("%1: the table of pictures is missing.").arg(QLatin1String(kPixFile)));
    TableFile table(path, kPixFile);
    const int fileName = table.field("Filename", { pxfAlpha });
    const int placeId = table.field("Placeid", kIntegerTypes);
    const int type = table.field("Type", { pxfAlpha });
    if (fileName < 0 || placeId < 0 || type < 0)
        table.fail(
            QStringLiteral("this is not a table of pictures (it lacks the fields Filename, Placeid and "
                           "Type)."));
    const int caption = table.field("Caption", { pxfAlpha });
    RecordReader records(table);
    for (int i = 0; i < records.count(); ++i) {
        if (!records.read(i)) {
            tables.unreadable << QStringLiteral("picture record %1 and its caption: it cannot be read (%2)")
                                     .arg(i + 1)
                                     .arg(table.libraryMessage());
            continue;
        }
        tables.pictures << Picture { records.text(fileName).trimmed(), records.integer(placeId),
            records.text(caption), records.text(type).trimmed() };
    }
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
    if (QFileInfo(dir.filePath(name)).isFile())
        return dir.filePath(name);
    const QStringList entries = dir.entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
    for (const QString& entry : entries)
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return dir.filePath(entry);
    return {};
}

Tables readTablesHere(const QString& hostFolder)
{
    Tables tables;
    std::fprintf(stderr, "%s\n", kDescripFile);
    std::fflush(stderr);
    readPlaces(hostFolder, tables);
    std::fprintf(stderr, "%s\n", kPixFile);
    std::fflush(stderr);
    readPictures(hostFolder, tables);
    return tables;
}

int runReaderHelper(const QString& hostFolder, QIODevice& out)
{
    QDataStream stream(&out);
    stream.setVersion(QDataStream::Qt_6_4);
    stream << kMagic << kFormat;
    try {
        const Tables tables = readTablesHere(hostFolder);
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
    QProcess reader;
    reader.start(readerProgram(), { hostFolder });
    if (!reader.waitForStarted())
        throw AppError(QStringLiteral("The table reader cannot be started: %1").arg(reader.errorString()));
    const bool finished = reader.waitForFinished(timeoutMs);
    const QStringList progress
        = QString::fromLocal8Bit(reader.readAllStandardError()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const QString file = progress.isEmpty() ? QString::fromLatin1(kDescripFile) : progress.constLast();
    if (!finished) {
        reader.kill();
        reader.waitForFinished(2000);
        throw AppError(
            QStringLiteral("%1: reading the table takes too long; the file is probably damaged.").arg(file));
    }
    QDataStream stream(reader.readAllStandardOutput());
    stream.setVersion(QDataStream::Qt_6_4);
    quint32 magic = 0;
    qint32 format = 0, status = -1;
    stream >> magic >> format >> status;
    if (reader.exitStatus() != QProcess::NormalExit || magic != kMagic || format != kFormat || status < 0)
        throw AppError(QStringLiteral("%1: the file is damaged; the table library failed on it.").arg(file));
    if (status != 0) {
        QString message;
        stream >> message;
        throw AppError(message);
    }
    Tables tables;
    stream >> tables.places >> tables.pictures >> tables.unreadable >> tables.memoFileMissing;
    if (stream.status() != QDataStream::Ok)
        throw AppError(QStringLiteral("%1: the file is damaged; the table library failed on it.").arg(file));
    return tables;
}

} // namespace corvane::legacy
