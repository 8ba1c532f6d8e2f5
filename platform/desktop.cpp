#include "platform/desktop.h"

#include "platform/paths.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QGuiApplication>
#include <QImageReader>
#include <QLabel>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QSocketNotifier>
#include <QStandardPaths>

#include <QPointer>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <mutex>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace platform {

namespace {

MessageBoxHandler g_messageBox;
ShellOpenHandler g_shellOpen;
QString g_shellOpenProgram;
OpenPictureHandler g_openPicture;
SaveFileHandler g_saveFile;
OpenFileHandler g_openFile;
ChooseFolderHandler g_chooseFolder;
ScreenSizeHandler g_screenSize;
ScreenAreaHandler g_screenArea;
QString g_applicationTitle;
QPointer<QWidget> g_boxParent;
int g_signalPipe[2] = { -1, -1 };
int g_watchdogPipe[2] = { -1, -1 };
std::atomic<bool> g_terminating { false };
std::atomic<int> g_deadlineMs { 400 };
std::mutex g_hardExitMutex;
HardExitHandler g_hardExit;
std::function<void()> g_terminationHandler;
QPointer<QObject> g_terminationContext;

// Async-signal-safe: a flag and one byte down each pipe: one read on the UI
// thread, one by the watchdog.
void onSignal(int)
{
    g_terminating.store(true);
    const char byte = 1;
    [[maybe_unused]] const auto a = ::write(g_signalPipe[1], &byte, 1);
    [[maybe_unused]] const auto b = ::write(g_watchdogPipe[1], &byte, 1);
}

// Waits for a termination request, then gives the UI thread the deadline
// to end the program, then ends it.
void watchdog()
{
    for (;;) {
        char byte = 0;
        const auto got = ::read(g_watchdogPipe[0], &byte, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(g_deadlineMs.load()));
        HardExitHandler hardExit;
        {
            std::lock_guard lock(g_hardExitMutex);
            hardExit = g_hardExit;
        }
        if (hardExit)
            hardExit();
        else
            ::_exit(0);
    }
}

// After the handler: nothing modal may keep the program alive.
void closeEverythingModal()
{
    for (int guard = 0; guard < 32; ++guard) {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            break;
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        modal->close();
        if (QApplication::activeModalWidget() == modal)
            modal->hide();
    }
    QCoreApplication::quit();
}

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
        setObjectName(QStringLiteral("imgPreview"));
        setFixedSize(220, 220);
        setAlignment(Qt::AlignCenter);
        setFrameShape(QFrame::StyledPanel);
    }
    void showFile(const QString& path)
    {
        QImageReader reader(path);
        reader.setAutoTransform(true); // upright, as the attached picture is shown
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
    dialog.setNameFilters(
        { QObject::tr("Pictures (*.jpg *.jpeg *.bmp *.wmf *.emf *.JPG *.JPEG *.BMP *.WMF *.EMF)"),
            QObject::tr("All files (*)") });
    if (const auto folder = resolve(startFolder))
        dialog.setDirectory(*folder);
    auto* preview = new PicturePreview(&dialog);
    if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout()))
        grid->addWidget(preview, 1, grid->columnCount(), grid->rowCount() - 1, 1);
    QObject::connect(&dialog, &QFileDialog::currentChanged, preview,
        [preview](const QString& path) { preview->showFile(path); });
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

void setMessageBoxParent(QWidget* window)
{
    g_boxParent = window;
}

QWidget* messageBoxParent()
{
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    if (g_boxParent)
        return g_boxParent;
    return QApplication::activeWindow();
}

