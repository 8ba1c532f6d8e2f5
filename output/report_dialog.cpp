#include "output/report_dialog.h"

#include "core/forms.h"
#include "core/shared.h"
#include "data/datamod1.h"
#include "data/place_pins.h"
#include "output/place_choice.h"
#include "platform/desktop.h"
#include "platform/error_report.h"
#include "platform/paths.h"
#include "tables/table.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QThread>
#include <QVBoxLayout>

namespace corvane {

namespace {

const QString kSuggestedName = QStringLiteral("Places and their maps");

template <typename T> T* named(T* widget, const char* name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

void tell(QMessageBox::Icon icon, const QString& text)
{
    platform::messageBox({ icon, platform::applicationTitle(), text, QMessageBox::Ok });
}

QString withSuffix(QString path, const QString& suffix)
{
    if (!path.endsWith(suffix, Qt::CaseInsensitive))
        path += suffix;
    return path;
}

} // namespace

TfrmReport::TfrmReport(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmReport"));
    setWindowTitle(QStringLiteral("Report"));
    buildControls();
    using platform::connectGuarded;
    connectGuarded(btnMake, &QPushButton::clicked, this, &TfrmReport::btnMakeClick);
    connectGuarded(btnStop, &QPushButton::clicked, this, &TfrmReport::btnStopClick);
    connectGuarded(btnOpenReport, &QPushButton::clicked, this, &TfrmReport::btnOpenReportClick);
    connect(btnClose, &QPushButton::clicked, this, &TfrmReport::reject);
    setRunning(false);
}

TfrmReport::~TfrmReport()
{
    if (m_job)
        m_job->cancel();
    if (m_thread)
        m_thread->wait();
}

void TfrmReport::buildControls()
{
    grpPlaces = new PlaceChoice(this, vMapId);
    grpPlaces->lstPlaces->setMaximumHeight(110);

    auto* include = new QGroupBox(QStringLiteral("Include"), this);
    chkDescriptions = named(new QCheckBox(QStringLiteral("Descriptions"), include), "chkDescriptions");
    chkExcerpts = named(new QCheckBox(QStringLiteral("Map excerpts"), include), "chkExcerpts");
    chkPictures = named(new QCheckBox(QStringLiteral("Pictures"), include), "chkPictures");
    chkCaptions = named(new QCheckBox(QStringLiteral("Captions"), include), "chkCaptions");
    chkCoordinates = named(new QCheckBox(QStringLiteral("Coordinates"), include), "chkCoordinates");
    for (QCheckBox* box : { chkDescriptions, chkExcerpts, chkPictures, chkCaptions })
        box->setChecked(true);
    chkCoordinates->setEnabled(placesHaveCoordinates());
    if (!placesHaveCoordinates())
        chkCoordinates->setToolTip(QStringLiteral("No sheet of this atlas has control points."));
    connect(chkPictures, &QCheckBox::toggled, chkCaptions, &QCheckBox::setEnabled);
    auto* includeLayout = new QHBoxLayout(include);
    for (QCheckBox* box : { chkDescriptions, chkExcerpts, chkPictures, chkCaptions, chkCoordinates })
        includeLayout->addWidget(box);

    auto* format = new QGroupBox(QStringLiteral("Format"), this);
    rdoPdf = named(new QRadioButton(QStringLiteral("PDF document"), format), "rdoPdf");
    rdoOdf = named(new QRadioButton(QStringLiteral("ODF text, for a word processor"), format), "rdoOdf");
    rdoHtml = named(new QRadioButton(QStringLiteral("Web pages, in a folder"), format), "rdoHtml");
    rdoPdf->setChecked(true);
    cboPaper = named(new QComboBox(format), "cboPaper");
    cboPaper->addItem(QStringLiteral("A4"), int(QPageSize::A4));
    cboPaper->addItem(QStringLiteral("Letter"), int(QPageSize::Letter));
    cboPaper->setCurrentIndex(defaultPaper(QLocale()) == QPageSize::Letter ? 1 : 0);
    auto* formatLayout = new QFormLayout(format);
    formatLayout->addRow(rdoPdf);
    formatLayout->addRow(rdoOdf);
    formatLayout->addRow(rdoHtml);
    formatLayout->addRow(QStringLiteral("Paper:"), cboPaper);

    prgReport = named(new QProgressBar(this), "prgReport");
    lblProgress = named(new QLabel(this), "lblProgress");
    txtSummary = named(new QPlainTextEdit(this), "txtSummary");
    txtSummary->setReadOnly(true);
    txtSummary->setMaximumHeight(120);
    btnMake = named(new QPushButton(QStringLiteral("Make report..."), this), "btnMake");
    btnStop = named(new QPushButton(QStringLiteral("Stop"), this), "btnStop");
    btnOpenReport = named(new QPushButton(QStringLiteral("Open"), this), "btnOpenReport");
    btnClose = named(new QPushButton(QStringLiteral("Close"), this), "btnClose");
    btnMake->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnMake);
    buttons->addWidget(btnStop);
    buttons->addStretch();
    buttons->addWidget(btnOpenReport);
    buttons->addWidget(btnClose);

