#pragma once
// What every fuzz target shares: a Qt application on the offscreen
// platform, as the program runs inside one, and a throwaway installation
// (HOME and the XDG folders in a temporary folder, drives C:, D:, A: in it)
// that the target writes the fuzzer's bytes into before it calls the real
// code on them. The folder is in memory (/dev/shm) where there is one, as
// every input is written out as a file.

#include "platform/paths.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QString>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace fuzz {

class Place {
public:
    static Place& instance()
    {
        static Place place;
        return place;
    }

    QString root() const { return m_dir->path(); }
    QString host(const QString& relative) const { return root() + QLatin1Char('/') + relative; }

    void write(const QString& relative, const QByteArray& bytes) const { writeFile(host(relative), bytes); }

    // Writes bytes as the whole file (its folders made as needed); aborts
    // when it cannot, as a target that cannot set up tests nothing.
    static void writeFile(const QString& path, const QByteArray& bytes)
    {
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()) {
            std::fprintf(stderr, "fuzz: cannot write %s\n", qPrintable(path));
            std::abort();
        }
    }

private:
    Place()
    {
        const QString shm = QStringLiteral("/dev/shm");
        const QString base = QFileInfo(shm).isWritable() ? shm : QDir::tempPath();
        m_dir = std::make_unique<QTemporaryDir>(base + QStringLiteral("/corvane3-fuzz-XXXXXX"));
        if (!m_dir->isValid()) {
            std::fprintf(stderr, "fuzz: no temporary folder\n");
            std::abort();
        }
        for (const char* name : { "home", "data", "config", "cache", "cd/Maps" })
            QDir().mkpath(host(QString::fromLatin1(name)));
        qputenv("HOME", QFile::encodeName(host(QStringLiteral("home"))));
        qputenv("XDG_DATA_HOME", QFile::encodeName(host(QStringLiteral("data"))));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(host(QStringLiteral("config"))));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(host(QStringLiteral("cache"))));
        platform::setShareDir(root()); // D: is <root>/cd, read-only, as the shipped atlas
        platform::DriveTable::instance().load();
    }
    std::unique_ptr<QTemporaryDir> m_dir;
};

// The application object every target runs inside; made once, before the
// first input.
// Qt's warnings about damaged files would be printed for every input; a
// fatal message still ends the run as a crash.
inline void quietMessages(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "qFatal: %s\n", qPrintable(message));
        std::abort();
    }
}

inline void startApplication(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quietMessages);
    static QGuiApplication app(*argc, *argv);
    Place::instance();
}

inline QByteArray bytesOf(const uint8_t* data, size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}

} // namespace fuzz

// libFuzzer looks for leaks after every input that allocated more than it
// freed, while what it made is still reachable; at the exit Qt's font
// caches, kept in the storage of a thread that never ends, would be
// reported instead. ASAN_OPTIONS can still ask for the check at exit.
extern "C" const char* __asan_default_options()
{
    return "leak_check_at_exit=0";
}
