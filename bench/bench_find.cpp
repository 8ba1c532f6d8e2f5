// The search at 10,000 and 100,000 places with 1 KB descriptions, and five
// picture captions a place (500,000 at 100,000 places), text drawn from
// English, Gaelic and German place-name syllables and common words:
//   index_build_<n>_ms      the index built from nothing from both tables;
//   keystroke_median_<n>_ms one keystroke's search (a 3-letter word prefix,
//   keystroke_max_<n>_ms    up to 51 hits of each kind with their context),
//                           median and worst of 60; at 100,000 places also
//                           keystroke_median_ms and keystroke_max_ms;
//   keystroke_2_letters_... the same for a first word of two letters,
//                           which has no prefix index of its own;
//   phrase_median_<n>_...   the same for a phrase of two common words in
//   phrase_max_<n>_...      quotes, checked on the text of each row found;
//   phrase_absent_<n>_...   five common words never written in a row, which
//                           nearly every description holds: the worst case,
//                           each such row's text read and checked;
//   index_size_ratio_<n>    the index file's size over the indexed text's
//                           (index_size_ratio at 100,000 places);
//   store_place_ms          a place's 1 KB description stored through the
//                           engine at 100,000 places with the index
//                           following it (the store alone, on the UI
//                           thread), and store_indexed_ms until the index
//                           thread has it too.
// Beside each wall-clock figure, *_cpu_ms is the processor time of the
// thread that did the work, which a busy machine does not inflate. Growth
// from 10,000 to 100,000 places: growth_build and growth_keystroke.
// A first argument "10000" measures that size alone.

#include "bench_support.h"

#include "data/search_index.h"
#include "data/search_indexer.h"
#include "data/search_query.h"
#include "data/tables.h"
#include "data/town_search.h"
#include "platform/paths.h"
#include "tables/table.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <cstdio>
#include <ctime>

using namespace corvane;
using namespace Qt::StringLiterals;

