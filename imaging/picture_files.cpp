#include "imaging/picture_files.h"

#include "imaging/metafile_answer.h"

#include "platform/errors.h"
#include "platform/paths.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QSvgRenderer>
#include <QXmlStreamReader>
#include <QtEndian>

#include <sys/resource.h>

namespace platform {

namespace {

enum class Kind { None, Jpeg, Bitmap, Metafile, EnhancedMetafile };

Kind kindOf(const QString& type)
{
    if (type == QLatin1String(".JPG") || type == QLatin1String(".JPEG"))
        return Kind::Jpeg;
    if (type == QLatin1String(".BMP"))
        return Kind::Bitmap;
    if (type == QLatin1String(".WMF"))
        return Kind::Metafile;
    if (type == QLatin1String(".EMF"))
        return Kind::EnhancedMetafile;
    return Kind::None;
}

// Qt refuses to allocate more than 256 MB for one picture; a bitmap that
// needs more is refused here first, with a message that says why.
constexpr qint64 kMaxBitmapBytes = qint64(256) << 20;
// Metafiles are drawings: tens of kilobytes, a few megabytes with pictures
// inside. The helper gets this much time and memory for one, and its
// drawing may take this many bytes.
constexpr qint64 kMaxMetafileBytes = qint64(64) << 20;
constexpr int kRendererTimeoutMs = 10'000;
constexpr rlim_t kRendererMemory = rlim_t(1) << 30;
constexpr rlim_t kRendererCpuSeconds = 10;
constexpr qint64 kMaxDrawingBytes = qint64(64) << 20;

[[noreturn]] void cannotOpen(const QString& windowsPath, const QString& reason)
{
    throw AppError(QStringLiteral("Cannot open file \"%1\". %2").arg(windowsPath, reason));
}

[[noreturn]] void damagedFile(const QString& windowsPath, const QString& detail)
{
    refusePicture(windowsPath, QStringLiteral("the file is damaged (%1).").arg(detail));
}

[[noreturn]] void tooLarge(const QString& windowsPath, QSize size)
{
    refusePicture(windowsPath,
        QStringLiteral("its size of %1 x %2 pixels is too large to show.")
            .arg(size.width())
            .arg(size.height()));
}

QString hostOf(const QString& windowsPath)
{
    const auto host = resolve(windowsPath);
    if (!host)
        cannotOpen(windowsPath, QStringLiteral("The drive does not exist."));
    return *host;
}

// The first bytes of a file, for its header; throws when it cannot be read
// or is empty. *fileSize receives the whole file's length.
QByteArray readHead(const QString& windowsPath, const QString& hostPath, qint64 bytes, qint64* fileSize)
{
    QFile file(hostPath);
    if (!file.open(QIODevice::ReadOnly))
        cannotOpen(windowsPath, file.errorString());
    *fileSize = file.size();
    if (*fileSize == 0)
        refusePicture(windowsPath, QStringLiteral("the file is empty."));
    return file.read(bytes);
}

// --- JPEG -----------------------------------------------------------------

// The EXIF orientation, read from the header alone.
QImageIOHandler::Transformations orientationOf(const QString& hostPath)
{
    QImageReader reader(hostPath, "jpeg");
    return reader.canRead() ? reader.transformation() : QImageIOHandler::TransformationNone;
}

// Turns the picture as the camera meant it: mirror and flip first, then a
// quarter turn clockwise (the order the orientation flags are defined in).
QImage oriented(const QImage& image, QImageIOHandler::Transformations t)
{
    if (t == QImageIOHandler::TransformationNone)
        return image;
    QImage turned = image.mirrored(
        t.testFlag(QImageIOHandler::TransformationMirror), t.testFlag(QImageIOHandler::TransformationFlip));
    if (t.testFlag(QImageIOHandler::TransformationRotate90))
        turned = turned.transformed(QTransform().rotate(90));
    return turned;
}

QImage loadJpeg(const QString& windowsPath, const QString& hostPath, QSize box, bool* damaged)
{
    const auto orientation = orientationOf(hostPath);
    const bool turns = orientation.testFlag(QImageIOHandler::TransformationRotate90);
    QString warning;
    const QImage image = decodePicture(windowsPath, hostPath, turns ? box.transposed() : box, &warning);
    *damaged = !warning.isEmpty();
    return oriented(image, orientation);
}

QSize jpegSize(const QString& hostPath)
{
    QImageReader reader(hostPath, "jpeg");
    const QSize size = reader.size();
    return reader.transformation().testFlag(QImageIOHandler::TransformationRotate90) ? size.transposed()
                                                                                     : size;
}

// --- Bitmaps --------------------------------------------------------------

struct BitmapHeader {
    QSize size;
    qint64 dataBytes = -1; // what the pixels take uncompressed; -1 when compressed
    quint32 dataOffset = 0;
};

quint32 u32(const QByteArray& b, int at)
{
    return qFromLittleEndian<quint32>(b.constData() + at);
}
quint16 u16(const QByteArray& b, int at)
{
    return qFromLittleEndian<quint16>(b.constData() + at);
}

// Valid bitmaps of kinds Qt does not read, named for the user; empty for
// the kinds it reads.
QString unusualBitmapKind(quint32 infoSize, int bits, quint32 compression)
{
    const bool os2v2 = infoSize == 16 || infoSize == 64;
    if (os2v2 && compression == 3)
        return QStringLiteral("a BMP compressed by Huffman coding");
    if (os2v2 && compression == 4)
        return QStringLiteral("a BMP compressed by 24-bit run lengths");
    if (compression == 4)
        return QStringLiteral("a BMP with a JPEG picture inside");
    if (compression == 5)
        return QStringLiteral("a BMP with a PNG picture inside");
    if (bits == 2)
        return QStringLiteral("a BMP of 2 bits a pixel");
    if (infoSize == 52 || infoSize == 56)
        return QStringLiteral("a BMP with a version 3 header and colour masks");
    if (infoSize == 64 || infoSize == 16)
        return QStringLiteral("an OS/2 2.x BMP");
    return {};
}

// Checks the headers before anything is decoded, so that a file claiming a
// picture larger than memory is refused without trying.
BitmapHeader readBitmapHeader(const QString& windowsPath, const QString& hostPath, qint64* fileSize)
{
    const QByteArray head = readHead(windowsPath, hostPath, 14 + 40, fileSize);
    if (head.size() < 2 || !head.startsWith("BM"))
        refusePicture(windowsPath, QStringLiteral("it is not a BMP picture."));
    if (head.size() < 14 + 12)
        damagedFile(windowsPath, QStringLiteral("it ends before its picture does"));
    const quint32 infoSize = u32(head, 14);
    BitmapHeader header;
    header.dataOffset = u32(head, 10);
    qint64 width = 0;
    qint64 height = 0;
    int bits = 0;
    quint32 compression = 0;
    if (infoSize == 12) { // OS/2 1.x: signed, as the decoder reads them
        width = qint16(u16(head, 18));
        height = std::abs(qint64(qint16(u16(head, 20)))); // negative: rows top-down
        bits = u16(head, 24);
    } else if (infoSize == 16 && head.size() >= 14 + 16) { // OS/2 2.x, shortest form
        width = u32(head, 18);
        height = u32(head, 22);
        bits = u16(head, 28);
    } else if (infoSize >= 40 && infoSize <= 124 && head.size() >= 14 + 40) {
        width = qint32(u32(head, 18));
        height = std::abs(qint64(qint32(u32(head, 22)))); // negative: rows top-down
        bits = u16(head, 28);
        compression = u32(head, 30);
    } else {
        damagedFile(windowsPath, QStringLiteral("its header is not one of a bitmap"));
    }
    if (width <= 0 || height <= 0)
        refusePicture(windowsPath, QStringLiteral("the file holds no picture."));
    header.size = QSize(int(std::min<qint64>(width, INT_MAX)), int(std::min<qint64>(height, INT_MAX)));
    // Divided, not multiplied: two sizes of 32 bits each times four bytes
    // overflow even 64 bits, and a crafted header must not wrap into a small one.
    if (width > kMaxBitmapBytes / 4 / height)
        tooLarge(windowsPath, header.size);
    const QString kind = unusualBitmapKind(infoSize, bits, compression);
    if (!kind.isEmpty())
        refusePicture(
            windowsPath, QStringLiteral("it is %1, a kind of BMP this program cannot show.").arg(kind));
    // Uncompressed rows are padded to whole 32-bit words.
    const bool packed = compression == 0 || compression == 3 || compression == 6;
    if (packed && (bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32))
        header.dataBytes = (width * bits + 31) / 32 * 4 * height;
    return header;
}

QImage loadBitmap(const QString& windowsPath, const QString& hostPath, QSize box, bool* damaged)
{
    qint64 fileSize = 0;
    const BitmapHeader header = readBitmapHeader(windowsPath, hostPath, &fileSize);
    *damaged = header.dataBytes >= 0 && header.dataOffset + header.dataBytes > fileSize;
    QImageReader reader(hostPath, "bmp");
    QImage image;
    if (!reader.read(&image) || image.isNull()) {
        if (*damaged)
            damagedFile(windowsPath, QStringLiteral("it ends before its picture does"));
        damagedFile(windowsPath, reader.errorString());
    }
    const QSize target = fitInto(image.size(), box);
    if (target != image.size())
        image = image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return image;
}

// --- Metafiles ------------------------------------------------------------

// Whether the file starts as a Windows metafile (placeable or plain) or an
// enhanced metafile; the helper is never run on anything else.
void checkMetafileHeader(const QString& windowsPath, const QString& hostPath, Kind kind)
{
    qint64 fileSize = 0;
    const QByteArray head = readHead(windowsPath, hostPath, 88, &fileSize);
    if (fileSize > kMaxMetafileBytes)
        refusePicture(windowsPath, QStringLiteral("the file is too large to be a drawing."));
    if (kind == Kind::Metafile) {
        const bool placeable = head.size() >= 22 && u32(head, 0) == 0x9AC6CDD7u;
        const bool plain = head.size() >= 18 && (u16(head, 0) == 1 || u16(head, 0) == 2) && u16(head, 2) == 9;
        if (!placeable && !plain)
            refusePicture(windowsPath, QStringLiteral("it is not a Windows metafile."));
    } else {
        const bool enhanced = head.size() >= 88 && u32(head, 0) == 1 && u32(head, 40) == 0x464D4520u;
        if (!enhanced)
            refusePicture(windowsPath, QStringLiteral("it is not an enhanced metafile."));
    }
}

void limitRenderer()
{
    // Runs in the child between fork and exec: only system calls here.
    const rlimit memory { kRendererMemory, kRendererMemory };
    setrlimit(RLIMIT_AS, &memory);
    const rlimit cpu { kRendererCpuSeconds, kRendererCpuSeconds };
    setrlimit(RLIMIT_CPU, &cpu);
}

// What the helper writes for the file: a Windows metafile drawn to fit box
// (a PPM picture), its natural size ("WIDTH HEIGHT") when box is empty, an
// enhanced metafile as SVG. Throws with the reason when the helper fails,
// runs too long or draws too much.
QByteArray runRenderer(const QString& windowsPath, const QString& hostPath, Kind kind, QSize box = {})
{
    checkMetafileHeader(windowsPath, hostPath, kind);
    QStringList arguments { QStringLiteral("emf"), hostPath };
    if (kind == Kind::Metafile && box.isEmpty())
        arguments = { QStringLiteral("wmf-size"), hostPath };
    else if (kind == Kind::Metafile)
        arguments = { QStringLiteral("wmf"), hostPath, QString::number(std::min(box.width(), 16384)),
            QString::number(std::min(box.height(), 16384)) };
    QProcess helper;
    helper.setChildProcessModifier(limitRenderer);
    helper.start(metafileRendererProgram(), arguments);
    if (!helper.waitForStarted())
        throw AppError(
            QStringLiteral("The picture \"%1\" cannot be shown: the metafile renderer cannot be started "
                           "(%2).")
                .arg(windowsPath, helper.errorString()));
    QByteArray svg;
    QElapsedTimer clock;
    clock.start();
    while (helper.state() != QProcess::NotRunning) {
        const qint64 left = kRendererTimeoutMs - clock.elapsed();
        if (left <= 0 || svg.size() > kMaxDrawingBytes) {
            helper.kill();
            helper.waitForFinished(2000);
            damagedFile(windowsPath, QStringLiteral("drawing it does not come to an end"));
        }
        if (!helper.waitForReadyRead(int(left)))
            helper.waitForFinished(int(std::min<qint64>(left, 50)));
        svg += helper.readAllStandardOutput();
    }
    svg += helper.readAllStandardOutput();
    if (helper.exitStatus() == QProcess::NormalExit && helper.exitCode() == 0)
        return svg;
    // The helper's own reason when it gave one; a crash says nothing useful.
    const QString why
        = QString::fromLocal8Bit(helper.readAllStandardError()).section(QLatin1Char('\n'), 0, 0);
    const bool ownReason
        = helper.exitStatus() == QProcess::NormalExit && helper.exitCode() == 1 && !why.isEmpty();
    damagedFile(windowsPath, ownReason ? why : QStringLiteral("the metafile library failed on it"));
}

// Whether an enhanced metafile's drawing is degenerate: no shape and no text,
// or all of it at one point (some programs write their drawing in records
// the converter cannot place, leaving only text piled in one corner), or a
// drawing of a single pixel.
bool isDegenerate(const QByteArray& svg, QSize natural)
{
    if (natural.width() <= 1 || natural.height() <= 1)
        return true;
    static const QStringList shapes { QStringLiteral("path"), QStringLiteral("rect"),
        QStringLiteral("ellipse"), QStringLiteral("circle"), QStringLiteral("polygon"),
        QStringLiteral("polyline"), QStringLiteral("line"), QStringLiteral("image") };
    static const QRegularExpression number(QStringLiteral("-?[0-9]*\\.?[0-9]+(?:[eE][-+]?[0-9]+)?"));
    double left = 0, right = 0, top = 0, bottom = 0;
    bool any = false;
    const auto cover = [&](double x, double y) {
        left = any ? std::min(left, x) : x;
        right = any ? std::max(right, x) : x;
        top = any ? std::min(top, y) : y;
        bottom = any ? std::max(bottom, y) : y;
        any = true;
    };
    QXmlStreamReader reader(svg);
    int hidden = 0; // inside <defs> or <clipPath>: not drawn
    while (!reader.atEnd()) {
        const auto token = reader.readNext();
        const QStringView name = reader.name();
        const bool container = name == QLatin1String("defs") || name == QLatin1String("clipPath");
        if (token == QXmlStreamReader::EndElement && container)
            --hidden;
        if (token != QXmlStreamReader::StartElement)
            continue;
        if (container) {
            ++hidden;
            continue;
        }
        if (hidden > 0)
            continue;
        const QXmlStreamAttributes a = reader.attributes();
        const auto value = [&a](const char* key) { return a.value(QLatin1String(key)).toDouble(); };
        if (name == QLatin1String("text")) {
            cover(value("x"), value("y"));
        } else if (name == QLatin1String("rect") || name == QLatin1String("image")) {
            cover(value("x"), value("y"));
            cover(value("x") + value("width"), value("y") + value("height"));
        } else if (name == QLatin1String("ellipse") || name == QLatin1String("circle")) {
            const double rx = name == QLatin1String("circle") ? value("r") : value("rx");
            const double ry = name == QLatin1String("circle") ? value("r") : value("ry");
            cover(value("cx") - rx, value("cy") - ry);
            cover(value("cx") + rx, value("cy") + ry);
        } else if (name == QLatin1String("line")) {
            cover(value("x1"), value("y1"));
            cover(value("x2"), value("y2"));
        } else if (shapes.contains(name.toString())) {
            const QString list
                = a.value(QLatin1String(name == QLatin1String("path") ? "d" : "points")).toString();
            QList<double> values;
            for (auto it = number.globalMatch(list); it.hasNext();)
                values << it.next().captured().toDouble();
            for (qsizetype i = 0; i + 1 < values.size(); i += 2)
                cover(values[i], values[i + 1]);
        }
    }
    return !any || (right - left < 1 && bottom - top < 1);
}

// A drawing that shows nothing at all: every pixel the white of the paper
// (a drawing of one colour all over is still a drawing).
bool isBlank(const QImage& image)
{
    const QRgb paper = qRgb(255, 255, 255);
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (line[x] != paper)
                return false;
    }
    return true;
}

[[noreturn]] void nothingToDraw(const QString& windowsPath)
{
    refusePicture(windowsPath, QStringLiteral("its drawing cannot be shown: nothing in it can be drawn."));
}

QImage drawWindowsMetafile(const QString& windowsPath, const QByteArray& ppm)
{
    const QImage image = QImage::fromData(ppm, "PPM").convertToFormat(QImage::Format_RGB32);
    if (image.isNull())
        damagedFile(windowsPath, QStringLiteral("the metafile library failed on it"));
    if (isBlank(image))
        nothingToDraw(windowsPath);
    return image;
}

QImage drawEnhancedMetafile(const QString& windowsPath, const QByteArray& svg, QSize box)
{
    QSvgRenderer drawing(svg);
    const QSize natural = drawing.defaultSize();
    if (!drawing.isValid())
        refusePicture(windowsPath, QStringLiteral("the metafile library cannot convert its drawing."));
    if (natural.isEmpty() || isDegenerate(svg, natural))
        nothingToDraw(windowsPath);
    const QSize target = fitInto(natural, box);
    // Metafiles draw on white paper; their background is left unpainted.
    QImage image(target, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        tooLarge(windowsPath, natural);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    drawing.render(&painter, QRectF(QPointF(0, 0), QSizeF(target)));
    painter.end();
    if (isBlank(image))
        nothingToDraw(windowsPath);
    return image.convertToFormat(QImage::Format_RGB32);
}

// --- All kinds ------------------------------------------------------------

QImage decodeAttached(const QString& windowsPath, const QString& hostPath, QSize box, bool* damaged)
{
    *damaged = false;
    switch (kindOf(attachableType(windowsPath))) {
    case Kind::Jpeg:
        return loadJpeg(windowsPath, hostPath, box, damaged);
    case Kind::Bitmap:
        return loadBitmap(windowsPath, hostPath, box, damaged);
    case Kind::Metafile:
        return drawWindowsMetafile(windowsPath, runRenderer(windowsPath, hostPath, Kind::Metafile, box));
    case Kind::EnhancedMetafile:
        return drawEnhancedMetafile(
            windowsPath, runRenderer(windowsPath, hostPath, Kind::EnhancedMetafile), box);
    case Kind::None:
        break;
    }
    refusePicture(windowsPath, QStringLiteral("it is not a kind of picture this program shows."));
}

} // namespace

bool isPlainPictureName(const QString& fileName)
{
    // Anchored at the very end: "$" would also let a name end in a newline.
    static const QRegularExpression plain(
        QRegularExpression::anchoredPattern(QStringLiteral("[0-9]{6}\\.(bmp|jpg|jpeg|wmf|emf)")),
        QRegularExpression::CaseInsensitiveOption);
    return plain.match(fileName).hasMatch();
}

QString attachableType(const QString& fileName)
{
    const QString last = fileName.right(4);
    const QString upper = last.toUpper();
    for (const char* type : { ".BMP", ".JPG", ".WMF", ".EMF" }) {
        if (upper == QLatin1String(type))
            return upper;
    }
    if (last == QLatin1String("jpeg") || last == QLatin1String("JPEG"))
        return QStringLiteral(".JPEG");
    return {};
}

QImage loadPictureFile(const QString& windowsPath, QSize box, QString* warning)
{
    if (warning)
        warning->clear();
    bool damaged = false;
    QImage image = decodeAttached(windowsPath, hostOf(windowsPath), box, &damaged);
    if (warning && damaged)
        *warning = damagedPictureWarning(windowsPath);
    return image;
}

QByteArray pictureDrawing(const QString& windowsPath)
{
    if (kindOf(attachableType(windowsPath)) != Kind::EnhancedMetafile)
        return {};
    const QByteArray svg = runRenderer(windowsPath, hostOf(windowsPath), Kind::EnhancedMetafile);
    const QSvgRenderer drawing(svg);
    if (!drawing.isValid())
        refusePicture(windowsPath, QStringLiteral("the metafile library cannot convert its drawing."));
    if (drawing.defaultSize().isEmpty() || isDegenerate(svg, drawing.defaultSize()))
        nothingToDraw(windowsPath);
    return svg;
}

QSize pictureFileSize(const QString& windowsPath)
{
    try {
        const QString host = hostOf(windowsPath);
        switch (const Kind kind = kindOf(attachableType(windowsPath))) {
        case Kind::Jpeg:
            return jpegSize(host);
        case Kind::Bitmap: {
            qint64 fileSize = 0;
            return readBitmapHeader(windowsPath, host, &fileSize).size;
        }
        case Kind::Metafile:
        case Kind::EnhancedMetafile:
            return sizeFromHelper(
                kind == Kind::Metafile ? HelperAnswer::WindowsSize : HelperAnswer::EnhancedSvg,
                runRenderer(windowsPath, host, kind));
        case Kind::None:
            break;
        }
    } catch (const std::exception&) {
        // Unreadable: no size.
    }
    return {};
}

QImage pictureFromHelper(const QString& windowsPath, HelperAnswer kind, const QByteArray& answer, QSize box)
{
    if (kind == HelperAnswer::WindowsPpm)
        return drawWindowsMetafile(windowsPath, answer);
    return drawEnhancedMetafile(windowsPath, answer, box);
}

QSize sizeFromHelper(HelperAnswer kind, const QByteArray& answer)
{
    if (kind == HelperAnswer::EnhancedSvg)
        return QSvgRenderer(answer).defaultSize();
    const QList<QByteArray> size = answer.trimmed().split(' ');
    return size.size() == 2 ? QSize(size[0].toInt(), size[1].toInt()) : QSize();
}

AttachedPictureStore::AttachedPictureStore(qsizetype maxBytes)
    : PictureStore(maxBytes, decodeAttached)
{
}

QString metafileRendererProgram()
{
    const QString beside
        = QCoreApplication::applicationDirPath() + QStringLiteral("/corvane3-metafile-renderer");
    if (QFileInfo(beside).isExecutable())
        return beside;
    return QStringLiteral(CORVANE_METAFILE_RENDERER_FALLBACK);
}

} // namespace platform
