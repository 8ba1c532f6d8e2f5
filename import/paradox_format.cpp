// The original program's table files read without the library: code
// pages, stored numbers, and the header check.
#include "import/paradox_format.h"

#include <QByteArray>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <iconv.h>
#include <limits>

// pxlib's header declares C functions without saying so; only its
// constants for file and field types are used here.
extern "C" {
#include <paradox.h>
}

namespace corvane::legacy {

namespace {

// ------------------------------------------------------------ text

// Windows-1252: Latin-1 except 0x80-0x9F. The five bytes the code page
// leaves undefined map to the C1 controls, as Windows itself converts them.
const char16_t kCp1252High[32] = { 0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6,
    0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178 };

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

} // namespace

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

} // namespace corvane::legacy
