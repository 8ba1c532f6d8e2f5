#pragma once
// Writes tables as the original Windows program kept them, with pxlib's own
// writer: DESCRIP.DB with its memo file, PIX.DB, in Windows-1252 text.

extern "C" {
#include <paradox.h>
}

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>
#include <QString>

#include <vector>

namespace legacyfix {

struct Field {
    const char* name;
    char type;
    int length;
};

// One value a field: an integer for pxfLong, bytes for alpha and memo.
struct Value {
    int number = 0;
    QByteArray bytes;
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
};
using Row = QList<Value>;

inline const QList<Field> kDescripFields = { { "Placeid", pxfLong, 4 }, { "Place", pxfAlpha, 40 },
    { "Page", pxfAlpha, 15 }, { "Coords", pxfAlpha, 15 }, { "Memo", pxfMemoBLOb, 100 } };
inline const QList<Field> kPixFields = { { "Filename", pxfAlpha, 6 }, { "Placeid", pxfLong, 4 },
    { "Caption", pxfAlpha, 120 }, { "Type", pxfAlpha, 5 } };

inline void ignoreErrors(pxdoc_t*, int, const char*, void*) { }

// Writes path (and, with memoPath, its memo file). Returns false on failure.
inline bool writeTable(
    const QString& path, const QList<Field>& fields, const QList<Row>& rows, const QString& memoPath = {})
{
    pxdoc_t* doc = PX_new2(ignoreErrors, nullptr, nullptr, nullptr);
    auto* defs = static_cast<pxfield_t*>(doc->malloc(doc, sizeof(pxfield_t) * fields.size(), "fields"));
    for (qsizetype i = 0; i < fields.size(); ++i)
        defs[i] = { PX_strdup(doc, fields[i].name), fields[i].type, fields[i].length, 0 };
    if (PX_create_file(doc, defs, int(fields.size()), QFile::encodeName(path).constData(), pxfFileTypIndexDB)
        < 0)
        return false;
    PX_set_parameter(doc, "codepage", "1252");
    if (!memoPath.isEmpty() && PX_set_blob_file(doc, QFile::encodeName(memoPath).constData()) < 0)
        return false;
    std::vector<char> record(size_t(PX_get_recordsize(doc)));
    for (const Row& row : rows) {
        std::fill(record.begin(), record.end(), '\0');
        int offset = 0;
        for (qsizetype i = 0; i < fields.size(); ++i) {
            char* at = record.data() + offset;
            const Value& v = row[i];
            if (fields[i].type == pxfLong)
                PX_put_data_long(doc, at, 4, v.number);
            else if (fields[i].type == pxfMemoBLOb && !v.bytes.isEmpty())
                PX_put_data_blob(
                    doc, at, fields[i].length, const_cast<char*>(v.bytes.constData()), int(v.bytes.size()));
            else if (fields[i].type == pxfAlpha)
                PX_put_data_alpha(doc, at, fields[i].length, const_cast<char*>(v.bytes.constData()));
            offset += fields[i].length;
        }
        if (PX_put_record(doc, record.data()) < 0)
            return false;
    }
    PX_close(doc);
    PX_delete(doc);
    return true;
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
