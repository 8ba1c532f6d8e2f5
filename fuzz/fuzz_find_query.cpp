// What the user types into the find field. The oracle is the promise of
// the query builder: whatever was typed, the query it makes is one the
// full-text index takes (typed characters are searched as text, never read
// as query syntax; the index keeps no word positions, so the expression
// holds no phrase, and the runs of words are checked on the rows), and the
// gazetteer's matching of the same text ends.

#include "fuzz_support.h"

#include "data/search_query.h"
#include "data/search_tokenizer.h"
#include "data/town_search.h"

#include <sqlite3.h>

namespace {

sqlite3* g_index = nullptr;

// An index of one table in memory, with the program's tokenizer and a few
// rows for the expression to meet.
void makeIndex()
{
    if (sqlite3_open(":memory:", &g_index) != SQLITE_OK || !corvane::registerSearchTokenizer(g_index)
        || !corvane::registerWordRuns(g_index)
        || sqlite3_exec(g_index,
               "CREATE VIRTUAL TABLE t USING fts5(a, b, tokenize='corvane', detail=column, columnsize=0, "
               "prefix='3');"
               "INSERT INTO t VALUES ('Kilbride mill', 'Die Straße nach Köln');"
               "INSERT INTO t VALUES ('Dún Laoghaire', 'NEAR the \"quay\" - AND * OR');",
               nullptr, nullptr, nullptr)
            != SQLITE_OK) {
        std::fprintf(stderr, "fuzz_find_query: no index: %s\n", sqlite3_errmsg(g_index));
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzz::startApplication(argc, argv);
    makeIndex();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString typed = QString::fromUtf8(fuzz::bytesOf(data, size));
    const corvane::FindQuery query = corvane::findQuery(typed);
    const QString& expression = query.expression;
    corvane::foldForSearch(typed);
    QList<corvane::GazetteerTown> towns { { QStringLiteral("Kilbride"), {}, {}, {} },
        { QStringLiteral("Großenhain an der Röder"), {}, {}, {} }, { typed, {}, {}, {} } };
    corvane::townsMatching(typed, towns);
    if (expression.isEmpty())
        return 0;
    QStringList runs;
    for (const corvane::WordRun& run : query.runs)
        runs << run.words.join(QLatin1Char(' ')) + (run.lastIsPrefix ? QStringLiteral("*") : QString());
    sqlite3_stmt* stmt = nullptr;
    const QByteArray utf8 = expression.toUtf8();
    const QByteArray runsUtf8 = runs.join(QLatin1Char('\n')).toUtf8();
    int rc = sqlite3_prepare_v2(g_index,
        runs.isEmpty() ? "SELECT rowid FROM t WHERE t MATCH ?1"
                       : "SELECT rowid FROM t WHERE t MATCH ?1 AND word_runs(t, ?2, 2)",
        -1, &stmt, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_bind_text(stmt, 1, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    if (rc == SQLITE_OK && !runs.isEmpty())
        rc = sqlite3_bind_text(stmt, 2, runsUtf8.constData(), int(runsUtf8.size()), SQLITE_TRANSIENT);
    while (rc == SQLITE_OK || rc == SQLITE_ROW)
        rc = sqlite3_step(stmt);
    if (rc != SQLITE_DONE) {
        std::fprintf(stderr, "fuzz_find_query: the index refused \"%s\": %s\n", utf8.constData(),
            sqlite3_errmsg(g_index));
        std::abort();
    }
    sqlite3_finalize(stmt);
    return 0;
}
