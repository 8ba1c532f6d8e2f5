#pragma once
// What the benchmarks share: medians, the process's own peak memory, the
// demo atlas generator's benchmark sheets and a scan-like stand-in for them.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QProcess>
#include <QRandomGenerator>

#include "imaging/pictures.h"

#include <QElapsedTimer>

#include <turbojpeg.h>

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace bench {

// One figure as the bench scripts read it: "name: value".
inline void print(const QString& name, double value)
{
    std::printf("%s: %.2f\n", qPrintable(name), value);
    std::fflush(stdout);
}

// Processor time of the calling thread, in milliseconds.
inline double cpuMs()
{
    timespec t {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// How long a step takes, in milliseconds.
template <typename F> double timed(F&& step)
{
    QElapsedTimer clock;
    clock.start();
    step();
    return double(clock.nsecsElapsed()) / 1e6;
}

// The floor for showing a JPEG in a box: TurboJPEG alone reads the file and
// decodes it at the strongest reduction that still covers the box.
inline double turboFloorMs(const QString& file, QSize box)
{
    QElapsedTimer clock;
    clock.start();
    QFile in(file);
    in.open(QIODevice::ReadOnly);
    const QByteArray bytes = in.readAll();
    tjhandle tj = tjInitDecompress();
    int w = 0, h = 0, subsampling = 0, colorspace = 0;
    const auto* data = reinterpret_cast<const uchar*>(bytes.constData());
    tjDecompressHeader3(tj, data, bytes.size(), &w, &h, &subsampling, &colorspace);
    const QSize target = platform::fitInto({ w, h }, box);
    int count = 0;
    const tjscalingfactor* factors = tjGetScalingFactors(&count);
    tjscalingfactor best { 1, 1 };
    for (int i = 0; i < count; ++i) {
        const tjscalingfactor f = factors[i];
        if (f.num <= f.denom && f.num * best.denom < best.num * f.denom && TJSCALED(w, f) >= target.width()
            && TJSCALED(h, f) >= target.height())
            best = f;
    }
    QImage out(TJSCALED(w, best), TJSCALED(h, best), QImage::Format_RGB32);
    tjDecompress2(
        tj, data, bytes.size(), out.bits(), out.width(), int(out.bytesPerLine()), out.height(), TJPF_BGRA, 0);
    tjDestroy(tj);
    return double(clock.nsecsElapsed()) / 1e6;
}

inline double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values[values.size() / 2];
}

// The process's own peak (VmHWM): getrusage() would report the parent's
// peak too, which a forked child inherits.
inline double peakRssMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("VmHWM:"))
                return line.mid(6).trimmed().split(' ').constFirst().toDouble() / 1024.0;
        }
    }
    return 0;
}

// Runs `atlasgen --bench-sheets folder` when the generator is built; true
// when it wrote BENCH-7000.JPG, BENCH-7000P.JPG and BENCH-3500.JPG.
inline bool atlasgenBenchSheets(const QString& folder)
{
    const QString here = QCoreApplication::applicationDirPath();
    const QStringList tools { here + QStringLiteral("/../tools/atlasgen/atlasgen"),
        here + QStringLiteral("/../bin/atlasgen") };
    for (const QString& tool : tools) {
        if (!QFileInfo(tool).isExecutable())
            continue;
        QProcess atlasgen;
        atlasgen.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        atlasgen.start(tool, { QStringLiteral("--bench-sheets"), folder });
        if (atlasgen.waitForFinished(600000) && atlasgen.exitCode() == 0
            && QFileInfo::exists(folder + QStringLiteral("/BENCH-7000P.JPG")))
            return true;
    }
    return false;
}

// A scan-like sheet: paper grain, a dense net of lines and lettering, so the
// decoder has as much to do as with a real engraved plate.
inline QImage busySheet(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<quint32*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const int grain = int(random.bounded(24u)) - 12;
            line[x] = qRgb(232 + grain / 2, 220 + grain, 190 + grain);
        }
    }
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const double scale = size.width() / 1000.0;
    for (int i = 0; i < 2500; ++i) {
        p.setPen(QPen(QColor(40, 30, 20, 200), scale * (0.3 + random.bounded(1.5))));
        QPointF at(random.bounded(size.width()), random.bounded(size.height()));
        QPainterPath path(at);
        for (int k = 0; k < 12; ++k)
            path.lineTo(at += QPointF(random.bounded(60.0) - 30, random.bounded(60.0) - 30) * scale);
        p.drawPath(path);
    }
    QFont font(QStringLiteral("DejaVu Serif"));
    for (int i = 0; i < 1500; ++i) {
        font.setPixelSize(int(scale * (4 + random.bounded(10))));
        p.setFont(font);
        p.drawText(
            QPointF(random.bounded(size.width()), random.bounded(size.height())), QStringLiteral("Hastings"));
    }
    return image;
}

// Runs this program again with `arguments`, in a process of its own so
// that its peak memory is its alone; its "name: value" lines by name.
inline QHash<QString, double> childFigures(const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QCoreApplication::applicationFilePath(), arguments);
    process.waitForFinished(-1);
    QHash<QString, double> values;
    for (const QByteArray& line : process.readAllStandardOutput().split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            values.insert(QString::fromUtf8(line.left(colon)), line.mid(colon + 1).trimmed().toDouble());
    }
    return values;
}

} // namespace bench