namespace {

using bench::print;

double threadCpuMs()
{
    timespec t {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

class Words {
public:
    Words()
    {
        const QStringList syllables { u"kil"_s, u"bri"_s, u"de"_s, u"dún"_s, u"lao"_s, u"ghaire"_s,
            u"straße"_s, u"mill"_s, u"ford"_s, u"ox"_s, u"ton"_s, u"ham"_s, u"burg"_s, u"ley"_s, u"wick"_s,
            u"ash"_s, u"bury"_s, u"worth"_s, u"field"_s, u"glen"_s, u"more"_s, u"beg"_s, u"ard"_s, u"bally"_s,
            u"carr"_s, u"inch"_s, u"knock"_s, u"lis"_s, u"rath"_s, u"tul"_s, u"köln"_s, u"berg"_s,
            u"schl"_s };
        for (int i = 0; i < 40000; ++i) {
            QString word;
            for (int k = 0, n = 1 + int(m_random.bounded(3)); k < n; ++k)
                word += syllables[m_random.bounded(int(syllables.size()))];
            m_names << word;
        }
        m_common
            = u"the and of a in to by at on church river road mill castle bridge with from was where"_s.split(
                u' ');
    }
    QString text(int length)
    {
        QString out;
        out.reserve(length + 16);
        while (out.size() < length) {
            if (!out.isEmpty())
                out += u' ';
            out += m_random.bounded(2) ? m_names[m_random.bounded(int(m_names.size()))]
                                       : m_common[m_random.bounded(int(m_common.size()))];
        }
        return out;
    }
    QString name() { return m_names[m_random.bounded(int(m_names.size()))]; }
    // Two common words in closed quotes: nearly every row holds both, and
    // only the check of the row's text tells whether they stand together.
    QString phrase()
    {
        return u"\"%1 %2\""_s.arg(m_common[m_random.bounded(int(m_common.size()))],
            m_common[m_random.bounded(int(m_common.size()))]);
    }

private:
    QRandomGenerator m_random { 27 };
    QStringList m_names;
    QStringList m_common;
};

void exec(sqlite3* db, const char* sql)
{
    sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

// DESCRIP.DB and PIX.DB in folder, laid out as the engine lays them out;
// returns the bytes of text the index will hold.
qint64 writeTables(const QString& folder, int places, Words& words)
{
    platform::Database::createTableFile(folder + u"/DESCRIP.DB"_s, descripTableDef());
    platform::Database::createTableFile(folder + u"/PIX.DB"_s, pixTableDef());
    qint64 bytes = 0;
    sqlite3* db = nullptr;
    for (const auto& [file, sql] :
        { std::pair { u"DESCRIP.DB"_s, "INSERT INTO DESCRIP (Placeid, Place, Memo) VALUES (?1, ?2, ?3)" },
            std::pair { u"PIX.DB"_s,
                "INSERT INTO PIX (Filename, Placeid, Caption, Type) VALUES (?1, ?2, ?3, '.JPG')" } }) {
        sqlite3_open((folder + u'/' + file).toUtf8().constData(), &db);
        exec(db, "BEGIN");
        sqlite3_stmt* insert = nullptr;
        sqlite3_prepare_v2(db, sql, -1, &insert, nullptr);
        const bool pictures = file == u"PIX.DB"_s;
        for (int i = 0; i < places * (pictures ? 5 : 1); ++i) {
            const QByteArray a
                = pictures ? QString::number(i).rightJustified(6, u'0').toUtf8() : QByteArray();
            const QByteArray name = pictures ? a : words.name().toUtf8();
            const QByteArray text = words.text(pictures ? 60 : 1000).toUtf8();
            if (pictures) {
                sqlite3_bind_text(insert, 1, name.constData(), int(name.size()), SQLITE_TRANSIENT);
                sqlite3_bind_int(insert, 2, i / 5);
                sqlite3_bind_text(insert, 3, text.constData(), int(text.size()), SQLITE_TRANSIENT);
                bytes += text.size();
            } else {
                sqlite3_bind_int(insert, 1, i);
                sqlite3_bind_text(insert, 2, name.constData(), int(name.size()), SQLITE_TRANSIENT);
                sqlite3_bind_text(insert, 3, text.constData(), int(text.size()), SQLITE_TRANSIENT);
                bytes += name.size() + text.size();
            }
            sqlite3_step(insert);
            sqlite3_reset(insert);
        }
        sqlite3_finalize(insert);
        exec(db, "COMMIT");
        sqlite3_close(db);
    }
    return bytes;
}

qint64 fileBytes(const QString& path)
{
    return QFileInfo(path).size() + QFileInfo(path + u"-wal"_s).size();
}

struct Keystrokes {
    double median = 0, max = 0, cpuMedian = 0, cpuMax = 0;
};

// letters: the first letters of a name; 0: a phrase of common words.
Keystrokes keystrokes(SearchIndex& index, Words& words, int letters = 3)
{
    QList<double> wall, cpu;
    for (int i = 0; i < 60; ++i) {
        const QString prefix = letters > 0 ? words.name().left(letters) : words.phrase();
        const double cpuBefore = threadCpuMs();
        wall << bench::timed([&] { index.search(findQuery(prefix), 51); });
        cpu << threadCpuMs() - cpuBefore;
    }
    return { bench::median(wall), *std::max_element(wall.begin(), wall.end()), bench::median(cpu),
        *std::max_element(cpu.begin(), cpu.end()) };
}

struct SizeFigures {
    double buildMs = 0, buildCpuMs = 0, sizeRatio = 0;
    Keystrokes keys;
};

SizeFigures measure(int places, const QString& folder, Words& words)
{
    const qint64 textBytes = writeTables(folder, places, words);
    const QString indexPath = folder + u"/index.sqlite"_s;
    const QString n = places >= 100000 ? u"100k"_s : u"10k"_s;
    SizeFigures figures;
    {
        SearchIndex index(indexPath);
        const double cpuBefore = threadCpuMs();
        figures.buildMs = bench::timed([&] {
            index.rebuild(*findSourceOf(u"DESCRIP.DB"_s), folder + u"/DESCRIP.DB"_s);
            index.rebuild(*findSourceOf(u"PIX.DB"_s), folder + u"/PIX.DB"_s);
        });
        figures.buildCpuMs = threadCpuMs() - cpuBefore;
        figures.keys = keystrokes(index, words);
        const Keystrokes two = keystrokes(index, words, 2);
        print(u"keystroke_2_letters_median_%1_cpu_ms"_s.arg(n), two.cpuMedian);
        print(u"keystroke_2_letters_max_%1_cpu_ms"_s.arg(n), two.cpuMax);
        const Keystrokes phrase = keystrokes(index, words, 0);
        print(u"phrase_median_%1_cpu_ms"_s.arg(n), phrase.cpuMedian);
        print(u"phrase_max_%1_cpu_ms"_s.arg(n), phrase.cpuMax);
        const double absentBefore = threadCpuMs();
        const qsizetype hits = index.search(findQuery(u"\"the and of a in\""_s), 51).size();
        print(u"phrase_absent_%1_cpu_ms"_s.arg(n), threadCpuMs() - absentBefore);
        print(u"phrase_absent_%1_hits"_s.arg(n), double(hits));
    }
    print(u"index_build_%1_ms"_s.arg(n), figures.buildMs);
    print(u"index_build_%1_cpu_ms"_s.arg(n), figures.buildCpuMs);
    print(u"keystroke_median_%1_ms"_s.arg(n), figures.keys.median);
    print(u"keystroke_median_%1_cpu_ms"_s.arg(n), figures.keys.cpuMedian);
    print(u"keystroke_max_%1_ms"_s.arg(n), figures.keys.max);
    print(u"keystroke_max_%1_cpu_ms"_s.arg(n), figures.keys.cpuMax);
    figures.sizeRatio = double(fileBytes(indexPath)) / double(textBytes);
    print(u"index_size_ratio_%1"_s.arg(n), figures.sizeRatio);
    print(u"indexed_text_%1_mb"_s.arg(n), double(textBytes) / 1e6);
    return figures;
}

// A place's description stored through the engine while the index
// follows: the store on this thread, then until the index has it.
void storePlace(const QString& folder, Words& words)
{
    platform::DriveTable::instance().setDrive(u'C', folder);
    platform::DriveTable::instance().setAlias(u"Corvane3"_s, u"C:\\"_s);
    platform::Database db(u"Corvane3"_s, u"Atlas"_s);
    db.connectDatabase();
    platform::Table places(&db, descripTableDef());
    SearchIndexer indexer(&db, folder + u"/index.sqlite"_s);
    places.open();
    indexer.waitUntilIdle();
    QList<double> stored, indexed, cpu;
    for (int i = 0; i < 20; ++i) {
        places.moveTo(i * 997 % places.rowCount());
        const QString memo = words.text(1000);
        const double cpuBefore = threadCpuMs();
        stored << bench::timed([&] {
            places.edit();
            places.setFieldValue(u"Memo"_s, memo);
            places.post();
        });
        cpu << threadCpuMs() - cpuBefore;
        indexed << stored.last() + bench::timed([&] { indexer.waitUntilIdle(); });
    }
    print(u"store_place_ms"_s, bench::median(stored));
    print(u"store_place_cpu_ms"_s, bench::median(cpu));
    print(u"store_place_max_ms"_s, *std::max_element(stored.begin(), stored.end()));
    print(u"store_indexed_ms"_s, bench::median(indexed));
}

} // namespace

// Towns are matched on the window's thread at each key: a thousand of them,
// the median of 25 keystrokes.
void townKeystroke()
{
    QList<GazetteerTown> towns;
    for (int i = 0; i < 1000; ++i)
        towns.append({ u"Sankt Kilb\u00e9ggan-%1 an der Stra\u00dfe"_s.arg(i), {}, {}, {} });
    QList<double> times;
    for (int i = 0; i < 25; ++i) {
        QElapsedTimer timer;
        timer.start();
        const QList<int> found = townsMatching(u"kilbeggan-99 strasse"_s, towns);
        times << timer.nsecsElapsed() / 1e6;
        if (found.size() != 11)
            qFatal("town matching found %lld towns, not 11", qlonglong(found.size()));
    }
    print(u"town_keystroke_1000_ms"_s, bench::median(times));
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Words words;
    const bool smallOnly = argc > 1 && QByteArray(argv[1]) == "10000";
    QTemporaryDir small;
    const SizeFigures tenK = measure(10000, small.path(), words);
    if (smallOnly)
        return 0;
    QTemporaryDir large;
    const SizeFigures hundredK = measure(100000, large.path(), words);
    print(u"keystroke_median_ms"_s, hundredK.keys.median);
    print(u"keystroke_max_ms"_s, hundredK.keys.max);
    print(u"index_build_100k_ms"_s, hundredK.buildMs);
    print(u"index_size_ratio"_s, hundredK.sizeRatio);
    print(u"growth_build"_s, hundredK.buildCpuMs / tenK.buildCpuMs);
    print(u"growth_keystroke"_s, hundredK.keys.cpuMedian / std::max(0.001, tenK.keys.cpuMedian));
    storePlace(large.path(), words);
    townKeystroke();
    return 0;
}
