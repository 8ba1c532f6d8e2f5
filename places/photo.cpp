#include "places/photo.h"

#include "ui_photo.h"

#include "core/forms.h"
#include "core/placement.h"
#include "core/shared.h"
#include "core/shell.h"
#include "imaging/picture_files.h"
#include "platform/desktop.h"
#include "platform/error_report.h"

#include <QCloseEvent>
#include <QWindow>

namespace corvane {

namespace {

// The viewer by the screen's width: its left edge (the top is 0) and the
// picture box that larger pictures are fitted into.
struct ScreenRow {
    int width;
    int left;
    int boxWidth;
    int boxHeight;
};
constexpr ScreenRow kScreens[] = {
    { 640, 17, 600, 432 },
    { 800, 19, 750, 540 },
    { 1024, 6, 1000, 720 },
    { 1280, 34, 1200, 864 },
    { 1600, 44, 1500, 1080 },
};

constexpr int kBorder = 2; // the blue around the picture

// Where a window of this outer size lies wholly on the screen's free area,
// as near topLeft as it can; its title bar stays reachable when it is larger.
QPoint keptOnScreen(QPoint topLeft, QSize outer)
{
    const QRect area = platform::availableScreenArea();
    return { std::max(area.left(), std::min(topLeft.x(), area.right() + 1 - outer.width())),
        std::max(area.top(), std::min(topLeft.y(), area.bottom() + 1 - outer.height())) };
}

} // namespace

void showPhoto()
{
    if (!vPixPath.isEmpty() && !vPhotoCreated) {
        if (!frmPhoto) // one viewer for the whole run
            new TfrmPhoto(shell().frameWindow());
        vPhotoCreated = true;
    }
    if (!frmPhoto)
        return;
    // A viewer still showing shows the picture the user now asks for.
    if (frmPhoto->isVisible())
        frmPhoto->FormShow();
    else
        frmPhoto->show();
    frmPhoto->raise();
    frmPhoto->activateWindow();
}

TfrmPhoto::TfrmPhoto(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , ui(std::make_unique<Ui::Photo>())
    , m_placement(new OuterPlacement(this))
{
    ui->setupUi(this);
    setObjectName(QStringLiteral("frmPhoto"));
    QPalette blue = palette();
    blue.setColor(QPalette::Window, QColor(0, 0, 255));
    setPalette(blue);
    setAutoFillBackground(true);
    ui->imgPhoto->installEventFilter(this);
    frmPhoto = this;
}

TfrmPhoto::~TfrmPhoto()
{
    if (frmPhoto == this)
        frmPhoto = nullptr;
}

QLabel* TfrmPhoto::imgPhoto() const
{
    return ui->imgPhoto;
}

TfrmPhoto::Screen TfrmPhoto::screen()
{
    Screen s;
    s.size = platform::screenSize();
    for (const ScreenRow& row : kScreens) {
        if (row.width == s.size.width()) {
            s.left = row.left;
            s.box = QSize(row.boxWidth, row.boxHeight);
            return s;
        }
    }
    // Other screens get a box in the table's proportions of the screen.
    s.box = QSize(s.size.width() * 15 / 16, s.size.height() * 9 / 10);
    return s;
}

void TfrmPhoto::setVisible(bool visible)
{
    // Sized and placed before the window system sees it, so it appears
    // where it belongs; a failure is reported and the window shown all the same.
    if (visible && !isVisible())
        platform::guarded([this] { FormShow(); });
    QWidget::setVisible(visible);
}

void TfrmPhoto::FormShow()
{
    const Screen s = screen();
    m_pixPath = vPixPath;
    m_pixType = vPixType;
    bool loaded = true;
    try {
        loadPicture(s.box);
    } catch (const std::exception& e) {
        loaded = false; // the previous picture under its previous caption
        platform::reportError(QString::fromStdString(e.what()));
    }
    if (loaded)
        setWindowTitle(vPixCaption);
    placeOn(s);
}

// Loads the picture into imgPhoto, at its natural size or fitted into box.
// Returns false, keeping the previous picture, for a type it does not know.
bool TfrmPhoto::loadPicture(QSize box)
{
    if (m_pixType.isEmpty() || platform::attachableType(m_pixType) != m_pixType)
        return false;
    // Decoded for the screen's own pixels, so that a high-density screen
    // shows the picture sharp.
    const qreal ratio = devicePixelRatioF();
    QSize shown;
    QSize device = box;
    if (ratio != 1.0) {
        const QSize natural = platform::pictureFileSize(m_pixPath);
        shown = platform::fitInto(natural.isValid() ? natural : box, box);
        device = (QSizeF(shown) * ratio).toSize();
    }
    QString warning;
    QImage picture = platform::loadPictureFile(m_pixPath, device, &warning);
    if (!shown.isValid())
        shown = picture.size();
    m_picture = std::move(picture);
    ui->imgPhoto->setPixmap(QPixmap::fromImage(m_picture));
    fitAround(shown);
    if (!warning.isEmpty())
        platform::reportError(warning);
    return true;
}

void TfrmPhoto::fitAround(QSize picture)
{
    ui->imgPhoto->setGeometry(QRect(QPoint(kBorder, kBorder), picture));
    setFixedSize(picture.grownBy(QMargins(kBorder, kBorder, kBorder, kBorder)));
}

void TfrmPhoto::placeOn(const Screen& s)
{
    const QMargins frame = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    const QSize outer = size().grownBy(frame);
    QPoint topLeft = frameGeometry().topLeft();
    if (s.left >= 0)
        topLeft = QPoint(s.left, 0);
    if (!m_shownBefore) { // centred, but never beyond the top or left edge
        topLeft = QPoint(std::max(0, (s.size.width() - outer.width()) / 2),
            std::max(0, (s.size.height() - outer.height()) / 2));
    }
    m_shownBefore = true;
    topLeft = keptOnScreen(topLeft, outer);
    // The size follows the picture; only where the frame is known can the
    // outer placement put the frame, not the inside, at the position.
    if (!frame.isNull())
        m_placement->place(topLeft, outer);
    else
        move(topLeft);
}

void TfrmPhoto::FormDblClick()
{
    hide();
    shell().raiseFrame();
}

void TfrmPhoto::mouseDoubleClickEvent(QMouseEvent* event)
{
    QWidget::mouseDoubleClickEvent(event);
    platform::guarded([this] { FormDblClick(); });
}

bool TfrmPhoto::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui->imgPhoto && event->type() == QEvent::MouseButtonDblClick) {
        platform::guarded([this] { FormDblClick(); });
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TfrmPhoto::closeEvent(QCloseEvent* event)
{
    // When the frame has gone (the program ends) the viewer goes with it;
    // bringing the frame back would cancel the end.
    const QWidget* frame = parentWidget();
    if (!frame || !frame->isVisible()) {
        event->accept();
        return;
    }
    // No close button; a window manager's close returns like the double-click.
    event->ignore();
    platform::guarded([this] { FormDblClick(); });
}

} // namespace corvane
