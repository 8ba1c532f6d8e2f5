// The notebook as one document, checked by what the documents hold: the
// PDF's text (names and descriptions in order, accents intact, the contents'
// page numbers right), its images (how many, at what resolution) and fonts;
// the ODF's paragraphs; the web pages' links; a stopped report; places whose
// sheet or picture is missing.

#include "imaging/damaged_jpegs.h"
#include "kit/atlas_fixture.h"
#include "kit/picture_samples.h"
#include "kit/user_tables.h"

#include "app/main_form.h"
#include "app/views.h"
#include "geo/coordinates.h"
#include "output/report.h"
#include "output/report_dialog.h"

#include <QCheckBox>
#include <QDirIterator>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStandardPaths>

using namespace corvane;
using namespace Qt::StringLiterals;

namespace {

const QString kSheet = u"GB-03H"_s;

const QList<fixture::Place> kPlaces {
    { 0, u"Château-Gaillard"_s, u"Fortress above the Seine.\nBuilt in one year, 1196–1198."_s, kSheet,
        u"1500,1000"_s },
    { 1, u"Bois-l'Évêque & <Sons>"_s, u"Forêt domaniale.\n\nŒuvres d'art: « rien »."_s },
    { 2, u"Ynys Môn"_s, u"Anglesey, ‘Mam Cymru’."_s, kSheet, u"40,30"_s },
};

// Text a program prints, or empty when it cannot run.
QString run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return {};
    return QString::fromUtf8(process.readAllStandardOutput());
}

QString pdfText(const QString& pdf, int first = 1, int last = 0, bool layout = false)
{
    QStringList arguments { u"-enc"_s, u"UTF-8"_s, u"-f"_s, QString::number(first) };
    if (layout)
        arguments << u"-layout"_s;
    if (last > 0)
        arguments << u"-l"_s << QString::number(last);
    return run(u"pdftotext"_s, arguments << pdf << u"-"_s).simplified();
}

// pdfimages -list: one row per image, its type, size and resolution.
struct PdfImage {
    int width;
    int ppi;
};
QList<PdfImage> pdfImages(const QString& pdf)
{
    QList<PdfImage> images;
    const QStringList lines = run(u"pdfimages"_s, { u"-list"_s, pdf }).split(u'\n');
    for (const QString& line : lines.mid(2)) {
        const QStringList f = line.simplified().split(u' ');
        if (f.size() >= 14 && f[2] == u"image"_s)
            images << PdfImage { f[3].toInt(), f[12].toInt() };
    }
    return images;
}

struct Setup {
    Kit kit;
    fixture::Atlas atlas { kit };

    explicit Setup(const QList<fixture::Place>& places = kPlaces)
    {
        // A scan-like sheet with detail at every scale.
        fixture::writeBytes(atlas.sheetFile(kSheet), fixture::encodeJpeg(fixture::patterned({ 3000, 2200 })));
        atlas.writeSheet(u"LOC-S"_s, { 200, 144 }, Qt::gray);
        atlas.setRows({ { kSheet, {}, {}, {}, {}, u"England: Süd"_s, u"12"_s, 433, 683 } }, {});
        fixture::writeUserTables(places);
    }
    QString pixFile(const QString& name) const
    {
        return kit.hostPath(u"C:\\Program Files\\Quillmere\\Corvane3\\Pix\\"_s + name);
    }
    // A phone-sized photo attached to a place.
    void addPictures(const QList<std::tuple<QString, int, QString>>& pictures)
    {
        platform::Database db(u"Corvane3"_s, u"Atlas"_s);
        db.connectDatabase();
        platform::Table pix(&db, pixTableDef());
        pix.open();
        for (const auto& [file, placeId, caption] : pictures) {
            pix.append();
            pix.setFieldValue(u"Filename"_s, file.left(6));
            pix.setFieldValue(u"Placeid"_s, placeId);
            pix.setFieldValue(u"Type"_s, file.mid(6));
            pix.setFieldValue(u"Caption"_s, caption);
            pix.post();
        }
    }
    void writePhoto(const QString& name)
    {
        QVERIFY(
            fixture::writeBytes(pixFile(name), fixture::encodeJpeg(fixture::patterned({ 4000, 3000 }, 7))));
    }

