// The descriptions window's pictures panel: a place's pictures in table
// order with the next decoded ahead, attaching one, its caption, and the
// viewer on a double-click.
#include "places/notes.h"

#include "ui_notes.h"

#include "places/notes_steps.h"

#include "core/form_style.h"
#include "core/forms.h"
#include "core/paste.h"
#include "core/shared.h"
#include "data/datamod1.h"
#include "data/place_pins.h"
#include "imaging/picture_files.h"
#include "places/photo.h"
#include "places/pix_store.h"
#include "places/undo_steps.h"
#include "platform/desktop.h"
#include "platform/error_report.h"
#include "platform/fonts.h"
#include "platform/paths.h"

#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QMouseEvent>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTimer>
#include <QToolTip>

#include <algorithm>
#include <climits>
#include <set>

namespace corvane {

using namespace notes;

namespace {

constexpr int kCaptionLength = 120; // the width of PIX.DB's Caption

} // namespace

void TfrmNotes::connectPictureHandlers()
{
    using platform::connectGuarded;
    connectGuarded(ui->btnPictures, &QPushButton::clicked, this, &TfrmNotes::btnPicturesClick);
    connectGuarded(ui->btnMorePix, &QPushButton::clicked, this, &TfrmNotes::btnMorePixClick);
    connectGuarded(ui->btnAddPix, &QPushButton::clicked, this, &TfrmNotes::btnAddPixClick);
    connectGuarded(ui->btnCopyPix, &QPushButton::clicked, this, &TfrmNotes::btnCopyPixClick);
    connectGuarded(ui->btnExitAddPix, &QPushButton::clicked, this, &TfrmNotes::btnExitAddPixClick);
    connectGuarded(ui->btnDonePix, &QPushButton::clicked, this, &TfrmNotes::btnDonePixClick);
    connectMouseDown(ui->dbmemoCaption, [this] { dbmemoCaptionMouseDown(); });
    connect(ui->dbmemoCaption, &QPlainTextEdit::textChanged, this, &TfrmNotes::keepCaptionShort);
    ui->imgPix->installEventFilter(this);
}

bool TfrmNotes::eventFilter(QObject* watched, QEvent* event)
{
    if (isHistoryKey(watched, event))
        return true;
    if (watched == ui->imgPix && event->type() == QEvent::MouseButtonDblClick
        && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        platform::guarded([this] { imgPixDblClick(); });
        return true;
    }
    if (watched == ui->grdPlaces->viewport() && event->type() == QEvent::MouseButtonRelease
        && !m_pinHint.isEmpty())
        QTimer::singleShot(0, this, &TfrmNotes::showPinHint);
    return TMenuForm::eventFilter(watched, event);
}

// A caption holds 120 characters: what is typed or pasted beyond them is
// not taken, as in a field of that width.
void TfrmNotes::keepCaptionShort()
{
    const int excess = int(ui->dbmemoCaption->toPlainText().size()) - kCaptionLength;
    if (excess <= 0)
        return;
    QTextCursor cursor = ui->dbmemoCaption->textCursor();
    const int end = std::max(cursor.position(), excess);
    cursor.setPosition(end - excess);
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
}

// The row of the current place's first picture at or after `from`, in
// PIX.DB's own order; -1 when there is none.
int TfrmNotes::nextPictureRow(int from) const
{
    const QList<int> rows = rowsOfPlace(pix(), vPlaceId);
    const auto next = std::lower_bound(rows.begin(), rows.end(), std::max(from, 0));
    return next == rows.end() ? -1 : *next;
}

namespace {

// A picture shown only as far as it could be read says so on the panel's
// bottom line, where the user looks, in place of the full-screen hint; no
// box interrupts the slide show. The label is made here, once.
void showPictureWarning(QWidget* panel, QLabel* hint, const QWidget* box, const QString& warning)
{
    auto* line = panel->findChild<QLabel*>(QStringLiteral("lblPixWarning"));
    if (!line) {
        line = new QLabel(panel);
        line->setObjectName(QStringLiteral("lblPixWarning"));
        line->setGeometry(box->x(), hint->y() - 4, box->width(), 24);
        line->setWordWrap(true);
        line->setAlignment(Qt::AlignCenter);
        line->setStyleSheet(QStringLiteral("color: #a00000; font-weight: bold;"));
    }
    line->setText(warning.isEmpty()
            ? QString()
            : QStringLiteral(
                "This picture is damaged or incomplete: only what could be read of it is shown."));
    line->setToolTip(warning);
    line->setVisible(!warning.isEmpty());
    hint->setVisible(warning.isEmpty());
}

} // namespace

// The current PIX record in the panel: its file, its caption to edit and
// its picture.
void TfrmNotes::showPictureRecord()
{
    platform::Table* pictures = pix();
    vPixFound = true;
    ui->pnlPictures->show();
    ui->pnlPictures->raise();
    ui->pnlIfAdd->hide();
    vPixType = pictures->fieldAsString(QStringLiteral("Type"));
    vPixFileName = pictures->fieldAsString(QStringLiteral("Filename"));
    vPixCaption = pictures->fieldAsString(QStringLiteral("Caption"));
    vPixPath = vProgramPath + QStringLiteral("Pix\\") + vPixFileName + vPixType;
    ui->lblFile->setText(vPixFileName + vPixType);
    showPicture();
    decodeNextPictureAhead();
}

// Loads vPixPath into imgPix by its type; a type the panel does not know
// leaves the picture shown before. A picture that cannot be shown is said
// so, and the box is emptied rather than showing another picture.
void TfrmNotes::showPicture()
{
    static const QStringList kShown { QStringLiteral(".BMP"), QStringLiteral(".JPG"), QStringLiteral(".JPEG"),
        QStringLiteral(".WMF"), QStringLiteral(".EMF") };
    if (!kShown.contains(vPixType))
        return;
    const qreal scale = ui->imgPix->devicePixelRatioF();
    QString warning;
    QImage picture;
    try {
        picture = m_pictures->load(vPixPath, ui->imgPix->size() * scale, &warning);
    } catch (const std::exception&) {
        ui->imgPix->clear();
        showPictureWarning(ui->pnlPictures, ui->Label12, ui->imgPix, {});
        throw;
    }
    picture.setDevicePixelRatio(scale);
    ui->imgPix->setPixmap(QPixmap::fromImage(picture));
    const QString hint = QStringLiteral("Double-click on this picture to show a full-screen view.");
    ui->imgPix->setToolTip(warning.isEmpty() ? hint : hint + QLatin1Char('\n') + warning);
    showPictureWarning(ui->pnlPictures, ui->Label12, ui->imgPix, warning);
}

// "See More" shows the next picture of the place, or the first again.
void TfrmNotes::decodeNextPictureAhead()
{
    platform::Table* pictures = pix();
    int row = nextPictureRow(pictures->recNo() + 1);
    if (row < 0)
        row = nextPictureRow(0);
    if (row < 0 || row == pictures->recNo())
        return;
    const QString name = pictures->valueAt(row, pictures->fieldIndex(QStringLiteral("Filename"))).toString();
    const QString type = pictures->valueAt(row, pictures->fieldIndex(QStringLiteral("Type"))).toString();
    m_pictures->decodeAhead(
        { picturePath(name, type) }, ui->imgPix->size() * ui->imgPix->devicePixelRatioF());
}

void TfrmNotes::btnPicturesClick()
{
    for (QWidget* hidden : std::initializer_list<QWidget*> {
             ui->btnAddPlace, ui->pnlAddPlace, ui->pnlAddPix, ui->pnlSelect, ui->pnlEdit })
        hidden->hide();
    hideFramePanels();
    vPixFound = false;
    platform::Table* pictures = pix();
    pictures->open();
    pictures->setIndexName(QString());
    int row = -1;
    {
        ControlsSuspended quiet(pictures);
        pictures->first(); // stores a caption typed on the picture shown before
        row = nextPictureRow(0);
        if (row >= 0)
            pictures->moveTo(row);
    }
    if (row >= 0) {
        showPictureRecord();
        return;
    }
    pictures->first();
    const auto answer = platform::messageBox({ QMessageBox::Information, platform::applicationTitle(),
        QStringLiteral("Sorry! You have no pictures associated with this place."), QMessageBox::Ok });
    if (answer == QMessageBox::Ok) {
        ui->pnlPictures->show();
        ui->pnlPictures->raise();
        ui->btnMorePix->setEnabled(false);
        ui->pnlIfAdd->show();
    }
}

void TfrmNotes::btnMorePixClick()
{
    vPixFound = false;
    platform::Table* pictures = pix();
    const int row = nextPictureRow(pictures->recNo() + 1);
    if (row >= 0) {
        {
            ControlsSuspended quiet(pictures);
            pictures->moveTo(row);
        }
        showPictureRecord();
    } else {
        platform::messageBox({ QMessageBox::Information, platform::applicationTitle(),
            QStringLiteral("Sorry! You have no more pictures associated with this place. We'll return you to "
                           "your first picture."),
            QMessageBox::Ok });
        btnPicturesClick();
    }
    hideFramePanels();
}

// The user's pictures folder to begin with, later the folder last used.
QString TfrmNotes::pictureStartFolder() const
{
    if (!m_lastPictureFolder.isEmpty())
        return m_lastPictureFolder;
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (!pictures.isEmpty() && QFileInfo(pictures).isDir())
        return pictures;
    return QDir::homePath();
}

void TfrmNotes::btnAddPixClick()
{
    const std::optional<QString> chosen = platform::openPictureDialog(this, pictureStartFolder());
    if (!chosen)
        return;
    m_chosenPicture = *chosen;
    if (const auto host = platform::resolve(*chosen))
        m_lastPictureFolder = QFileInfo(*host).absolutePath();
    ui->pnlAddPix->show();
    ui->pnlAddPix->raise();
    ui->pnlIfAdd->hide();
    ui->btnMorePix->setEnabled(true);
    ui->pnlPictures->hide();
    ui->lblPixFile->setText(*chosen);
    hideFramePanels();
    grdPlacesCellClick();
}

// Attaches the chosen file to the place current now. A file of another
// type is passed over without a word ("BMP or JPG files only, please!");
// a failure attaches nothing and leaves the panel open.
void TfrmNotes::btnCopyPixClick()
{
    const QString type = platform::attachableType(m_chosenPicture);
    if (type.isEmpty())
        return;
    // A picture of no place would later seem to belong to the next place.
    if (descrip()->recNo() < 0)
        throw platform::AppError(QStringLiteral("Your list of places is empty: add a place first, then "
                                                "attach the picture to it."));
    const QString number = attachPicture(m_chosenPicture);
    pushNotebookStep(new AttachPictureStep(number));
    vPixPath = vProgramPath + QStringLiteral("Pix\\") + number + type;
    ui->pnlAddPix->hide();
    btnPicturesClick();
}

void TfrmNotes::btnExitAddPixClick()
{
    ui->pnlAddPix->hide();
    grdPlacesCellClick();
}

void TfrmNotes::btnDonePixClick()
{
    ui->btnMorePix->setEnabled(true);
    ui->pnlPictures->hide();
    ui->pnlAddPix->hide();
    ui->btnAddPlace->show();
    hideFramePanels();
    grdPlacesCellClick();
}

void TfrmNotes::imgPixDblClick()
{
    showPhoto();
    hideFramePanels();
}

} // namespace corvane
