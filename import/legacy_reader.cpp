// Reading the original program's tables through pxlib, in the helper: each
// file opened for reading only, the library's allocations counted and freed,
// records decoded into places and pictures, and the answer written out.
#include "import/legacy_reader.h"

#include "import/paradox_format.h"
#include "import/reader_wire.h"

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

// No memo or record of the user's notebook comes near this; a damaged
// length field must not make the reader ask for gigabytes.
constexpr size_t kLargestAllocation = 64u << 20;

std::atomic<qint64> g_liveAllocations { 0 };

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

} // namespace

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

qint64 liveLibraryAllocations()
{
    return g_liveAllocations.load();
}

} // namespace corvane::legacy
