#pragma once
// The three forms of a report, each written to a host path the job chose
// (a temporary name it renames later). Each asks progress.next(i) before
// place i and stops, returning false, when it says no; each notes in the
// summary what it put in and what was missing. Throw AppError when the
// file cannot be written.

#include "output/report.h"

namespace corvane {

bool writeReportPdf(const QString& hostPath, const QList<ReportPlace>& places, const ReportOptions& options,
    const ReportProgress& progress);
bool writeReportOdf(const QString& hostPath, const QList<ReportPlace>& places, const ReportOptions& options,
    const ReportProgress& progress);
bool writeReportHtml(const QString& folderHostPath, const QList<ReportPlace>& places,
    const ReportOptions& options, const ReportProgress& progress);

// What the forms share: the title page's lines, a description's paragraphs.
QString reportTitle();
QString reportDateLine();
QString placeCountLine(int places);
QStringList descriptionParagraphs(const QString& description);

} // namespace corvane
