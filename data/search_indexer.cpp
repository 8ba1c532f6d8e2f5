#include "data/search_indexer.h"

#include "data/search_query.h"
#include "tables/table.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <future>

#include <pthread.h>
#include <unistd.h>

namespace corvane {

namespace {

SearchIndexer* g_instance = nullptr;

// Held by the index thread while it works. A fork (the kill tests run work
// in forked children) waits for it, so the child never inherits SQLite's
// locks held half-way by a thread it does not have.
std::mutex g_working;

void registerForkGuard()
{
    static const bool registered = [] {
        pthread_atfork([] { g_working.lock(); }, [] { g_working.unlock(); }, [] { g_working.unlock(); });
        return true;
    }();
    (void)registered;
}

} // namespace

SearchIndexer::SearchIndexer(platform::Database* database, const QString& indexHostPath, QObject* parent)
    : QObject(parent)
    , m_indexPath(indexHostPath)
    , m_process(::getpid())
{
    if (database)
        connect(database, &platform::Database::rowsStored, this, &SearchIndexer::follow);
    registerForkGuard();
    m_thread = std::thread([this] { run(); });
    post([this] { m_index = std::make_unique<SearchIndex>(m_indexPath); });
    g_instance = this;
}

SearchIndexer::~SearchIndexer()
{
    if (g_instance == this)
        g_instance = nullptr;
    if (::getpid() != m_process) {
        m_thread.detach(); // it never existed here
        return;
    }
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_jobs.clear();
    }
    ++m_latestSearch; // a search underway stops at once
    m_wake.notify_all();
    m_thread.join();
}

SearchIndexer* SearchIndexer::instance()
{
    return g_instance;
}

QString SearchIndexer::defaultIndexPath(const QString& dataHostFolder)
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)
        + QStringLiteral("/corvane3/find");
    if (!QDir().mkpath(folder))
        return QStringLiteral(":memory:");
    const QByteArray key = QCryptographicHash::hash(
        QFileInfo(dataHostFolder).absoluteFilePath().toUtf8(), QCryptographicHash::Sha1);
    return folder + QLatin1Char('/') + QString::fromLatin1(key.toHex().left(16)) + QStringLiteral(".sqlite");
}

void SearchIndexer::post(std::function<void()> job)
{
    // A child forked from this process (the kill tests' workers) has no
    // index thread, and the lock may have been held at the fork.
    if (::getpid() != m_process)
        return;
    {
        const std::lock_guard lock(m_mutex);
        if (m_stopping)
            return;
        m_jobs.push_back(std::move(job));
    }
    m_wake.notify_one();
}

void SearchIndexer::run()
{
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_jobs.empty(); });
            if (m_stopping)
                break;
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        const std::lock_guard working(g_working);
        job();
        if (m_index && m_index->damaged())
            recoverFromDamage();
    }
    const std::lock_guard working(g_working);
    m_index.reset();
}

void SearchIndexer::follow(const QString& fileHostPath, const QList<qint64>& rowids)
{
    const FindSource* source = findSourceOf(QFileInfo(fileHostPath).fileName());
    if (!source)
        return;
    post([this, source, fileHostPath, rowids] {
        m_tableFiles.insert(source->fileName, fileHostPath);
        if (!rowids.isEmpty()) {
            m_index->update(*source, fileHostPath, rowids);
        } else if (!m_index->current(*source, fileHostPath)) {
            m_rebuilding = true;
            m_index->rebuild(*source, fileHostPath, [this] { return stopping(); });
            m_rebuilding = false;
        }
    });
}

void SearchIndexer::checkTable(const QString& fileHostPath)
{
    follow(fileHostPath, {});
}

// A damaged index is started anew and every table read into it again.
void SearchIndexer::recoverFromDamage()
{
    m_index->reset();
    m_rebuilding = true;
    for (auto it = m_tableFiles.cbegin(); it != m_tableFiles.cend(); ++it) {
        if (const FindSource* source = findSourceOf(it.key()))
            m_index->rebuild(*source, it.value(), [this] { return stopping(); });
    }
    m_rebuilding = false;
    // Damaged again at once: the disk will not hold it; memory will.
    if (m_index->damaged())
        m_index = std::make_unique<SearchIndex>(QStringLiteral(":memory:"));
}

// The program ending does not wait for a table to be read whole; the next
// start reads it again.
bool SearchIndexer::stopping()
{
    const std::lock_guard lock(m_mutex);
    return m_stopping;
}

int SearchIndexer::search(const QString& typed, int perKind)
{
    const int ticket = ++m_latestSearch;
    const FindQuery query = findQuery(typed);
    post([this, ticket, query, perKind] {
        if (ticket != m_latestSearch)
            return;
        const std::function<bool()> cancelled = [this, ticket] { return ticket != m_latestSearch; };
        const QList<FindHit> hits = m_index->search(query, perKind, cancelled);
        if (cancelled())
            return;
        QMetaObject::invokeMethod(
            this,
            [this, ticket, hits] {
                if (ticket == m_latestSearch)
                    emit found(ticket, hits);
            },
            Qt::QueuedConnection);
    });
    return ticket;
}

void SearchIndexer::waitUntilIdle()
{
    if (::getpid() != m_process)
        return;
    std::promise<void> done;
    std::future<void> reached = done.get_future();
    post([&done] { done.set_value(); });
    {
        const std::lock_guard lock(m_mutex);
        if (m_stopping)
            return;
    }
    reached.wait();
}

} // namespace corvane
