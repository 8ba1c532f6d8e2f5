// What one damaged or unusual JPEG costs: decodes the file given for the
// 500 x 360 box (--box) or at full resolution for zooming (--full), and
// prints what the user would see and the process's peak memory. Run it
// under /usr/bin/time -v for the kernel's view of the same peak.
//
//   bench_damaged --make FOLDER        writes the sample set
//   bench_damaged --box|--full FILE    decodes one file

#include "bench_support.h"

#include "imaging/damaged_jpegs.h"
#include "imaging/pictures.h"
#include "platform/errors.h"

#include <QDir>
#include <QElapsedTimer>

namespace {

bool save(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

int makeSamples(const QString& folder)
{
    using namespace samples;
    QDir().mkpath(folder);
    const QImage sheet = grainy({ 2400, 1800 }, QColor(200, 60, 40));
    const QByteArray baseline = encode(sheet);
    const QByteArray separate = encode(sheet, { Layout::SeparateScans, false, 1, 1 });
    const QByteArray progressive = encode(sheet, { Layout::Progressive, false, 1, 1 });
    const QImage large = grainy({ 10000, 10000 }, QColor(200, 60, 40));
    const QByteArray largeProgressive = encode(large, { Layout::Progressive, false, 1, 1, 75 });
    // Cut to about 300 KB, then claiming 20000 x 20000.
    const QByteArray cut = withSize(progressive.left(300 * 1024), 20000, 20000);
    const QList<std::pair<const char*, QByteArray>> files = {
        { "baseline.jpg", baseline },
        { "multiscan-baseline.jpg", separate },
        { "progressive-444.jpg", progressive },
        { "truncated-multiscan-20000.jpg", cut },
        { "multiscan-claims-10000.jpg", withSize(separate, 10000, 10000) },
        { "ff01-progressive-claims-10000.jpg",
            inserted(withSize(progressive, 10000, 10000), 2, QByteArray::fromHex("FF01")) },
        { "markers-only.jpg", markersOnly() },
        { "zero-size.jpg", withSize(baseline, 0, 0) },
        { "12-bit.jpg", asProcess(baseline, 0xC1, 12) },
        { "lossless.jpg", asProcess(baseline, 0xC3, 8) },
        { "cmyk-420.jpg", encode(sheet, { Layout::Baseline, true, 2, 2 }) },
        { "cmyk-440.jpg", encode(sheet, { Layout::Baseline, true, 1, 2 }) },
        { "truncated-baseline.jpg", baseline.left(baseline.size() * 6 / 10) },
        { "truncated-progressive.jpg", progressive.left(progressive.size() * 6 / 10) },
        { "stray-bytes.jpg", inserted(baseline, markerAt(baseline, 0xDA), QByteArray::fromHex("0012")) },
        { "large-progressive-444.jpg", largeProgressive },
        { "large-progressive-truncated.jpg", largeProgressive.left(largeProgressive.size() / 2) },
        // A copy that stopped after 2.5 MB: within the header's bound of
        // blocks against bytes, short of its last scans.
        { "large-progressive-cut-2.5mb.jpg", largeProgressive.left(2560 * 1024) },
    };
    for (const auto& [name, bytes] : files) {
        if (!save(folder + QLatin1Char('/') + QLatin1String(name), bytes))
            return 1;
        std::printf("%s: %lld bytes\n", name, static_cast<long long>(bytes.size()));
    }
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: bench_damaged --make FOLDER | --box FILE | --full FILE\n");
        return 2;
    }
    if (args.at(1) == QLatin1String("--make"))
        return makeSamples(args.at(2));
    const QString file = args.at(2);
    const QString name = QFileInfo(file).fileName();
    QElapsedTimer clock;
    clock.start();
    QString shown;
    try {
        if (args.at(1) == QLatin1String("--box")) {
            QString warning;
            const QImage image = platform::decodePicture(name, file, { 500, 360 }, &warning);
            shown = QStringLiteral("shown %1 x %2%3")
                        .arg(image.width())
                        .arg(image.height())
                        .arg(warning.isEmpty() ? QString() : QStringLiteral(", warned"));
        } else {
            const platform::PictureLevels levels = platform::decodeLevels(name, file, { 500, 360 });
            const QSize whole = levels.levels.constFirst().size();
            shown = QStringLiteral("shown %1 x %2%3")
                        .arg(whole.width())
                        .arg(whole.height())
                        .arg(levels.warning.isEmpty() ? QString() : QStringLiteral(", warned"));
        }
    } catch (const platform::AppError& e) {
        shown = QStringLiteral("refused: ") + e.message();
    }
    std::printf("result: %s\n", qPrintable(shown));
    std::printf("time_ms: %lld\n", static_cast<long long>(clock.elapsed()));
    std::printf("peak_rss_mb: %.1f\n", bench::peakRssMb());
    return 0;
}