    auto* layout = new QVBoxLayout(this);
    for (QWidget* widget :
        std::initializer_list<QWidget*> { grpPlaces, include, format, prgReport, lblProgress, txtSummary })
        layout->addWidget(widget);
    layout->addLayout(buttons);
}

ReportOptions TfrmReport::chosenOptions() const
{
    ReportOptions options;
    options.placeIds = chosenPlaces();
    options.descriptions = chkDescriptions->isChecked();
    options.excerpts = chkExcerpts->isChecked();
    options.pictures = chkPictures->isChecked();
    options.captions = chkCaptions->isChecked();
    options.coordinates = chkCoordinates->isEnabled() && chkCoordinates->isChecked();
    options.paper = QPageSize::PageSizeId(cboPaper->currentData().toInt());
    options.format = rdoOdf->isChecked() ? ReportFormat::Odf
        : rdoHtml->isChecked()           ? ReportFormat::Html
                                         : ReportFormat::Pdf;
    return options;
}

QList<int> TfrmReport::chosenPlaces() const
{
    return grpPlaces->chosenPlaces();
}

// The file (or, for web pages, the folder) the user names; a host path.
std::optional<QString> TfrmReport::askTarget(ReportFormat format)
{
    const QStringList filters = format == ReportFormat::Pdf
        ? QStringList { QStringLiteral("PDF document (*.pdf)") }
        : format == ReportFormat::Odf ? QStringList { QStringLiteral("ODF text document (*.odt)") }
                                      : QStringList { QStringLiteral("Folder of web pages (*)") };
    const QString suggested = format == ReportFormat::Pdf ? kSuggestedName + QStringLiteral(".pdf")
        : format == ReportFormat::Odf                     ? kSuggestedName + QStringLiteral(".odt")
                                                          : kSuggestedName;
    const auto chosen = platform::saveFileDialog(this, QStringLiteral("Save the report"), suggested, filters);
    if (!chosen)
        return std::nullopt;
    QString path = platform::resolve(*chosen).value_or(QString());
    if (path.isEmpty()) {
        tell(QMessageBox::Warning,
            QStringLiteral("Cannot save as \"%1\": the drive does not exist.").arg(*chosen));
        return std::nullopt;
    }
    if (format == ReportFormat::Pdf)
        path = withSuffix(path, QStringLiteral(".pdf"));
    else if (format == ReportFormat::Odf)
        path = withSuffix(path, QStringLiteral(".odt"));
    else if (QFileInfo(path).exists() && !QFileInfo(path).isDir()) {
        tell(QMessageBox::Warning,
            QStringLiteral("\"%1\" is a file; web pages need a folder of their own.")
                .arg(QDir::toNativeSeparators(path)));
        return std::nullopt;
    }
    return path;
}

void TfrmReport::btnMakeClick()
{
    if (m_job)
        return;
    const ReportOptions options = chosenOptions();
    if (options.placeIds.isEmpty()) {
        tell(QMessageBox::Information, QStringLiteral("There are no places to report: choose at least one."));
        return;
    }
    const auto target = askTarget(options.format);
    if (target)
        start(*target, options, options.placeIds);
}

void TfrmReport::start(const QString& target, const ReportOptions& options, const QList<int>& placeIds)
{
    m_target = target;
    m_saved.clear();
    txtSummary->clear();
    const QList<ReportPlace> places = gatherReport(placeIds);
    m_job = std::make_unique<ReportJob>(places, options, target);
    connect(m_job.get(), &ReportJob::progress, this, &TfrmReport::jobProgress, Qt::QueuedConnection);
    connect(m_job.get(), &ReportJob::finished, this, &TfrmReport::jobFinished, Qt::QueuedConnection);
    prgReport->setRange(0, int(places.size()));
    prgReport->setValue(0);
    lblProgress->setText(QStringLiteral("Preparing the report..."));
    setRunning(true);
    ReportJob* job = m_job.get();
    m_thread = QThread::create([job] { job->run(); });
    m_thread->setParent(this);
    m_thread->start(QThread::LowPriority);
}

void TfrmReport::jobProgress(int done, int total, const QString& place)
{
    prgReport->setMaximum(total);
    prgReport->setValue(done);
    lblProgress->setText(QStringLiteral("Writing %1 (%2 of %3)")
                             .arg(place, QString::number(done + 1), QString::number(total)));
}

void TfrmReport::jobFinished()
{
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
    const std::unique_ptr<ReportJob> job = std::move(m_job);
    setRunning(false);
    if (m_closing) {
        QDialog::reject();
        return;
    }
    prgReport->setValue(prgReport->maximum());
    if (job->cancelled()) {
        lblProgress->setText(QStringLiteral("Stopped: no report was written."));
        return;
    }
    if (!job->succeeded()) {
        lblProgress->setText(QStringLiteral("The report could not be made."));
        txtSummary->setPlainText(job->error());
        tell(QMessageBox::Warning, job->error());
        return;
    }
    m_saved = m_target;
    lblProgress->setText(QStringLiteral("Saved as %1").arg(QDir::toNativeSeparators(m_saved)));
    txtSummary->setPlainText(
        QStringLiteral("Saved as %1\n").arg(QDir::toNativeSeparators(m_saved)) + job->summary().text());
    btnOpenReport->setEnabled(true);
    openReport();
}

void TfrmReport::btnStopClick()
{
    if (m_job) {
        m_job->cancel();
        lblProgress->setText(QStringLiteral("Stopping..."));
    }
}

void TfrmReport::btnOpenReportClick()
{
    openReport();
}

void TfrmReport::openReport()
{
    if (m_saved.isEmpty())
        return;
    const QString document = QFileInfo(m_saved).isDir() ? m_saved + QStringLiteral("/index.html") : m_saved;
    vShellTarget = document;
    if (!platform::shellOpen(document))
        tell(QMessageBox::Information,
            QStringLiteral("The report is saved as %1; the desktop has no program to open it.")
                .arg(QDir::toNativeSeparators(document)));
}

void TfrmReport::reject()
{
    // Closing while writing stops the report; nothing half-written stays.
    if (m_job) {
        m_job->cancel();
        m_closing = true;
        return;
    }
    QDialog::reject();
}

void TfrmReport::setRunning(bool running)
{
    for (QWidget* widget : std::initializer_list<QWidget*> { grpPlaces, chkDescriptions, chkExcerpts,
             chkPictures, cboPaper, rdoPdf, rdoOdf, rdoHtml, btnMake })
        widget->setEnabled(!running);
    chkCaptions->setEnabled(!running && chkPictures->isChecked());
    btnStop->setEnabled(running);
    btnOpenReport->setEnabled(!running && !m_saved.isEmpty());
    prgReport->setVisible(running || prgReport->value() > 0);
}

TfrmReport* showReportDialog(QWidget* parent)
{
    auto* dialog = new TfrmReport(parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->show();
    return dialog;
}

} // namespace corvane
