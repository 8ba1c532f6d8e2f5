#pragma once
// Writes tables as the original Windows program kept them, with pxlib's own
// writer: DESCRIP.DB with its memo file, PIX.DB, in Windows-1252 text. The
// library writes into memory (it seeks and rereads its blocks for every
// record, which on a file costs system calls by the thousand), and the
// result is written out at the end: 500,000 records take seconds, not
// minutes.

extern "C" {
#include <paradox.h>
}

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>
#include <QString>

#include <cstdio>
#include <functional>
#include <sys/mman.h>
#include <vector>

namespace legacyfix {

struct Field {
    const char* name;
    char type;
    int length;
};

// One value a field: an integer for pxfLong, bytes for alpha and memo; a
// blank leaves the field's bytes zero, as the original program does.
struct Value {
    int number = 0;
    QByteArray bytes;
    bool blank = false;
    Value(int n)
        : number(n)
    {
    }
    Value(const char* b)
        : bytes(b)
    {
    }
    Value(QByteArray b)
        : bytes(std::move(b))
    {
    }
    static Value none()
    {
        Value v(0);
        v.blank = true;
        return v;
    }
};
using Row = QList<Value>;

inline const QList<Field> kDescripFields = { { "Placeid", pxfLong, 4 }, { "Place", pxfAlpha, 40 },
    { "Page", pxfAlpha, 15 }, { "Coords", pxfAlpha, 15 }, { "Memo", pxfMemoBLOb, 100 } };
inline const QList<Field> kPixFields = { { "Filename", pxfAlpha, 6 }, { "Placeid", pxfLong, 4 },
    { "Caption", pxfAlpha, 120 }, { "Type", pxfAlpha, 5 } };

inline void ignoreErrors(pxdoc_t*, int, const char*, void*) { }

// A file in memory that the library may seek and reread: address space is
// reserved generously, memory is only taken as it is written.
class MemoryFile {
public:
    MemoryFile()
    {
        void* at = mmap(
            nullptr, kReserve, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (at != MAP_FAILED) {
            m_memory = static_cast<char*>(at);
            m_file = fmemopen(m_memory, kReserve, "w+");
        } else {
            m_file = std::tmpfile(); // slower, but it works where address space is short
        }
    }
    ~MemoryFile()
    {
        if (m_file)
            std::fclose(m_file);
        if (m_memory)
            munmap(m_memory, kReserve);
    }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;
    FILE* get() const { return m_file; }
    bool saveAs(const QString& path)
    {
        if (!m_file || std::fflush(m_file) != 0 || std::fseek(m_file, 0, SEEK_END) != 0)
            return false;
        const long size = std::ftell(m_file);
        QFile out(path);
        if (size < 0 || !out.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        if (m_memory)
            return out.write(m_memory, size) == size;
        std::rewind(m_file);
        std::vector<char> chunk(1 << 20);
        for (size_t got; (got = std::fread(chunk.data(), 1, chunk.size(), m_file)) > 0;)
            if (out.write(chunk.data(), qint64(got)) != qint64(got))
                return false;
        return true;
    }

private:
    static constexpr size_t kReserve = size_t(8) << 30;
    char* m_memory = nullptr; // null when the file is a temporary file on disk
    FILE* m_file = nullptr;
};

// Writes count rows made by rowAt to path (and, with memoPath, its memo
// file). Returns false on failure.
inline bool writeTable(const QString& path, const QList<Field>& fields, int count,
    const std::function<Row(int)>& rowAt, const QString& memoPath = {})
{
    MemoryFile table, memo;
    if (!table.get() || !memo.get())
        return false;
    pxdoc_t* doc = PX_new2(ignoreErrors, nullptr, nullptr, nullptr);
    auto* defs = static_cast<pxfield_t*>(doc->malloc(doc, sizeof(pxfield_t) * fields.size(), "fields"));
    for (qsizetype i = 0; i < fields.size(); ++i)
        defs[i] = { PX_strdup(doc, fields[i].name), fields[i].type, fields[i].length, 0 };
    if (PX_create_fp(doc, defs, int(fields.size()), table.get(), pxfFileTypIndexDB) < 0)
        return false;
    PX_set_tablename(doc, QFile::encodeName(QFileInfo(path).fileName()).constData());
    PX_set_parameter(doc, "codepage", "1252");
    if (!memoPath.isEmpty() && PX_set_blob_fp(doc, memo.get()) < 0)
        return false;
    std::vector<char> record(size_t(PX_get_recordsize(doc)));
    bool ok = true;
    for (int r = 0; r < count && ok; ++r) {
        const Row row = rowAt(r);
        std::fill(record.begin(), record.end(), '\0');
        int offset = 0;
        for (qsizetype i = 0; i < fields.size(); ++i) {
            char* at = record.data() + offset;
            const Value& v = row[i];
            if (v.blank)
                ; // zero bytes
            else if (fields[i].type == pxfLong)
                PX_put_data_long(doc, at, 4, v.number);
            else if (fields[i].type == pxfMemoBLOb && !v.bytes.isEmpty())
                PX_put_data_blob(
                    doc, at, fields[i].length, const_cast<char*>(v.bytes.constData()), int(v.bytes.size()));
            else if (fields[i].type == pxfAlpha)
                PX_put_data_alpha(doc, at, fields[i].length, const_cast<char*>(v.bytes.constData()));
            offset += fields[i].length;
        }
        ok = PX_put_record(doc, record.data()) >= 0;
    }
    // The memo file is ours to close; when it may not close it, the library
    // frees neither the stream it made for it nor the memo header.
    pxblob_t* blob = doc->px_blob;
    pxstream_t* memoStream = blob ? blob->mb_stream : nullptr;
    mbhead_t* memoHead = blob ? blob->mb_head : nullptr;
    if (memoStream)
        memoStream->close = 0;
    PX_close(doc);
    if (memoStream)
        doc->free(doc, memoStream);
    if (memoHead)
        doc->free(doc, memoHead);
    PX_delete(doc);
    return ok && table.saveAs(path) && (memoPath.isEmpty() || memo.saveAs(memoPath));
}

// Writes path (and, with memoPath, its memo file). Returns false on failure.
inline bool writeTable(
    const QString& path, const QList<Field>& fields, const QList<Row>& rows, const QString& memoPath = {})
{
    return writeTable(
        path, fields, int(rows.size()), [&](int r) { return rows[r]; }, memoPath);
}

inline bool writeDescrip(const QString& folder, const QList<Row>& rows, bool withMemoFile = true)
{
    const QString memo = QDir(folder).filePath(QStringLiteral("DESCRIP.MB"));
    if (!writeTable(QDir(folder).filePath(QStringLiteral("DESCRIP.DB")), kDescripFields, rows, memo))
        return false;
    return withMemoFile || QFile::remove(memo);
}

inline bool writePix(const QString& folder, const QList<Row>& rows)
{
    return writeTable(QDir(folder).filePath(QStringLiteral("PIX.DB")), kPixFields, rows);
}

} // namespace legacyfix
