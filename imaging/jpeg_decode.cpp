// JPEG decoding through libjpeg's own API: the memory ceiling, the header
// checked against the file's bytes before anything is allocated, decoding
// scaled for a box, the whole picture and its halved levels for zooming.
#include "imaging/pictures.h"

#include "imaging/decoding_internal.h"

#include "platform/errors.h"
#include "platform/paths.h"

#include <QFile>
#include <QImageReader>
#include <QSysInfo>

#include <algorithm>
#include <atomic>
#include <csetjmp>
#include <cstdio>
#include <memory>
#include <optional>

#include <unistd.h>

// jpeglib.h needs FILE and size_t declared before it.
#include <jerror.h>
#include <jpeglib.h>

namespace platform {

using namespace decoding;

namespace {

// Far beyond any scanned sheet, well below what would exhaust memory or
// keep the user waiting: 20000 x 20000 pixels, a 64 MB picture for a box,
// a 512 MB file.
constexpr qint64 kMaxPixels = 400'000'000;
constexpr qint64 kMaxDecodedBytes = qint64(64) << 20;
constexpr qint64 kMaxFileBytes = qint64(512) << 20;
// The whole picture for zooming, 3 bytes a pixel: a 7000 x 5000 scan takes
// 105 MB; beyond about 56 megapixels the largest scale that fits is used.
constexpr qint64 kMaxWholeBytes = qint64(160) << 20;
// What one decode may take at most, whatever the machine.
constexpr qint64 kMaxCeiling = qint64(1536) << 20;
// A header may claim only as many 8 x 8 blocks as the file's bytes could
// hold, plus an allowance that lets small damaged pictures be shown as far
// as they go. Every block costs at least two bits in a complete file (a DC
// difference and an end of block). A file of several scans is decoded
// through a buffer of every block's coefficients (128 bytes a block), so
// there the bound is four bits a block: real scans take 2 to 5 bytes, and
// below that such a file is a blank page or a header that lies.
constexpr qint64 kFreeBlocks = (qint64(32) << 20) / 128;
constexpr qint64 kBlocksPerByte = 4;
constexpr qint64 kBufferedBlocksPerByte = 2;
// libjpeg-turbo's own guard against files made of endless tiny scans.
constexpr int kMaxScans = 500;

std::atomic<qint64> g_ceilingForTests { 0 };

qint64 memoryCeiling()
{
    if (const qint64 set = g_ceilingForTests.load())
        return set;
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageSize <= 0)
        return kMaxCeiling / 4;
    return std::min(qint64(pages) * pageSize / 4, kMaxCeiling);
}

// libjpeg's error manager: an error jumps back to attempt(); a warning
// about the data marks the picture as damaged and decoding goes on.
struct ErrorManager {
    jpeg_error_mgr pub {};
    std::jmp_buf jump {};
    int code = 0;
    bool tooManyScans = false;
    bool gaveWay = false;
    bool damagedData = false;
    int firstDamage = 0; // libjpeg's code for the first damage it met
    char damageText[JMSG_LENGTH_MAX] = {};
    char text[JMSG_LENGTH_MAX] = {};
};

void onError(j_common_ptr cinfo)
{
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    err->code = err->pub.msg_code;
    err->pub.format_message(cinfo, err->text);
    std::longjmp(err->jump, 1);
}

void onMessage(j_common_ptr cinfo, int level)
{
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    if (level < 0 && isDamageWarning(err->pub.msg_code)) {
        if (!err->damagedData) {
            err->firstDamage = err->pub.msg_code;
            err->pub.format_message(cinfo, err->damageText);
        }
        err->damagedData = true;
    }
}

void onProgress(j_common_ptr cinfo)
{
    yieldToForeground();
    auto* dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    if (mustGiveWay()) {
        err->gaveWay = true;
        onError(cinfo);
    }
    if (dinfo->input_scan_number > kMaxScans) {
        err->tooManyScans = true;
        onError(cinfo);
    }
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// libjpeg's own file source reads 4 KB at a time, and libjpeg-turbo takes
// its fast Huffman path only while a few KB of the file stand in the buffer:
// with 4 KB most of a photo went the slow way. This source reads 64 KB at a
// time and otherwise does what libjpeg's does, the end of the file included.
struct FileSource {
    static constexpr size_t kBytes = 64 * 1024;
    jpeg_source_mgr pub {}; // first, so that libjpeg's pointer is ours
    std::FILE* stream = nullptr;
    bool startOfFile = true;
    JOCTET buffer[kBytes];

    static FileSource* of(j_decompress_ptr cinfo) { return reinterpret_cast<FileSource*>(cinfo->src); }
    static void start(j_decompress_ptr cinfo) { of(cinfo)->startOfFile = true; }
    static boolean fill(j_decompress_ptr cinfo)
    {
        FileSource* src = of(cinfo);
        size_t read = std::fread(src->buffer, 1, kBytes, src->stream);
        if (read == 0) {
            if (src->startOfFile)
                ERREXIT(cinfo, JERR_INPUT_EMPTY);
            WARNMS(cinfo, JWRN_JPEG_EOF);
            src->buffer[0] = 0xFF; // a fake end of picture, as libjpeg's own source gives
            src->buffer[1] = JPEG_EOI;
            read = 2;
        }
        src->pub.next_input_byte = src->buffer;
        src->pub.bytes_in_buffer = read;
        src->startOfFile = false;
        return TRUE;
    }
    static void skip(j_decompress_ptr cinfo, long count)
    {
        FileSource* src = of(cinfo);
        if (count <= 0)
            return;
        while (size_t(count) > src->pub.bytes_in_buffer) {
            count -= long(src->pub.bytes_in_buffer);
            fill(cinfo);
        }
        src->pub.next_input_byte += count;
        src->pub.bytes_in_buffer -= size_t(count);
    }
    static void finish(j_decompress_ptr) { }

    explicit FileSource(std::FILE* file)
        : stream(file)
    {
        pub.init_source = start;
        pub.fill_input_buffer = fill;
        pub.skip_input_data = skip;
        pub.resync_to_restart = jpeg_resync_to_restart;
        pub.term_source = finish;
    }
};

// A JPEG file read as libjpeg asks for it, a buffer at a time: a decode
// never holds the whole file beside its own buffers (a 12000-wide
// progressive scan's file is some 40 MB), and a decode for later pauses or
// gives way at its next step instead of after reading it all.
class JpegFile {
public:
    JpegFile(const QString& windowsPath, const QString& hostPath)
        : m_file(hostPath)
    {
        if (!m_file.open(QIODevice::ReadOnly))
            throw AppError(
                QStringLiteral("Cannot open file \"%1\". %2").arg(windowsPath, m_file.errorString()));
        m_size = m_file.size();
        if (m_size > kMaxFileBytes)
            cannotShow(windowsPath, QStringLiteral("the file is too large to be a picture."));
        if (m_size == 0)
            cannotShow(windowsPath, QStringLiteral("the file is empty."));
        // Its own descriptor: mapping the file for its end moves nothing.
        m_stream.reset(std::fopen(QFile::encodeName(hostPath).constData(), "rb"));
        if (!m_stream)
            throw AppError(QStringLiteral("Cannot open file \"%1\".").arg(windowsPath));
        m_source = std::make_unique<FileSource>(m_stream.get());
    }
    jpeg_source_mgr* source() const { return &m_source->pub; }
    qint64 size() const { return m_size; }
    // Only the pages from the last scan on are read, for a moment.
    bool endsBeforeLastScan()
    {
        if (const uchar* data = m_file.map(0, m_size)) {
            const bool cut = decoding::endsBeforeLastScan(data, m_size);
            m_file.unmap(const_cast<uchar*>(data));
            return cut;
        }
        const QByteArray all = m_file.readAll(); // a file system that cannot map
        return decoding::endsBeforeLastScan(reinterpret_cast<const uchar*>(all.constData()), all.size());
    }
    // libjpeg takes a failed read for the end of the file: say which it was.
    void checkRead(const QString& windowsPath) const
    {
        if (std::ferror(m_stream.get()))
            throw AppError(QStringLiteral("Read error on \"%1\".").arg(windowsPath));
    }

private:
    QFile m_file;
    std::unique_ptr<std::FILE, FileCloser> m_stream;
    std::unique_ptr<FileSource> m_source;
    qint64 m_size = 0;
};

// One decompression, of a file's bytes in memory or of the file itself.
// Every libjpeg call runs inside attempt(), which returns false when libjpeg
// gave up; nothing with a destructor lives in the steps it runs, as the
// jump skips them.
struct Jpeg {
    jpeg_decompress_struct cinfo {};
    ErrorManager err;
    jpeg_progress_mgr progress {};
    const QByteArray* bytes = nullptr;
    JpegFile* file = nullptr;
    // Taken for a heavy decode; given back only after the destructor has
    // freed libjpeg's buffers.
    std::optional<HeavyDecodeTurn> turn;
    bool multiScan = false;
    bool cutShort = false; // several scans, the last one incomplete

    explicit Jpeg(const QByteArray& data)
        : Jpeg()
    {
        bytes = &data;
    }
    explicit Jpeg(JpegFile& source)
        : Jpeg()
    {
        file = &source;
    }
    ~Jpeg() { jpeg_destroy_decompress(&cinfo); } // harmless when never created
    Jpeg(const Jpeg&) = delete;
    Jpeg& operator=(const Jpeg&) = delete;

    qint64 size() const { return file ? file->size() : bytes->size(); }
    template <typename Step> bool attempt(Step&& step)
    {
        if (setjmp(err.jump))
            return false;
        step();
        return true;
    }

private:
    Jpeg()
    {
        cinfo.err = jpeg_std_error(&err.pub);
        err.pub.error_exit = onError;
        err.pub.emit_message = onMessage;
        progress.progress_monitor = onProgress;
    }
};

[[noreturn]] void tooLarge(const QString& windowsPath, const jpeg_decompress_struct& c)
{
    cannotShow(windowsPath,
        QStringLiteral("its size of %1 x %2 pixels is too large to show.")
            .arg(c.image_width)
            .arg(c.image_height));
}

// What libjpeg found wrong with the data, in the user's words: the end of
// the file only where libjpeg met it.
QString damageDetail(const ErrorManager& err)
{
    if (err.firstDamage == JWRN_JPEG_EOF)
        return QStringLiteral("it ends before its picture does");
    return QStringLiteral("its picture data is damaged: %1").arg(QString::fromLocal8Bit(err.damageText));
}

// Why libjpeg gave up, in the user's words.
[[noreturn]] void refuse(const QString& windowsPath, const Jpeg& j)
{
    if (j.err.gaveWay)
        throw GaveWay();
    switch (j.err.code) {
    case JERR_NO_SOI:
        cannotShow(windowsPath, QStringLiteral("it is not a JPEG picture."));
    case JERR_IMAGE_TOO_BIG: // the header's size is read before the library's own limit refuses it
        tooLarge(windowsPath, j.cinfo);
    case JERR_BAD_PRECISION:
        cannotShow(windowsPath,
            QStringLiteral("it is a %1-bit JPEG, a kind of JPEG this program cannot show.")
                .arg(j.cinfo.data_precision));
    case JERR_SOF_UNSUPPORTED:
    case JERR_ARITH_NOTIMPL:
    case JERR_NOT_COMPILED:
        cannotShow(windowsPath,
            QStringLiteral(
                "it is a lossless or hierarchical JPEG, a kind of JPEG this program cannot show."));
    case JERR_OUT_OF_MEMORY:
    case JERR_NO_BACKING_STORE:
        cannotShow(windowsPath, QStringLiteral("there is not enough memory to show it."));
    default:
        break;
    }
    if (j.err.tooManyScans)
        damaged(windowsPath, QStringLiteral("it has more than %1 scans").arg(kMaxScans));
    if (j.err.damagedData)
        damaged(windowsPath, damageDetail(j.err));
    if (j.err.code == JERR_NO_IMAGE || j.err.code == JERR_EMPTY_IMAGE)
        cannotShow(windowsPath, QStringLiteral("the file holds no picture."));
    damaged(windowsPath, QString::fromLocal8Bit(j.err.text));
}

qint64 blockCount(const jpeg_decompress_struct& c)
{
    qint64 blocks = 0;
    for (int i = 0; i < c.num_components; ++i)
        blocks += qint64(c.comp_info[i].width_in_blocks) * c.comp_info[i].height_in_blocks;
    return blocks;
}

// The coefficient buffer libjpeg keeps for a file of more than one scan,
// whose blocks are padded to whole groups of the component's sampling.
qint64 coefficientBytes(const jpeg_decompress_struct& c)
{
    if (!c.buffered_image && !jpeg_has_multiple_scans(const_cast<j_decompress_ptr>(&c)))
        return 0;
    qint64 bytes = 0;
    for (int i = 0; i < c.num_components; ++i) {
        const jpeg_component_info& comp = c.comp_info[i];
        const auto up = [](qint64 n, qint64 m) { return (n + m - 1) / m * m; };
        bytes += up(comp.width_in_blocks, comp.h_samp_factor) * up(comp.height_in_blocks, comp.v_samp_factor)
            * qint64(sizeof(JBLOCK));
    }
    return bytes;
}

void readHeader(Jpeg& j, const QString& windowsPath)
{
    const bool read = j.attempt([&] {
        jpeg_create_decompress(&j.cinfo);
        j.cinfo.progress = &j.progress;
        j.cinfo.mem->max_memory_to_use = long(memoryCeiling());
        if (j.file)
            j.cinfo.src = j.file->source();
        else
            jpeg_mem_src(&j.cinfo, reinterpret_cast<const unsigned char*>(j.bytes->constData()),
                static_cast<unsigned long>(j.bytes->size()));
        jpeg_read_header(&j.cinfo, TRUE);
    });
    if (j.file)
        j.file->checkRead(windowsPath);
    if (!read)
        refuse(windowsPath, j);
    const jpeg_decompress_struct& c = j.cinfo;
    j.multiScan = jpeg_has_multiple_scans(&j.cinfo);
    if (j.multiScan)
        j.cutShort = j.file
            ? j.file->endsBeforeLastScan()
            : endsBeforeLastScan(reinterpret_cast<const uchar*>(j.bytes->constData()), j.bytes->size());
    checkHeaderAgainstFile(windowsPath, c.image_width, c.image_height, blockCount(c), j.multiScan, j.size());
}

bool isCmyk(const jpeg_decompress_struct& c)
{
    return c.jpeg_color_space == JCS_CMYK || c.jpeg_color_space == JCS_YCCK;
}

// Scales the output by n/8 and checks that this decode stays within the
// memory set aside for one, the coefficient buffer included.
void startDecoding(Jpeg& j, const QString& windowsPath, int eighths, int bytesPerPixel)
{
    jpeg_decompress_struct& c = j.cinfo;
    c.scale_num = unsigned(eighths);
    c.scale_denom = 8;
    if (isCmyk(c))
        c.out_color_space = JCS_CMYK;
    else if (bytesPerPixel == 3)
        c.out_color_space = JCS_EXT_RGB;
    else
        c.out_color_space = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? JCS_EXT_BGRA : JCS_EXT_ARGB;
    if (!j.attempt([&] { jpeg_calc_output_dimensions(&c); }))
        refuse(windowsPath, j);
    const qint64 output = qint64(c.output_width) * c.output_height * bytesPerPixel;
    if (j.cutShort && coefficientBytes(c) + output > std::min(memoryCeiling(), kDamagedFileBytes))
        damaged(windowsPath,
            QStringLiteral("it ends before its last scan, and what it holds of %1 x %2 pixels would take "
                           "%3 MB to show")
                .arg(c.image_width)
                .arg(c.image_height)
                .arg((coefficientBytes(c) + output) >> 20));
    if (coefficientBytes(c) + output > memoryCeiling())
        tooLarge(windowsPath, c);
    // The user's heavy decode waits until a decode for later has freed its
    // buffers (which it does at its next step); those hold their own turn.
    if (!isBackgroundThread() && coefficientBytes(c) + output >= heavyDecodeBytes())
        j.turn.emplace(HeavyDecodeTurn::UserDecode);
    if (!j.attempt([&] { jpeg_start_decompress(&c); }))
        refuse(windowsPath, j);
}

// Adobe's CMYK files store the inks inverted, which is what nearly every
// CMYK JPEG in the wild is; plain CMYK is taken as written.
void cmykRowToImage(const uchar* cmyk, uchar* out, int width, bool inverted, bool packed)
{
    for (int x = 0; x < width; ++x, cmyk += 4) {
        int ink[4];
        for (int i = 0; i < 4; ++i)
            ink[i] = inverted ? cmyk[i] : 255 - cmyk[i];
        const uchar r = uchar(ink[0] * ink[3] / 255);
        const uchar g = uchar(ink[1] * ink[3] / 255);
        const uchar b = uchar(ink[2] * ink[3] / 255);
        if (packed) {
            *out++ = r;
            *out++ = g;
            *out++ = b;
        } else {
            reinterpret_cast<QRgb*>(out)[x] = qRgb(r, g, b);
        }
    }
}

// Reads every row into an image of `format`; a file cut short leaves the
// rows libjpeg could not fill grey, and says so.
Decoded readRows(Jpeg& j, const QString& windowsPath, QImage::Format format)
{
    jpeg_decompress_struct& c = j.cinfo;
    Decoded result;
    result.image = QImage(int(c.output_width), int(c.output_height), format);
    if (result.image.isNull())
        cannotShow(windowsPath, QStringLiteral("there is not enough memory to show it."));
    const bool cmyk = c.out_color_space == JCS_CMYK;
    QByteArray cmykRow(cmyk ? qsizetype(c.output_width) * 4 : 0, Qt::Uninitialized);
    const bool inverted = c.saw_Adobe_marker;
    const bool packed = format == QImage::Format_RGB888;
    QImage& image = result.image;
    const bool read = j.attempt([&] {
        while (c.output_scanline < c.output_height) {
            const int y = int(c.output_scanline);
            JSAMPROW row = cmyk ? reinterpret_cast<JSAMPROW>(cmykRow.data()) : image.scanLine(y);
            if (jpeg_read_scanlines(&c, &row, 1) != 1)
                break;
            if (cmyk)
                cmykRowToImage(row, image.scanLine(y), int(c.output_width), inverted, packed);
        }
        jpeg_finish_decompress(&c);
    });
    if (j.err.gaveWay)
        throw GaveWay();
    if (j.file)
        j.file->checkRead(windowsPath);
    // An error once every row is in (trailing rubbish) spoils nothing shown.
    if (!read && c.output_scanline < c.output_height)
        refuse(windowsPath, j);
    result.damaged = j.err.damagedData || !read;
    return result;
}

// The strongest reduction by eighths whose picture still covers target. The
// picture shrinks by exactly n/8 while libjpeg rounds its size up, so the
// test is on the exact size: a picture of 7 pixels is never decoded at 7/8,
// which would squeeze it into 6.1 pixels of a 7-pixel image.
int eighthsFor(QSize native, QSize target)
{
    for (int n = 1; n < 8; ++n) {
        const auto covers = [n](int length, int wanted) { return qint64(length) * n >= qint64(wanted) * 8; };
        if (covers(native.width(), target.width()) && covers(native.height(), target.height()))
            return n;
    }
    return 8;
}

// The largest scale by eighths at which the picture takes no more than
// maxBytes; 0 when none does.
int largestWithin(QSize native, qint64 maxBytes, int bytesPerPixel)
{
    for (int n = 8; n >= 1; --n) {
        const auto scaled = [n](int length) { return (qint64(length) * n + 7) / 8; };
        if (scaled(native.width()) * scaled(native.height()) * bytesPerPixel <= maxBytes)
            return n;
    }
    return 0;
}

// The whole picture, 3 bytes a pixel (a third less than RGB32 for the one
// picture that dominates memory).
Decoded decodeWhole(const QString& windowsPath, const QString& hostPath, QSize* native)
{
    JpegFile file(windowsPath, hostPath);
    Jpeg j(file);
    readHeader(j, windowsPath);
    *native = QSize(int(j.cinfo.image_width), int(j.cinfo.image_height));
    const int eighths = largestWithin(*native, kMaxWholeBytes, 3);
    if (eighths == 0)
        tooLarge(windowsPath, j.cinfo);
    startDecoding(j, windowsPath, eighths, 3);
    return readRows(j, windowsPath, QImage::Format_RGB888);
}

// Each pixel the mean of a 2 x 2 block of the source: a box filter, which
// keeps the fine lines of an engraving from shimmering when drawn small.
// The source is RGB888 or RGB32, read byte by byte.
QImage halve(const QImage& source)
{
    const bool packed = source.format() == QImage::Format_RGB888;
    const int step = packed ? 3 : 4;
    const bool little = QSysInfo::ByteOrder == QSysInfo::LittleEndian;
    const int red = packed ? 0 : (little ? 2 : 1);
    const int green = packed ? 1 : (little ? 1 : 2);
    const int blue = packed ? 2 : (little ? 0 : 3);
    QImage out(source.width() / 2, source.height() / 2, QImage::Format_RGB32);
    for (int y = 0; y < out.height(); ++y) {
        const uchar* a = source.constScanLine(2 * y);
        const uchar* b = source.constScanLine(2 * y + 1);
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x, a += 2 * step, b += 2 * step) {
            const auto mean = [&](int c) { return (a[c] + a[c + step] + b[c] + b[c + step] + 2) >> 2; };
            line[x] = qRgb(mean(red), mean(green), mean(blue));
        }
    }
    return out;
}

Decoded decodeForBox(Jpeg& j, const QString& windowsPath, QSize box)
{
    readHeader(j, windowsPath);
    const QSize native(int(j.cinfo.image_width), int(j.cinfo.image_height));
    const QSize target = fitInto(native, box);
    const int eighths = eighthsFor(native, target);
    const qint64 side = 8;
    if ((qint64(native.width()) * eighths + side - 1) / side
            * ((qint64(native.height()) * eighths + side - 1) / side) * 4
        > kMaxDecodedBytes)
        tooLarge(windowsPath, j.cinfo);
    startDecoding(j, windowsPath, eighths, 4);
    Decoded result = readRows(j, windowsPath, QImage::Format_RGB32);
    if (result.image.size() != target)
        result.image = result.image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return result;
}

} // namespace

