// Metafiles gathered from elsewhere: every .wmf and .emf file of a folder
// (searched through its subfolders) loaded as an attached picture into the
// descriptions window's 313 x 255 box and a 1024 x 768 box, each classed as
// drawn, refused (with the message) or blank (nearly every pixel the white
// of the paper; a drawing of one other colour all over is still drawn). Usage: bench_metafiles FOLDER
// [PNG_FOLDER]; with PNG_FOLDER the large drawings are saved there for looking at.
//   one "file:" line per file and box, then for each kind and box
//   <kind>_<box>_drawn / _refused / _blank, and <kind>_<box>_ms_mean /
//   _ms_median / _ms_max, the time of one load.
// Only loadPictureFile() is used, so the same source builds against older
// trees of the program.

#include "imaging/picture_files.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QHash>

#include <algorithm>
#include <cstdio>
#include <exception>

using namespace Qt::StringLiterals;

namespace {

// A drawing this close to white paper all over shows the user nothing.
constexpr double kBlankShare = 0.999;

struct Tally {
    int drawn = 0, refused = 0, blank = 0;
    QList<double> ms;
};

// The share of the colour most pixels have, and that colour.
double dominantShare(const QImage& image, QRgb* colour = nullptr)
{
    const QImage rgb = image.convertToFormat(QImage::Format_ARGB32);
    QHash<QRgb, qint64> counts;
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x)
            ++counts[line[x]];
    }
    qint64 most = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.value() > most) {
            most = it.value();
            if (colour)
                *colour = it.key();
        }
    const qint64 all = qint64(rgb.width()) * rgb.height();
    return all ? double(most) / double(all) : 1.0;
}

QString oneLine(QString text)
{
    return text.replace(u'\n', u' ');
}

void measure(const QString& path, const QString& name, QSize box, Tally& tally, const QString& pngFolder)
{
    const QString label = u"%1x%2"_s.arg(box.width()).arg(box.height());
    QElapsedTimer clock;
    clock.start();
    QString outcome;
    try {
        QString warning;
        const QImage image = platform::loadPictureFile(path, box, &warning);
        const double ms = double(clock.nsecsElapsed()) / 1e6;
        tally.ms << ms;
        QRgb colour = 0;
        const double share = dominantShare(image, &colour);
        const bool blank = share >= kBlankShare && qGray(colour) >= 250;
        ++(blank ? tally.blank : tally.drawn);
        outcome = u"%1 %2x%3 one_colour=%4% ms=%5%6"_s.arg(blank ? u"blank"_s : u"drawn"_s)
                      .arg(image.width())
                      .arg(image.height())
                      .arg(share * 100, 0, 'f', 2)
                      .arg(ms, 0, 'f', 1)
                      .arg(warning.isEmpty() ? QString() : u" warning=\""_s + oneLine(warning) + u'"');
        if (!pngFolder.isEmpty() && box.width() > 900)
            image.save(QDir(pngFolder).filePath(QString(name).replace(u'/', u'_') + u".png"_s));
    } catch (const std::exception& error) {
        const double ms = double(clock.nsecsElapsed()) / 1e6;
        tally.ms << ms;
        ++tally.refused;
        outcome = u"refused ms=%1 \"%2\""_s.arg(ms, 0, 'f', 1).arg(oneLine(QString::fromUtf8(error.what())));
    }
    std::printf("file: %s %s %s\n", qPrintable(name), qPrintable(label), qPrintable(outcome));
    std::fflush(stdout);
}

void printTally(const char* kind, const char* box, Tally tally)
{
    std::sort(tally.ms.begin(), tally.ms.end());
    double sum = 0;
    for (const double ms : std::as_const(tally.ms))
        sum += ms;
    const qsizetype n = tally.ms.size();
    std::printf("%s_%s_files: %lld\n", kind, box, static_cast<long long>(n));
    std::printf("%s_%s_drawn: %d\n", kind, box, tally.drawn);
    std::printf("%s_%s_refused: %d\n", kind, box, tally.refused);
    std::printf("%s_%s_blank: %d\n", kind, box, tally.blank);
    std::printf("%s_%s_ms_mean: %.1f\n", kind, box, n ? sum / double(n) : 0.0);
    std::printf("%s_%s_ms_median: %.1f\n", kind, box, n ? tally.ms[n / 2] : 0.0);
    std::printf("%s_%s_ms_max: %.1f\n", kind, box, n ? tally.ms.last() : 0.0);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: bench_metafiles FOLDER [PNG_FOLDER]\n");
        return 2;
    }
    const QDir root(args[1]);
    const QString pngFolder = args.size() > 2 ? args[2] : QString();
    if (!pngFolder.isEmpty())
        QDir().mkpath(pngFolder);

    QStringList files;
    QDirIterator walk(root.path(), { u"*.wmf"_s, u"*.emf"_s, u"*.WMF"_s, u"*.EMF"_s }, QDir::Files,
        QDirIterator::Subdirectories);
    while (walk.hasNext())
        files << root.relativeFilePath(walk.next());
    files.sort();

    const QSize boxes[] = { { 313, 255 }, { 1024, 768 } };
    Tally tallies[2][2]; // [enhanced][box]
    for (const QString& name : std::as_const(files)) {
        const bool enhanced = name.endsWith(u".emf"_s, Qt::CaseInsensitive);
        for (int b = 0; b < 2; ++b)
            measure(root.filePath(name), name, boxes[b], tallies[enhanced][b], pngFolder);
    }
    printTally("wmf", "313x255", tallies[0][0]);
    printTally("wmf", "1024x768", tallies[0][1]);
    printTally("emf", "313x255", tallies[1][0]);
    printTally("emf", "1024x768", tallies[1][1]);
    return 0;
}
