#pragma once
// "Report..." (beside "Save..." on the panel where the print button composes
// a description): the small dialog that makes the notebook one document.
// The user picks the places (all, those ticked in a list, or those pinned
// to one sheet), what to include, the paper and the format, then names the
// file; the report is written on a thread of its own behind a progress bar
// that names the place and can be stopped. When it is done the desktop opens
// it, and the dialog tells where it was saved and what was missing.

#include "output/report.h"

#include <QDialog>

#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QThread;

namespace corvane {

class PlaceChoice;

class TfrmReport : public QDialog {
    Q_OBJECT
public:
    explicit TfrmReport(QWidget* parent = nullptr);
    ~TfrmReport() override;

    // The report last made, as a host path; empty before one is made.
    QString savedPath() const { return m_saved; }
    bool running() const { return m_job != nullptr; }

public slots:
    void btnMakeClick();
    void btnStopClick();
    void btnOpenReportClick();

protected:
    void reject() override;

private:
    void buildControls();
    ReportOptions chosenOptions() const;
    QList<int> chosenPlaces() const;
    std::optional<QString> askTarget(ReportFormat format);
    void start(const QString& target, const ReportOptions& options, const QList<int>& placeIds);
    void jobProgress(int done, int total, const QString& place);
    void jobFinished();
    void setRunning(bool running);
    void openReport();

    PlaceChoice* grpPlaces;
    QCheckBox* chkDescriptions;
    QCheckBox* chkExcerpts;
    QCheckBox* chkPictures;
    QCheckBox* chkCaptions;
    QCheckBox* chkCoordinates;
    QComboBox* cboPaper;
    QRadioButton* rdoPdf;
    QRadioButton* rdoOdf;
    QRadioButton* rdoHtml;
    QPushButton* btnMake;
    QPushButton* btnStop;
    QPushButton* btnOpenReport;
    QPushButton* btnClose;
    QProgressBar* prgReport;
    QLabel* lblProgress;
    QPlainTextEdit* txtSummary;

    std::unique_ptr<ReportJob> m_job;
    QThread* m_thread = nullptr;
    QString m_target;
    QString m_saved;
    bool m_closing = false; // closed while writing: goes once stopped
};

// Opens the dialog over `parent`, window-modal, and returns it.
TfrmReport* showReportDialog(QWidget* parent);

} // namespace corvane