namespace decoding {

bool isDamageWarning(int code)
{
    switch (code) {
    case JWRN_BOGUS_PROGRESSION:
    case JWRN_EXTRANEOUS_DATA:
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_JPEG_EOF:
    case JWRN_MUST_RESYNC:
    case JWRN_NOT_SEQUENTIAL:
        return true;
    default:
        return false; // an odd JFIF version or ICC marker spoils nothing shown
    }
}

bool endsBeforeLastScan(const uchar* data, qint64 size)
{
    qint64 lastScan = -1;
    for (qint64 i = size - 2; i >= 0; --i) {
        if (data[i] == 0xFF && data[i + 1] == 0xDA) {
            lastScan = i;
            break;
        }
    }
    if (lastScan < 0)
        return false;
    for (qint64 i = lastScan + 2; i + 1 < size; ++i) {
        if (data[i] == 0xFF && data[i + 1] == 0xD9)
            return false;
    }
    return true;
}

void checkHeaderAgainstFile(
    const QString& windowsPath, qint64 width, qint64 height, qint64 blocks, bool multiScan, qint64 fileBytes)
{
    if (width * height > kMaxPixels)
        cannotShow(windowsPath,
            QStringLiteral("its size of %1 x %2 pixels is too large to show.").arg(width).arg(height));
    const qint64 perByte = multiScan ? kBufferedBlocksPerByte : kBlocksPerByte;
    if (blocks > kFreeBlocks + perByte * fileBytes)
        damaged(windowsPath,
            QStringLiteral("its header claims %1 x %2 pixels, far more than its %3 bytes can hold")
                .arg(width)
                .arg(height)
                .arg(fileBytes));
}

Decoded decodeJpeg(const QString& windowsPath, const QByteArray& bytes, QSize box)
{
    Jpeg j(bytes);
    return decodeForBox(j, windowsPath, box);
}

Decoded decodeJpegFile(const QString& windowsPath, const QString& hostPath, QSize box)
{
    JpegFile file(windowsPath, hostPath);
    Jpeg j(file);
    return decodeForBox(j, windowsPath, box);
}

} // namespace decoding