QMessageBox::StandardButton messageBox(const MessageBoxRequest& request)
{
    if (g_terminating.load())
        return QMessageBox::NoButton;
    if (g_messageBox)
        return g_messageBox(request);
    QMessageBox box(request.icon, request.title, request.text, request.buttons, messageBoxParent());
    box.setObjectName(QStringLiteral("messageBox"));
    const auto answer = static_cast<QMessageBox::StandardButton>(box.exec());
    return g_terminating.load() ? QMessageBox::NoButton : answer;
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

void setShellOpenProgram(const QString& program)
{
    g_shellOpenProgram = program;
}

// The opener tells by its exit status whether it found a program; a
// failing one ends within a fraction of a second. One still running after
// the wait is the program it started (some openers wait for it): it is
// left to run, and its process object goes when it ends.
static bool runShellOpener(const QUrl& url)
{
    constexpr int kWaitMs = 1500;
    const QString program = g_shellOpenProgram.isEmpty() ? QStringLiteral("xdg-open") : g_shellOpenProgram;
    auto* opener = new QProcess(qApp);
    opener->setProgram(program);
    opener->setArguments({ url.isLocalFile() ? url.toLocalFile() : url.toString(QUrl::FullyEncoded) });
    opener->setStandardInputFile(QProcess::nullDevice());
    opener->setStandardOutputFile(QProcess::nullDevice());
    opener->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    opener->start();
    if (!opener->waitForStarted(kWaitMs)) {
        delete opener;
        return false;
    }
    if (!opener->waitForFinished(kWaitMs)) {
        QObject::connect(opener, &QProcess::finished, opener, &QObject::deleteLater);
        return true;
    }
    const bool opened = opener->exitStatus() == QProcess::NormalExit && opener->exitCode() == 0;
    delete opener;
    return opened;
}

bool shellOpen(const QString& target)
{
    const QUrl url = shellUrl(target);
    if (!url.isValid())
        return false;
    if (g_shellOpen)
        return g_shellOpen(url);
    return runShellOpener(url);
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

void setSaveFileHandler(SaveFileHandler handler)
{
    g_saveFile = std::move(handler);
}

std::optional<QString> saveFileDialog(
    QWidget* parent, const QString& title, const QString& suggestedPath, const QStringList& filters)
{
    if (g_saveFile)
        return g_saveFile(parent, title, suggestedPath, filters);
    QString start = suggestedPath;
    if (!start.startsWith(QLatin1Char('/')))
        start
            = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + QLatin1Char('/') + start;
    const QString chosen
        = QFileDialog::getSaveFileName(parent, title, start, filters.join(QStringLiteral(";;")));
    if (chosen.isEmpty())
        return std::nullopt;
    return chosen;
}

void setOpenFileHandler(OpenFileHandler handler)
{
    g_openFile = std::move(handler);
}

std::optional<QString> openFileDialog(QWidget* parent, const QString& title, const QStringList& filters)
{
    if (g_openFile)
        return g_openFile(parent, title, filters);
    const QString chosen = QFileDialog::getOpenFileName(parent, title,
        QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation),
        filters.join(QStringLiteral(";;")));
    if (chosen.isEmpty())
        return std::nullopt;
    return chosen;
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

void setScreenAreaHandler(ScreenAreaHandler handler)
{
    g_screenArea = std::move(handler);
}

QRect availableScreenArea()
{
    if (g_screenArea)
        return g_screenArea();
    if (g_screenSize)
        return QRect(QPoint(0, 0), g_screenSize());
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
}

void setApplicationTitle(const QString& title)
{
    g_applicationTitle = title;
}

QString applicationTitle()
{
    return g_applicationTitle.isEmpty() ? QGuiApplication::applicationName() : g_applicationTitle;
}

SingleInstance::SingleInstance(const QString& name, QObject* parent)
    : QObject(parent)
    , m_folder(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation))
    , m_name(name)
{
    if (m_folder.isEmpty())
        m_folder = QDir::tempPath();
}

SingleInstance::~SingleInstance()
{
    if (m_server)
        m_server->close();
}

bool SingleInstance::claim()
{
    const QString socketPath = m_folder + QLatin1Char('/') + m_name + QStringLiteral(".socket");
    m_lock = std::make_unique<QLockFile>(m_folder + QLatin1Char('/') + m_name + QStringLiteral(".lock"));
    m_lock->setStaleLockTime(0); // only a lock whose program is gone is stale
    if (!m_lock->tryLock(200)) {
        m_lock.reset();
        QLocalSocket socket;
        socket.connectToServer(socketPath);
        if (socket.waitForConnected(1000)) {
            socket.write("raise\n");
            socket.waitForBytesWritten(1000);
            socket.disconnectFromServer();
        }
        return false;
    }
    QLocalServer::removeServer(socketPath); // left by a copy that was killed
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* peer = m_server->nextPendingConnection()) {
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            emit activationRequested();
        }
    });
    m_server->listen(socketPath); // without it a later copy still ends, unseen
    return true;
}

void onTerminationRequest(QObject* context, std::function<void()> handler, int deadlineMs)
{
    g_deadlineMs.store(deadlineMs);
    g_terminationHandler = std::move(handler);
    if (g_terminationContext != context) {
        g_terminationContext = context;
        if (g_signalPipe[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0)
            return;
        if (g_watchdogPipe[0] < 0) {
            if (::pipe(g_watchdogPipe) != 0)
                return;
            std::thread(watchdog).detach();
        }
        auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, context);
        QObject::connect(notifier, &QSocketNotifier::activated, context, [] {
            char byte = 0;
            [[maybe_unused]] const auto got = ::read(g_signalPipe[0], &byte, 1);
            if (g_terminationHandler)
                g_terminationHandler();
            closeEverythingModal();
        });
    }
    struct sigaction action { };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : { SIGTERM, SIGHUP, SIGINT })
        sigaction(signal, &action, nullptr);
}

bool terminationRequested()
{
    return g_terminating.load();
}

void clearTerminationRequest()
{
    g_terminating.store(false);
}

void setHardExitHandler(HardExitHandler handler)
{
    std::lock_guard lock(g_hardExitMutex);
    g_hardExit = std::move(handler);
}

} // namespace platform
