#pragma once
// The whole notebook, or part of it, as one document: what the user asks
// for, the places read from the tables for it, and the writing of it as a
// PDF, an ODF text or a folder of web pages. The places are read on the UI
// thread (gatherReport); the document is written by ReportJob on a thread
// of its own, under a temporary name renamed into place only when it is
// complete, so a cancelled or failed report leaves nothing behind.

#include <QList>
#include <QMarginsF>
#include <QObject>
#include <QPageSize>
#include <QPoint>
#include <QSize>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

class QLocale;

namespace corvane {

enum class ReportFormat { Pdf, Odf, Html };

struct ReportOptions {
    QList<int> placeIds; // in the order they appear
    bool descriptions = true;
    bool excerpts = true;
    bool pictures = true;
    bool captions = true;
    // Reserved for each place's coordinates once places carry them; the
    // composers print nothing for it yet.
    bool coordinates = false;
    QPageSize::PageSizeId paper = QPageSize::A4;
    ReportFormat format = ReportFormat::Pdf;
};

// A4, or Letter where the locale's country prints on it.
QPageSize::PageSizeId defaultPaper(const QLocale& locale);

struct ReportPicture {
    QString windowsPath; // vProgramPath + "Pix\" + file name and type
    QString fileName; // "000003.JPG"
    QString caption;
};

struct ReportPlace {
    int placeId = 0;
    QString name;
    QString description;
    QString sheetId; // empty when the place has no pin
    QString sheetTitle; // empty when MAPS.DB has no such sheet
    QString sheetPath; // vGraphicsPath + "Maps\" + id + ".JPG"
    QPoint pin; // in the sheet picture's own pixels
    QList<ReportPicture> pictures;
};

// The places with these identifiers as the tables hold them now (pending
// changes included), in the order given; identifiers no place has are
// skipped. Reads, never moves, the tables' cursors.
QList<ReportPlace> gatherReport(const QList<int>& placeIds);

// Every place in list order, and the places pinned to one sheet.
QList<int> allPlaceIds();
QList<int> placeIdsOnSheet(const QString& sheetId);
// The sheets at least one place is pinned to, sorted.
QStringList pinnedSheets();

// The line giving the place's coordinates, for the "coordinates" choice;
// empty while places carry none.
QString placeCoordinatesText(const ReportPlace& place);

// Whether places carry coordinates, so that the choice is offered.
bool placesHaveCoordinates();

// What a report held and what it could not: the dialog's summary.
struct ReportSummary {
    int places = 0;
    int pictures = 0;
    int excerpts = 0;
    int unpinned = 0; // places with no pin, so no excerpt
    QStringList missing; // one short line each, naming the place
    QStringList partial; // pictures shown, but read only in part
    // What stood in place of a place's excerpt or picture.
    void noteMissing(const QString& place, const QString& note);
    // What was said of a picture shown in part.
    void notePartial(const QString& place, const QString& note)
    {
        partial << place + QStringLiteral(": ") + note;
    }
    QString text() const;
};

// The short notes that stand in the report where something is missing.
QString noPinNote();
QString missingSheetNote(const QString& sheetId);
QString missingPictureNote(const QString& fileName, const QString& why);
// Said with a picture whose file is damaged or cut short: the part that
// could be read is shown, the rest is grey.
QString partlyReadNote(const QString& fileName);

// What the composers share with the job: the step before each place, which
// says whether to go on, and the summary they fill.
struct ReportProgress {
    std::function<bool(int index)> next; // false: cancelled
    ReportSummary* summary = nullptr;
};

// Writes the report to targetHostPath (a file, or for web pages a folder).
// run() may be called on any thread; cancel() from any other. progress() is
// emitted before each place; finished() once, at the end.
class ReportJob : public QObject {
    Q_OBJECT
public:
    ReportJob(QList<ReportPlace> places, ReportOptions options, QString targetHostPath);

    void run();
    void cancel() { m_cancelled = true; }
    bool cancelled() const { return m_cancelled; }

    // After finished(): what was made, or why not.
    const ReportSummary& summary() const { return m_summary; }
    bool succeeded() const { return m_succeeded; }
    QString error() const { return m_error; }

signals:
    void progress(int done, int total, const QString& place);
    void finished();

private:
    void write(const QString& temporaryPath);

    const QList<ReportPlace> m_places;
    const ReportOptions m_options;
    const QString m_target;
    std::atomic<bool> m_cancelled { false };
    ReportSummary m_summary;
    bool m_succeeded = false;
    QString m_error;
};

} // namespace corvane