    // "Report..." beside "Save..." where the print button composes the
    // current place's description.
    TfrmReport* openDialog()
    {
        if (!atlas.open())
            return nullptr;
        MainForm->showToolButtons();
        showNotesWindow();
        vCurrentView = u"Notes"_s;
        kit.click(u"spdPrint"_s);
        kit.click(u"btnRTFReport"_s);
        return kit.find<TfrmReport>(u"frmReport"_s);
    }

    // Makes the report through the dialog and waits for it; the saved path.
    QString make(TfrmReport* dialog, const char* format, const QString& target)
    {
        Kit::child<QRadioButton>(dialog, QLatin1String(format))->click();
        kit.setSaveFileChoice(target);
        Kit::child<QPushButton>(dialog, u"btnMake"_s)->click();
        if (!QTest::qWaitFor([&] { return !dialog->running(); }, 120000))
            return {};
        return dialog->savedPath();
    }
};

} // namespace

class TestReport : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        for (const char* tool : { "pdftotext", "pdfimages", "pdffonts", "unzip" })
            QVERIFY2(!QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty(),
                qPrintable(u"%1 is missing: install scripts/test-packages.txt"_s.arg(QLatin1String(tool))));
    }

    void thePaperFollowsTheCountry_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<bool>("letter");
        QTest::newRow("United States") << u"en_US"_s << true;
        QTest::newRow("French Canada") << u"fr_CA"_s << true;
        QTest::newRow("Britain") << u"en_GB"_s << false;
        QTest::newRow("Ireland, in Irish") << u"ga_IE"_s << false;
        QTest::newRow("Germany") << u"de_DE"_s << false;
    }
    void thePaperFollowsTheCountry()
    {
        QFETCH(QString, locale);
        QFETCH(bool, letter);
        QCOMPARE(defaultPaper(QLocale(locale)), letter ? QPageSize::Letter : QPageSize::A4);
    }

    // Every name and description in list order, accents and markup-like
    // characters as typed; the contents send the reader to the right page;
    // every font is embedded; the desktop is asked to open the file.
    void thePdfHoldsEveryPlaceInOrder()
    {
        Setup s;
        TfrmReport* dialog = s.openDialog();
        QVERIFY2(dialog, "no Report... in the descriptions window's menu");
        const QString pdf = s.make(dialog, "rdoPdf", s.kit.home() + u"/notebook"_s);
        QCOMPARE(pdf, s.kit.home() + u"/notebook.pdf"_s);
        QVERIFY(QFileInfo(pdf).size() > 0);
        QVERIFY(!QFileInfo::exists(pdf + u".part"_s));

        const QString title = pdfText(pdf, 1, 1);
        QVERIFY2(title.contains(u"3 places"_s), qPrintable(title));
        // Title, one page of contents, then each place from a page of its own.
        const QString contents = pdfText(pdf, 2, 2, true);
        for (int i = 0; i < kPlaces.size(); ++i) {
            const int page = 3 + i;
            QVERIFY2(contents.contains(kPlaces[i].name + u' ' + QString::number(page)), qPrintable(contents));
            QVERIFY2(
                pdfText(pdf, page, page).startsWith(kPlaces[i].name), qPrintable(pdfText(pdf, page, page)));
        }
        const QString body = pdfText(pdf, 3);
        qsizetype at = 0;
        for (const fixture::Place& place : kPlaces) {
            for (const QString& piece :
                QStringList { place.name } + place.memo.split(u'\n', Qt::SkipEmptyParts)) {
                const qsizetype found = body.indexOf(piece, at);
                QVERIFY2(found >= at, qPrintable(u"\"%1\" not in order in: %2"_s.arg(piece, body)));
                at = found + piece.size();
            }
        }
        const QStringList fonts = run(u"pdffonts"_s, { pdf }).split(u'\n', Qt::SkipEmptyParts).mid(2);
        QVERIFY(!fonts.isEmpty());
        for (const QString& font : fonts)
            QVERIFY2(font.contains(u" yes "_s), qPrintable(font)); // the "emb" column
        QCOMPARE(s.kit.shellRequests().size(), 1);
        QVERIFY(s.kit.shellRequests().constFirst().toLocalFile().endsWith(u"notebook.pdf"_s));
    }

    // One image per excerpt and per photo, none for a place without a pin or
    // for a metafile (drawn as lines); photos at 200 dots an inch of their
    // printed size, excerpts at the scan's own pixels. Unticking the excerpts
    // leaves only the photos.
    void thePdfHoldsTheImagesAskedForAtPrintResolution()
    {
        Setup s;
        s.writePhoto(u"000001.JPG"_s);
        s.writePhoto(u"000002.JPG"_s);
        QVERIFY(fixture::writeBytes(s.pixFile(u"000003.EMF"_s), pictures::enhancedMetafile()));
        s.addPictures({ { u"000001.JPG"_s, 0, u"Gate"_s }, { u"000002.JPG"_s, 1, u"Oaks"_s },
            { u"000003.EMF"_s, 2, u"Plan"_s } });
        TfrmReport* dialog = s.openDialog();
        QVERIFY(dialog);
        QString pdf = s.make(dialog, "rdoPdf", s.kit.home() + u"/all.pdf"_s);
        QList<PdfImage> images = pdfImages(pdf);
        QCOMPARE(images.size(), 4); // two excerpts, two photos
        int excerpts = 0;
        for (const PdfImage& image : images) {
            if (image.width == 1181) // 10 cm of a 300 dpi scan
                ++excerpts;
            else
                QVERIFY2(qAbs(image.ppi - 200) <= 2, qPrintable(QString::number(image.ppi)));
        }
        QCOMPARE(excerpts, 2);
        QVERIFY(pdfText(pdf).contains(u"Plan"_s));

        // The photos went into the print cache for the next report; the
        // metafile, drawn as vectors, did not.
        const QDir printCache(s.kit.home() + u"/.cache/corvane3/print"_s);
        QCOMPARE(printCache.entryList({ u"*.jpg"_s }, QDir::Files).size(), 2);
        Kit::child<QCheckBox>(dialog, u"chkExcerpts"_s)->setChecked(false);
        pdf = s.make(dialog, "rdoPdf", s.kit.home() + u"/photos.pdf"_s);
        QCOMPARE(pdfImages(pdf).size(), 2);
    }

    // Pictures are decoded reduced, ahead of the page, on other threads: a
    // photo the camera took turned still prints the right way up, in the
    // PDF and the web pages alike, and a damaged one still gives its note.
    void picturesArePrintedAsTheCameraMeantThem()
    {
        Setup s;
        QImage photo(4000, 3000, QImage::Format_RGB32); // stored on its side: its top is the right
        photo.fill(QColor(200, 20, 20));
        for (int y = 1500; y < 3000; ++y)
            std::fill_n(reinterpret_cast<QRgb*>(photo.scanLine(y)), 4000, qRgb(20, 20, 200));
        QVERIFY(fixture::writeBytes(
            s.pixFile(u"000001.JPG"_s), pictures::withOrientation(fixture::encodeJpeg(photo), 6)));
        // Its header is read when the pages are laid out; only its decode fails.
        QVERIFY(fixture::writeBytes(s.pixFile(u"000002.JPG"_s),
            samples::withSize(fixture::encodeJpeg(fixture::patterned({ 400, 300 })), 8000, 6000)));
        s.addPictures({ { u"000001.JPG"_s, 1, u"Turned"_s }, { u"000002.JPG"_s, 1, u"Broken"_s } });
        TfrmReport* dialog = s.openDialog();
        QVERIFY(dialog);
        Kit::child<QCheckBox>(dialog, u"chkExcerpts"_s)->setChecked(false);
        const auto uprightAndRedOnTheRight = [](const QImage& image) {
            const QColor left = image.pixelColor(image.width() / 4, image.height() / 2);
            const QColor right = image.pixelColor(image.width() * 3 / 4, image.height() / 2);
            return image.height() > image.width() && left.blue() > 150 && right.red() > 150;
        };

        const QString pdf = s.make(dialog, "rdoPdf", s.kit.home() + u"/turned.pdf"_s);
        const QString extracted = s.kit.home() + u"/extracted"_s;
        run(u"pdfimages"_s, { u"-png"_s, pdf, extracted });
        const QImage printed(extracted + u"-000.png"_s);
        QVERIFY2(uprightAndRedOnTheRight(printed),
            qPrintable(QStringLiteral("%1 x %2").arg(printed.width()).arg(printed.height())));
        QVERIFY(!QFile::exists(extracted + u"-001.png"_s));
        QVERIFY(pdfText(pdf).contains(u"000002.JPG"_s));

        const QString folder = s.make(dialog, "rdoHtml", s.kit.home() + u"/web"_s);
        QVERIFY(uprightAndRedOnTheRight(QImage(folder + u"/images/place-0002-picture-1.jpg"_s)));
        QFile page(folder + u"/place-0002.html"_s);
        QVERIFY(page.open(QIODevice::ReadOnly));
        QVERIFY(QString::fromUtf8(page.readAll()).contains(u"000002.JPG"_s));
    }

    // A photo cut short (a copy that stopped, a card pulled out) prints what
    // could be read, and each form of the report says it is only part.
    void aPhotoCutShortIsPrintedWithItsNote()
    {
        Setup s;
        const QByteArray whole = fixture::encodeJpeg(fixture::patterned({ 1600, 1200 }, 3));
        QVERIFY(fixture::writeBytes(s.pixFile(u"000004.JPG"_s), whole.left(whole.size() / 2)));
        s.addPictures({ { u"000004.JPG"_s, 2, {} } });
        TfrmReport* dialog = s.openDialog();
        QVERIFY(dialog);
        Kit::child<QCheckBox>(dialog, u"chkExcerpts"_s)->setChecked(false);
        const QString note = partlyReadNote(u"000004.JPG"_s);
        const auto summaryHasIt = [&] {
            const QString summary = Kit::child<QPlainTextEdit>(dialog, u"txtSummary"_s)->toPlainText();
            return summary.contains(u"1 pictures"_s) && summary.contains(u"Nothing was missing."_s)
                && summary.contains(u"Read only in part (1):\nYnys Môn: "_s + note);
        };

        QString pdf = s.make(dialog, "rdoPdf", s.kit.home() + u"/cut.pdf"_s);
        QCOMPARE(pdfImages(pdf).size(), 1);
        QVERIFY2(pdfText(pdf).contains(note), qPrintable(pdfText(pdf)));
        QVERIFY(summaryHasIt());
        // Read again, it is decoded again: a cut photo is not kept in the print cache.
        pdf = s.make(dialog, "rdoPdf", s.kit.home() + u"/cut-again.pdf"_s);
        QVERIFY(pdfText(pdf).contains(note));

        const QString folder = s.make(dialog, "rdoHtml", s.kit.home() + u"/web"_s);
        QFile page(folder + u"/place-0003.html"_s);
        QVERIFY(page.open(QIODevice::ReadOnly));
        QVERIFY(QString::fromUtf8(page.readAll()).contains(note));
        QVERIFY(summaryHasIt());

        const QString odt = s.make(dialog, "rdoOdf", s.kit.home() + u"/cut.odt"_s);
        QVERIFY(run(u"unzip"_s, { u"-p"_s, odt, u"content.xml"_s }).contains(note));
        QVERIFY(summaryHasIt());
    }

    // The word processor's document holds every paragraph, in order.
    void theOdfHoldsTheParagraphs()
    {
        Setup s;
        TfrmReport* dialog = s.openDialog();
        QVERIFY(dialog);
        const QString odt = s.make(dialog, "rdoOdf", s.kit.home() + u"/notebook.odt"_s);
        QVERIFY(!odt.isEmpty());
        const QString content = run(u"unzip"_s, { u"-p"_s, odt, u"content.xml"_s });
        QVERIFY2(!content.isEmpty(), "content.xml missing or unzip not installed");
        qsizetype at = content.indexOf(u"Contents"_s);
        for (const fixture::Place& place : kPlaces) {
            for (const QString& piece :
                QStringList { place.name } + place.memo.split(u'\n', Qt::SkipEmptyParts)) {
                const qsizetype found
                    = content.indexOf(piece.toHtmlEscaped().replace(u"&quot;"_s, u"\""_s), at + 1);
                QVERIFY2(found > at, qPrintable(piece));
                at = found;
            }
        }
        QCOMPARE(content.count(u"<draw:image"_s), 2); // the two excerpts
        // Pictures go in as JPEG: as PNG a map or a photo takes many times the room.
        const QString manifest = run(u"unzip"_s, { u"-p"_s, odt, u"META-INF/manifest.xml"_s });
        QCOMPARE(manifest.count(u"image/jpg"_s), 2);
    }

    // Every link and image of every page leads to a file of the folder, and
    // the notebook's texts are text, never markup.
    void theWebPagesLinkOnlyToFilesThatExist()
    {
        Setup s;
        s.writePhoto(u"000001.JPG"_s);
        QVERIFY(fixture::writeBytes(s.pixFile(u"000003.EMF"_s), pictures::enhancedMetafile()));
        s.addPictures({ { u"000001.JPG"_s, 1, u"<script>alert(1)</script>"_s }, { u"000003.EMF"_s, 2, {} } });
        TfrmReport* dialog = s.openDialog();
        QVERIFY(dialog);
        const QString folder = s.make(dialog, "rdoHtml", s.kit.home() + u"/web"_s);
        QVERIFY(QFileInfo::exists(folder + u"/index.html"_s));
        static const QRegularExpression link(u"(?:href|src)=\"([^\"]*)\""_s);
        int links = 0;
        for (QDirIterator it(folder, { u"*.html"_s }); it.hasNext();) {
            QFile page(it.next());
            QVERIFY(page.open(QIODevice::ReadOnly));
            const QString html = QString::fromUtf8(page.readAll());
            QVERIFY2(!html.contains(u"<script>"_s) && !html.contains(u"<Sons>"_s), qPrintable(html));
            for (auto m = link.globalMatch(html); m.hasNext(); ++links) {
                const QString target = m.next().captured(1);
                QVERIFY2(!target.contains(u':') && !target.startsWith(u'/'), qPrintable(target));
                QVERIFY2(QFileInfo::exists(folder + u'/' + target), qPrintable(target));
            }
        }
        QVERIFY(links >= 3 + 2 + 2); // index entries, excerpts, photo and drawing
        QVERIFY(QFile::exists(folder + u"/images/place-0003-picture-1.svg"_s));
        QCOMPARE(s.kit.shellRequests().constFirst().toLocalFile(), folder + u"/index.html"_s);
    }

    // Stopped half-way, a report leaves neither a file nor a temporary one,
    // and an older report of that name stays as it was.
    void aStoppedReportLeavesNoFile_data()
    {
        QTest::addColumn<int>("format");
        QTest::newRow("pdf") << int(ReportFormat::Pdf);
        QTest::newRow("odf") << int(ReportFormat::Odf);
        QTest::newRow("html") << int(ReportFormat::Html);
    }
    void aStoppedReportLeavesNoFile()
    {
        QFETCH(int, format);
        Setup s;
        QVERIFY(s.atlas.open());
        QTemporaryDir out;
        const QString target = out.filePath(u"report"_s);
        QVERIFY(fixture::writeBytes(out.filePath(u"report.pdf"_s), "older"));
        ReportOptions options;
        options.format = ReportFormat(format);
        ReportJob job(gatherReport(allPlaceIds()), options,
            options.format == ReportFormat::Html ? target : out.filePath(u"report.pdf"_s));
        connect(&job, &ReportJob::progress, &job, [&job](int done) {
            if (done == 1)
                job.cancel();
        });
        job.run();
        QVERIFY(job.cancelled() && !job.succeeded());
        QCOMPARE(QDir(out.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
            QStringList { u"report.pdf"_s });
        QFile older(out.filePath(u"report.pdf"_s));
        QVERIFY(older.open(QIODevice::ReadOnly));
        QCOMPARE(older.readAll(), QByteArray("older"));
    }

    // A report that cannot be written says where and why, and leaves nothing.
    void aReportThatCannotBeWrittenSaysWhy()
    {
        Setup s;
        TfrmReport* dialog = s.openDialog();
        QVERIFY(dialog);
        const QString target = s.kit.home() + u"/gone/notebook.pdf"_s;
        QVERIFY(s.make(dialog, "rdoPdf", target).isEmpty());
        QCOMPARE(s.kit.messageTexts().size(), 1);
        const QString message = s.kit.messageTexts().constFirst();
        QVERIFY2(message.contains(target + u'"') && !message.contains(u".part"_s), qPrintable(message));
        QVERIFY(!QFileInfo::exists(s.kit.home() + u"/gone"_s));
    }

    // A sheet or picture that is gone costs a note in the report and a line
    // in the summary, not the report.
    void whatIsMissingIsNotedNotAnError()
    {
        Setup s({ { 0, u"Lydd"_s, u"Marsh town."_s, u"GB-99Z"_s, u"10,10"_s },
            { 1, u"Rye"_s, u"Hill town."_s } });
        s.addPictures({ { u"000007.JPG"_s, 1, u"Mermaid Street"_s } });
        QVERIFY(fixture::writeBytes(s.pixFile(u"000008.JPG"_s), "not a picture at all"));
        s.addPictures({ { u"000008.JPG"_s, 1, u"Ypres Tower"_s } });
        TfrmReport* dialog = s.openDialog();
        QVERIFY(dialog);
        const QString pdf = s.make(dialog, "rdoPdf", s.kit.home() + u"/missing.pdf"_s);
        QVERIFY(!pdf.isEmpty());
        QVERIFY(s.kit.messageTexts().isEmpty());
        const QString text = pdfText(pdf);
        QVERIFY2(text.contains(missingSheetNote(u"GB-99Z"_s)), qPrintable(text));
        QVERIFY2(text.contains(u"000007.JPG"_s) && text.contains(u"000008.JPG"_s), qPrintable(text));
        const QString summary = Kit::child<QPlainTextEdit>(dialog, u"txtSummary"_s)->toPlainText();
        QVERIFY2(summary.contains(u"2 places, 0 pictures, 0 map excerpts. 1 place is not pinned"_s),
            qPrintable(summary));
        QVERIFY2(summary.contains(u"Lydd: "_s + missingSheetNote(u"GB-99Z"_s)), qPrintable(summary));
        QVERIFY2(summary.contains(u"Rye: Picture 000007.JPG"_s), qPrintable(summary));
        QVERIFY2(summary.contains(QDir::toNativeSeparators(pdf)), qPrintable(summary));
    }

    // A pinned place on a sheet with control points prints its latitude and
    // longitude; a place without a pin prints none.
    void aGeoreferencedPinPrintsItsCoordinates()
    {
        Setup s;
        const auto lonLatOf = [](QPointF px) { return QPointF(-2 + px.x() / 1000, 53 - px.y() / 1000); };
        QByteArray points = "Map\tX\tY\tLongitude\tLatitude\n";
        for (QPointF px : { QPointF(0, 0), QPointF(3000, 0), QPointF(0, 2200), QPointF(3000, 2200) })
            points += u"%1\t%2\t%3\t%4\t%5\n"_s.arg(kSheet)
                          .arg(px.x())
                          .arg(px.y())
                          .arg(lonLatOf(px).x())
                          .arg(lonLatOf(px).y())
                          .toUtf8();
        QVERIFY(QDir().mkpath(s.atlas.mapsFolder() + u"/../Georef"_s));
        QVERIFY(fixture::writeBytes(s.atlas.mapsFolder() + u"/../Georef/CONTROL.TSV"_s, points));
        TfrmReport* dialog = s.openDialog();
        QVERIFY(dialog);
        auto* coordinates = Kit::child<QCheckBox>(dialog, u"chkCoordinates"_s);
        QVERIFY(coordinates->isEnabled());
        coordinates->setChecked(true);
        const QString text = pdfText(s.make(dialog, "rdoPdf", s.kit.home() + u"/where.pdf"_s));
        const QString chateau = platform::formatLatLon(lonLatOf({ 1500.5, 1000.5 }));
        const QString ynys = platform::formatLatLon(lonLatOf({ 40.5, 30.5 }));
        QVERIFY2(text.contains(chateau) && text.contains(ynys), qPrintable(text));
        const qsizetype bois = text.indexOf(kPlaces[1].name, text.indexOf(chateau));
        QVERIFY(bois > 0 && !text.mid(bois, text.indexOf(ynys) - bois).contains(u"°"_s));
    }
};

QTEST_MAIN(TestReport)
#include "test_report.moc"