qint64 decodeBytesEstimate(const QString& hostPath)
{
    const std::unique_ptr<std::FILE, FileCloser> file(
        std::fopen(QFile::encodeName(hostPath).constData(), "rb"));
    if (!file)
        return 0;
    const QByteArray unused;
    Jpeg j(unused);
    qint64 coefficients = 0;
    j.attempt([&] {
        jpeg_create_decompress(&j.cinfo);
        jpeg_stdio_src(&j.cinfo, file.get()); // only the header is read
        jpeg_read_header(&j.cinfo, TRUE);
        coefficients = coefficientBytes(j.cinfo);
    });
    return coefficients;
}

QSize fitInto(QSize size, QSize box)
{
    if (size.width() <= box.width() && size.height() <= box.height())
        return size;
    return size.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

void refusePicture(const QString& windowsPath, const QString& reason)
{
    cannotShow(windowsPath, reason);
}

QString damagedPictureWarning(const QString& windowsPath)
{
    return damagedWarning(windowsPath);
}

QImage decodePicture(const QString& windowsPath, const QString& hostPath, QSize box, QString* warning)
{
    Decoded decoded = decodeJpegFile(windowsPath, hostPath, box);
    if (warning)
        *warning = decoded.damaged ? damagedWarning(windowsPath) : QString();
    return decoded.image;
}

void setPictureMemoryCeiling(qint64 bytes)
{
    g_ceilingForTests = bytes;
}

qint64 PictureLevels::bytes() const
{
    qint64 sum = 0;
    for (const QImage& level : levels)
        sum += level.sizeInBytes();
    return sum;
}

QSize pictureSize(const QString& windowsPath)
{
    const auto host = resolve(windowsPath);
    return host ? QImageReader(*host, "jpeg").size() : QSize();
}

PictureLevels decodeLevels(
    const QString& windowsPath, const QString& hostPath, QSize smallest, const std::function<bool()>& wanted)
{
    PictureLevels result;
    Decoded whole = decodeWhole(windowsPath, hostPath, &result.native);
    if (whole.damaged)
        result.warning = damagedWarning(windowsPath);
    result.levels << whole.image;
    // Levels below the copy decoded for the box would add nothing.
    const QSize floor = result.native.scaled(smallest, Qt::KeepAspectRatio);
    while ((!wanted || wanted()) && result.levels.constLast().width() / 2 > floor.width()) {
        QImage next = halve(result.levels.constLast());
        if (next.isNull())
            break; // what is there already serves
        result.levels << next;
    }
    return result;
}

} // namespace platform
