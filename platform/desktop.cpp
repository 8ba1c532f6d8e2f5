#include "platform/desktop.h"

#include "platform/paths.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QGridLayout>
#include <QGuiApplication>
#include <QImageReader>
#include <QLabel>
#include <QRegularExpression>
#include <QScreen>

namespace platform {

namespace {

MessageBoxHandler g_messageBox;
ShellOpenHandler g_shellOpen;
OpenPictureHandler g_openPicture;
ChooseFolderHandler g_chooseFolder;
ScreenSizeHandler g_screenSize;

bool isWebAddress(const QString& target)
{
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:[\\\\/]{2}"));
    return scheme.match(target).hasMatch();
}

// A picture preview beside the file list; QFileDialog has none of its own.
class PicturePreview : public QLabel {
public:
    explicit PicturePreview(QWidget* parent)
        : QLabel(parent)
    {
        setFixedSize(220, 220);
        setAlignment(Qt::AlignCenter);
        setFrameShape(QFrame::StyledPanel);
    }
    void showFile(const QString& path)
    {
        QImageReader reader(path);
        const QSize size = reader.size();
        if (size.isValid() && size.width() * qint64(size.height()) < 400'000'000LL)
            reader.setScaledSize(size.scaled(QSize(210, 210), Qt::KeepAspectRatio));
        const QImage image = reader.read();
        if (image.isNull())
            setText(tr("(no preview)"));
        else
            setPixmap(QPixmap::fromImage(image));
    }
};

std::optional<QString> realOpenPicture(QWidget* parent, const QString& startFolder)
{
    QFileDialog dialog(parent, QObject::tr("Open"));
    dialog.setObjectName(QStringLiteral("dlgOpenPicture"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters({QObject::tr("Pictures (*.jpg *.jpeg *.bmp *.wmf *.emf *.JPG *.JPEG *.BMP *.WMF *.EMF)"),
                           QObject::tr("All files (*)")});
    if (const auto folder = resolve(startFolder))
        dialog.setDirectory(*folder);
    auto* preview = new PicturePreview(&dialog);
    if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout()))
        grid->addWidget(preview, 1, grid->columnCount(), grid->rowCount() - 1, 1);
    QObject::connect(&dialog, &QFileDialog::currentChanged, preview, [preview](const QString& path) {
        preview->showFile(path);
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    const QString chosen = dialog.selectedFiles().constFirst();
    return toWindowsPath(chosen).value_or(chosen);
}

std::optional<QString> realChooseFolder(QWidget* parent, const QString& prompt, const QString& startFolder)
{
    QFileDialog dialog(parent, prompt);
    dialog.setObjectName(QStringLiteral("dlgChooseFolder"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    if (const auto folder = resolve(startFolder))
        dialog.setDirectory(*folder);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    const QString chosen = dialog.selectedFiles().constFirst();
    return toWindowsPath(chosen).value_or(chosen);
}

} // namespace

void setMessageBoxHandler(MessageBoxHandler handler)
{
    g_messageBox = std::move(handler);
}

QMessageBox::StandardButton messageBox(const MessageBoxRequest& request)
{
    if (g_messageBox)
        return g_messageBox(request);
    QMessageBox box(request.icon, request.title, request.text, request.buttons, QApplication::activeWindow());
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void setShellOpenHandler(ShellOpenHandler handler)
{
    g_shellOpen = std::move(handler);
}

QUrl shellUrl(const QString& target)
{
    if (isWebAddress(target)) {
        QString address = target;
        address.replace(QLatin1Char('\\'), QLatin1Char('/'));
        return QUrl(address, QUrl::TolerantMode);
    }
    const auto host = resolve(target);
    return host ? QUrl::fromLocalFile(*host) : QUrl();
}

bool shellOpen(const QString& target)
{
    const QUrl url = shellUrl(target);
    if (!url.isValid())
        return false;
    if (g_shellOpen)
        return g_shellOpen(url);
    return QDesktopServices::openUrl(url);
}

void setOpenPictureHandler(OpenPictureHandler handler)
{
    g_openPicture = std::move(handler);
}

std::optional<QString> openPictureDialog(QWidget* parent, const QString& startFolder)
{
    if (g_openPicture)
        return g_openPicture(parent, startFolder);
    return realOpenPicture(parent, startFolder);
}

void setChooseFolderHandler(ChooseFolderHandler handler)
{
    g_chooseFolder = std::move(handler);
}

std::optional<QString> chooseFolderDialog(QWidget* parent, const QString& prompt, const QString& startFolder)
{
    if (g_chooseFolder)
        return g_chooseFolder(parent, prompt, startFolder);
    return realChooseFolder(parent, prompt, startFolder);
}

void setScreenSizeHandler(ScreenSizeHandler handler)
{
    g_screenSize = std::move(handler);
}

QSize screenSize()
{
    if (g_screenSize)
        return g_screenSize();
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->size() : QSize(1024, 768);
}

} // namespace platform
