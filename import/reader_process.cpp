// The program's side of the reading helper: started for a folder, watched
// from the event loop (progress, the user's Stop, the time limit) without
// ever blocking the window, and its answer read back.
#include "import/legacy_reader.h"

#include "import/reader_wire.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>

#include <cstring>
#include <memory>

namespace corvane::legacy {

using platform::AppError;

namespace {

std::function<void()> g_childSetup;
std::function<void(qint64)> g_startedHook;

// What the reading helper said on standard error: the file it reads and
// how far it is.
struct HelperNews {
    QString file = QString::fromLatin1(kDescripFile);
    qint64 done = 0;
    qint64 total = 0;
    QByteArray pending;

    // Returns true when something new was learnt.
    bool take(const QByteArray& bytes)
    {
        pending += bytes;
        bool news = false;
        for (qsizetype end = pending.indexOf('\n'); end >= 0; end = pending.indexOf('\n')) {
            const QByteArray line = pending.left(end).trimmed();
            pending.remove(0, end + 1);
            if (line.startsWith(kFileLine)) {
                const QByteArray name = line.mid(qsizetype(std::strlen(kFileLine)));
                if (name == kDescripFile || name == kPixFile) {
                    file = QString::fromLatin1(name);
                    done = total = 0;
                    news = true;
                }
            } else if (line.startsWith(kRecordsLine)) {
                const QList<QByteArray> numbers = line.mid(qsizetype(std::strlen(kRecordsLine))).split(' ');
                if (numbers.size() == 2) {
                    done = numbers[0].toLongLong();
                    total = numbers[1].toLongLong();
                    news = true;
                }
            }
        }
        if (pending.size() > 4096) // no line of ours is that long
            pending.clear();
        return news;
    }
};

// Leaves a helper that was told to stop to end by itself, without waiting
// for it here: one stuck in a drive that does not answer can take long.
void letGo(std::unique_ptr<QProcess> reader)
{
    reader->disconnect();
    reader->kill();
    if (reader->state() == QProcess::NotRunning)
        return;
    QProcess* process = reader.release();
    QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
}

} // namespace

QString readerProgram()
{
    const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/corvane3-legacy-reader");
    if (QFileInfo(beside).isExecutable())
        return beside;
    return QStringLiteral(CORVANE_LEGACY_READER_FALLBACK);
}

Tables readTables(const QString& hostFolder, int timeoutMs)
{
    ReadWatch watch;
    watch.timeoutMs = timeoutMs;
    return readTables(hostFolder, watch);
}

Tables readTables(const QString& hostFolder, const ReadWatch& watch)
{
    auto reader = std::make_unique<QProcess>();
    if (g_childSetup)
        reader->setChildProcessModifier(g_childSetup);
    enum class End { Running, Finished, NotStarted, TimedOut, Stopped };
    End end = End::Running;
    HelperNews news;
    QEventLoop loop;
    QElapsedTimer clock;
    const auto finish = [&](End how) {
        if (end == End::Running) {
            end = how;
            loop.quit();
        }
    };
    QObject::connect(reader.get(), &QProcess::finished, &loop, [&] { finish(End::Finished); });
    QObject::connect(reader.get(), &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            finish(End::NotStarted);
    });
    QObject::connect(reader.get(), &QProcess::started, &loop, [&] {
        if (g_startedHook)
            g_startedHook(reader->processId());
    });
    const auto tell = [&] {
        if (watch.progress)
            watch.progress(QStringLiteral("Reading %1").arg(news.file), news.done, news.total);
    };
    QObject::connect(reader.get(), &QProcess::readyReadStandardError, &loop, [&] {
        if (news.take(reader->readAllStandardError()))
            tell();
    });
    QTimer tick;
    tick.setInterval(20);
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        if (watch.cancelled && watch.cancelled())
            finish(End::Stopped);
        else if (clock.elapsed() > watch.timeoutMs)
            finish(End::TimedOut);
    });
    clock.start();
    tell();
    reader->start(readerProgram(), { hostFolder });
    tick.start();
    if (end == End::Running)
        loop.exec(QEventLoop::AllEvents);
    tick.stop();

    const QString& file = news.file;
    switch (end) {
    case End::Stopped:
        letGo(std::move(reader));
        throw Cancelled();
    case End::TimedOut:
        letGo(std::move(reader));
        throw AppError(
            QStringLiteral("%1: reading this table took longer than %2 seconds, so it was stopped. "
                           "The file is probably damaged, or its disk is very slow.")
                .arg(file)
                .arg(watch.timeoutMs / 1000.0, 0, 'g', 3));
    case End::NotStarted:
        throw AppError(QStringLiteral("The program that reads the original program's tables (%1) cannot be "
                                      "started: %2")
                           .arg(readerProgram(), reader->errorString()));
    case End::Running:
    case End::Finished:
        break;
    }
    news.take(reader->readAllStandardError());
    const QString failed
        = QStringLiteral("%1: the table library failed on this file; it is probably damaged.").arg(news.file);
    QDataStream stream(reader->readAllStandardOutput());
    stream.setVersion(QDataStream::Qt_6_4);
    quint32 magic = 0;
    qint32 format = 0, status = -1;
    stream >> magic >> format >> status;
    if (reader->exitStatus() != QProcess::NormalExit || magic != kMagic || format != kFormat || status < 0)
        throw AppError(failed);
    if (status != 0) {
        QString message;
        stream >> message;
        throw AppError(message);
    }
    Tables tables;
    stream >> tables.places >> tables.pictures >> tables.unreadable >> tables.memoFileMissing;
    if (stream.status() != QDataStream::Ok)
        throw AppError(failed);
    return tables;
}

void setReaderChildSetup(std::function<void()> setup)
{
    g_childSetup = std::move(setup);
}

void setReaderStartedHook(std::function<void(qint64)> hook)
{
    g_startedHook = std::move(hook);
}

} // namespace corvane::legacy
