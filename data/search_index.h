#pragma once
// The full-text index over the atlas's tables and the user's: sheets,
// counties, places with their descriptions, picture captions and the
// glossary, one FTS5 table per table file, in a file of its own. It is
// never needed for correctness: a missing, damaged or out-of-date index is
// rebuilt from the table files, and deleting it loses nothing.
//
// Each table file's state when last read is kept beside its rows (size,
// time, inode and SQLite's change counter), so a table changed behind the
// index's back (a restore, an import, a kill before the index followed) is
// read again whole. One thread at a time; see SearchIndexer for the worker.

#include "data/search_query.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

struct sqlite3;

namespace corvane {

enum class FindKind { Sheet, County, Town, Place, Picture, Glossary };

// One table file the index reads.
struct FindSource {
    FindKind kind;
    QString fileName; // in the Data folder, "DESCRIP.DB"
    QStringList searched; // fields searched; the first names a hit
    QStringList keys; // fields kept to go to a hit
};

// Every source, in the order results are shown.
const QList<FindSource>& findSources();
const FindSource* findSourceOf(const QString& fileName);

// Marks around the matched words in FindHit::context.
inline constexpr char16_t kMatchStart = u'\uE000';
inline constexpr char16_t kMatchEnd = u'\uE001';

struct FindHit {
    FindKind kind = FindKind::Place;
    qint64 rowid = 0;
    QStringList keys; // the source's key fields, as text
    QString title; // the first searched field
    QString context; // the words around the match, the match marked
};

class SearchIndex {
public:
    // Opens the index at hostPath, or starts a new one there when it is
    // missing, damaged or of another version; ":memory:" keeps it in memory.
    explicit SearchIndex(const QString& hostPath);
    ~SearchIndex();
    SearchIndex(const SearchIndex&) = delete;
    SearchIndex& operator=(const SearchIndex&) = delete;

    QString hostPath() const { return m_path; }

    // Whether the source's rows are indexed as tableHostPath now holds them.
    bool current(const FindSource& source, const QString& tableHostPath);
    // Reads the whole table file again. A table that cannot be read, or a
    // `stop` that answers true between reads, leaves the index as it was,
    // and false is returned.
    bool rebuild(
        const FindSource& source, const QString& tableHostPath, const std::function<bool()>& stop = {});
    // Reads these rows again; a row no longer stored leaves the index.
    bool update(const FindSource& source, const QString& tableHostPath, const QList<qint64>& rowids);
    // Up to perKind hits of each kind for a query (see findQuery()), in
    // stored order. Empty when `cancelled` answers true during the search.
    QList<FindHit> search(const FindQuery& query, int perKind, const std::function<bool()>& cancelled = {});

    // Starts a new, empty index in place of a damaged one.
    void reset();
    // True once an operation met a damaged index; reset() clears it.
    bool damaged() const { return m_damaged; }

private:
    void open();
    void close();
    bool prepareSchema();
    void noteFailure();
    QString m_path;
    sqlite3* m_db = nullptr;
    bool m_damaged = false;
};

} // namespace corvane
