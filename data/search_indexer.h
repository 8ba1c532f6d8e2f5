#pragma once
// The full-text index kept in step with the tables, on a thread of its own:
// every store the database reports is read into the index there, a table
// opened after it changed behind the index's back (a restore, an import,
// "go back") is read again whole, and a damaged index is started anew.
// Searches run there too, so typing never waits for one; a newer search
// cancels the older.

#include "data/search_index.h"

#include <QHash>
#include <QObject>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace platform {
class Database;
}

namespace corvane {

class SearchIndexer : public QObject {
    Q_OBJECT
public:
    // Follows the database's stores; the index lives at indexHostPath.
    SearchIndexer(platform::Database* database, const QString& indexHostPath, QObject* parent = nullptr);
    ~SearchIndexer() override;

    // The one the program runs; null before it starts.
    static SearchIndexer* instance();
    // The index's file for the tables of a Data folder: the user's cache
    // folder ($XDG_CACHE_HOME/corvane3/find), so deleting it loses nothing.
    static QString defaultIndexPath(const QString& dataHostFolder);

    // Reads the table file again if it changed since the index last read it.
    void checkTable(const QString& fileHostPath);
    // Starts a search for what the user typed; its ticket comes back with
    // found(). A search started later makes this one's result never come.
    int search(const QString& typed, int perKind);
    // Blocks until the thread has done everything asked of it so far.
    void waitUntilIdle();
    // True while a table is being read whole.
    bool rebuilding() const { return m_rebuilding; }

signals:
    void found(int ticket, const QList<corvane::FindHit>& hits);

private:
    void post(std::function<void()> job);
    void run();
    void follow(const QString& fileHostPath, const QList<qint64>& rowids);
    void recoverFromDamage();
    bool stopping();

    std::unique_ptr<SearchIndex> m_index; // used on the thread only
    QString m_indexPath;
    QHash<QString, QString> m_tableFiles; // file name -> host path, thread only
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_jobs;
    bool m_stopping = false;
    std::atomic<int> m_latestSearch { 0 };
    std::atomic<bool> m_rebuilding { false };
    const int m_process; // the process the thread runs in
    std::thread m_thread;
};

} // namespace corvane
