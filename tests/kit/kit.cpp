#include "kit.h"

#include "core/shared.h"
#include "data/datamod1.h"
#include "data/installer.h"
#include "data/tables.h"
#include "platform/paths.h"
#include "tables/table.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMetaObject>

namespace {

void setEnv(const char* name, const QString& value)
{
    qputenv(name, value.toLocal8Bit());
}

} // namespace

Kit::Kit()
{
    if (!m_home.isValid())
        throw std::runtime_error("cannot create a temporary home");
    m_savedHome = qgetenv("HOME");
    setEnv("HOME", home());
    setEnv("XDG_DATA_HOME", home() + QStringLiteral("/.local/share"));
    setEnv("XDG_CONFIG_HOME", home() + QStringLiteral("/.config"));
    setEnv("XDG_CACHE_HOME", home() + QStringLiteral("/.cache"));
    // Each kit's program is the only copy running for its user.
    const QString runtime = home() + QStringLiteral("/.runtime");
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    setEnv("XDG_RUNTIME_DIR", runtime);
    platform::setShareDir(QStringLiteral(CORVANE_SHARE_DIR));
    platform::DriveTable::instance().load();

    platform::setMessageBoxHandler([this](const platform::MessageBoxRequest& request) {
        m_messages << request;
        return m_answer;
    });
    platform::setShellOpenHandler([this](const QUrl& url) {
        m_shellRequests << url;
        return m_shellAccepts;
    });
    platform::setOpenPictureHandler([this](QWidget*, const QString&) { return m_pictureChoice; });
    platform::setSaveFileHandler(
        [this](QWidget*, const QString&, const QString&, const QStringList&) { return m_saveFileChoice; });
    platform::setOpenFileHandler(
        [this](QWidget*, const QString&, const QStringList&) { return m_openFileChoice; });
    platform::setChooseFolderHandler([this](QWidget*, const QString&, const QString&) {
        return m_folderChoices.isEmpty() ? std::nullopt : m_folderChoices.takeFirst();
    });
    platform::setScreenSizeHandler([this] { return m_screen; });
    platform::setScreenAreaHandler(
        [this] { return m_screenArea.isValid() ? m_screenArea : QRect(QPoint(0, 0), m_screen); });
}

Kit::~Kit()
{
    m_app.reset();
    platform::setMessageBoxHandler({});
    platform::setShellOpenHandler({});
    platform::setOpenPictureHandler({});
    platform::setSaveFileHandler({});
    platform::setOpenFileHandler({});
    platform::setChooseFolderHandler({});
    platform::setScreenSizeHandler({});
    platform::setScreenAreaHandler({});
    qputenv("HOME", m_savedHome);
}

QString Kit::hostPath(const QString& windowsPath) const
{
    return platform::resolve(windowsPath).value_or(QString());
}

void Kit::setScreenSize(QSize size)
{
    m_screen = size;
}

void Kit::install()
{
    corvane::installIfNeeded();
}

void Kit::setConfig(const QString& field, const QString& value)
{
    install();
    platform::Database db(QStringLiteral("Corvane3"), QStringLiteral("Atlas"));
    db.connectDatabase();
    platform::Table config(&db, corvane::configTableDef());
    config.open();
    config.edit();
    config.setFieldValue(field, value);
    config.post();
    config.close();
}

void Kit::setDrive(QChar letter, const QString& hostFolder, bool readOnly)
{
    platform::DriveTable::instance().setDrive(letter, hostFolder, readOnly);
}

void Kit::writeDriveConfig()
{
    const auto drives = platform::DriveTable::instance().drives();
    QDir().mkpath(home() + QStringLiteral("/.config/corvane3"));
    QFile conf(platform::DriveTable::configFilePath());
    if (conf.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        for (const QChar letter : { QLatin1Char('A'), QLatin1Char('C'), QLatin1Char('D') }) {
            if (!drives.contains(letter))
                conf.write(
                    QStringLiteral("%1: =\n").arg(letter).toUtf8()); // a default drive the test took away
        }
        for (auto it = drives.begin(); it != drives.end(); ++it)
            conf.write(
                QStringLiteral("%1: = %2%3\n")
                    .arg(it.key(), it->hostFolder, it->readOnly ? QStringLiteral(" (read-only)") : QString())
                    .toUtf8());
        conf.write(m_extraDriveLines);
    }
    conf.close();
}

corvane::Application& Kit::start()
{
    // The application loads the drive table itself; keep what the test set.
    writeDriveConfig();
    m_app = std::make_unique<corvane::Application>();
    if (!m_app->start())
        QTest::qFail("the application did not start", __FILE__, __LINE__);
    return *m_app;
}

void Kit::passSplash()
{
    QWidget* splash = get(QStringLiteral("frmSplash"));
    for (const char* tick : { "Timer1Timer", "Timer2Timer" }) {
        if (!QMetaObject::invokeMethod(splash, tick)) {
            const QString message = QStringLiteral("frmSplash did not run %1").arg(QLatin1String(tick));
            QTest::qFail(qPrintable(message), __FILE__, __LINE__);
            throw std::runtime_error(message.toStdString());
        }
    }
}

void Kit::click(const QString& name)
{
    QWidget* widget = get(name);
    clickAt(widget, widget->rect().center());
}

void Kit::clickAt(QWidget* widget, QPoint pos, Qt::MouseButton button)
{
    QTest::mouseClick(widget, button, Qt::NoModifier, pos);
}

QStringList Kit::messageTexts() const
{
    QStringList texts;
    for (const auto& m : m_messages)
        texts << m.text;
    return texts;
}
