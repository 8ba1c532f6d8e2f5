// The full-text index on its own, over table files written here: what
// matches what (case, accents, ß and the like, prefixes, several words,
// phrases), what a user may type that looks like query syntax, rows
// followed after a store, and an index rebuilt when it is missing,
// damaged or behind its table file. The gazetteer's towns, matched outside
// the index, must follow the very same rules.
#include "data/search_index.h"
#include "data/search_query.h"
#include "data/search_tokenizer.h"
#include "data/town_search.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

using namespace corvane;
using namespace Qt::StringLiterals;

namespace {

const FindSource& placesSource()
{
    return *findSourceOf(u"DESCRIP.DB"_s);
}

// DESCRIP.DB as the engine lays it out, with these places.
class PlacesFile {
public:
    PlacesFile()
    {
        sqlite3_open(path().toUtf8().constData(), &m_db);
        exec(u"CREATE TABLE DESCRIP (Placeid INTEGER, Place TEXT, Page TEXT, Coords TEXT, Memo TEXT)"_s);
    }
    ~PlacesFile() { sqlite3_close(m_db); }
    QString path() const { return m_dir.filePath(u"DESCRIP.DB"_s); }
    qint64 add(int id, const QString& name, const QString& memo = {})
    {
        exec(u"INSERT INTO DESCRIP (Placeid, Place, Memo) VALUES (%1, '%2', '%3')"_s.arg(id).arg(name, memo));
        return sqlite3_last_insert_rowid(m_db);
    }
    void exec(const QString& sql)
    {
        QCOMPARE(sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, nullptr), SQLITE_OK);
    }
    QString indexPath() const { return m_dir.filePath(u"index.sqlite"_s); }

private:
    QTemporaryDir m_dir;
    sqlite3* m_db = nullptr;
};

QStringList placesFound(SearchIndex& index, const QString& typed)
{
    QStringList names;
    for (const FindHit& hit : index.search(findQuery(typed), 50)) {
        if (hit.kind == FindKind::Place)
            names << hit.title;
    }
    return names;
}

} // namespace

class TestSearchIndex : public QObject {
    Q_OBJECT

private slots:
    void matching_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("found");
        QTest::newRow("plain") << u"Köln"_s << u"koln"_s << true;
        QTest::newRow("capitals") << u"Köln"_s << u"KÖLN"_s << true;
        QTest::newRow("as written") << u"Koln"_s << u"Köln"_s << true;
        QTest::newRow("sharp s") << u"Hauptstraße"_s << u"hauptstrasse"_s << true;
        QTest::newRow("sharp s typed") << u"Hauptstrasse"_s << u"Hauptstraße"_s << true;
        QTest::newRow("sharp s prefix") << u"Straße"_s << u"straß"_s << true;
        QTest::newRow("capital sharp s") << u"STRAẞE"_s << u"strasse"_s << true;
        QTest::newRow("fada") << u"Dún Laoghaire"_s << u"Dun Laoghaire"_s << true;
        QTest::newRow("ash") << u"Æbeltoft"_s << u"aebeltoft"_s << true;
        QTest::newRow("slashed o") << u"Øresund"_s << u"oresund"_s << true;
        QTest::newRow("thorn") << u"Þingvellir"_s << u"thingvellir"_s << true;
        QTest::newRow("stroke l") << u"Łódź"_s << u"lodz"_s << true;
        QTest::newRow("prefix") << u"the mill at Kilbride"_s << u"kilb"_s << true;
        QTest::newRow("not inside a word") << u"the mill at Kilbride"_s << u"bride"_s << false;
        QTest::newRow("all words") << u"the mill at Kilbride"_s << u"mill kilb"_s << true;
        QTest::newRow("all words must match") << u"the mill at Kilbride"_s << u"mill oxford"_s << false;
        QTest::newRow("phrase") << u"the mill at Kilbride"_s << u"\"mill at kilbride\""_s << true;
        QTest::newRow("phrase in order") << u"the mill at Kilbride"_s << u"\"kilbride mill\""_s << false;
        QTest::newRow("unbalanced quote") << u"the mill at Kilbride"_s << u"\"mill kilb"_s << true;
        QTest::newRow("minus is no NOT") << u"the mill at Kilbride"_s << u"mill -kilbride"_s << true;
        QTest::newRow("OR is a word") << u"the mill at Kilbride"_s << u"mill OR oxford"_s << false;
        QTest::newRow("NOT is a word") << u"the mill at Kilbride"_s << u"mill NOT kilbride"_s << false;
        QTest::newRow("column filter is text") << u"the mill at Kilbride"_s << u"Memo:mill"_s << false;
        QTest::newRow("colon in the text") << u"Memo: mill"_s << u"memo:mill"_s << true;
        QTest::newRow("apostrophe") << u"O'Brien's mill"_s << u"o'brien"_s << true;
    }
    void matching()
    {
        QFETCH(QString, stored);
        QFETCH(QString, typed);
        QFETCH(bool, found);
        PlacesFile file;
        file.add(1, u"Somewhere"_s, QString(stored).replace(u'\'', u"''"_s));
        SearchIndex index(file.indexPath());
        QVERIFY(index.rebuild(placesSource(), file.path()));
        QCOMPARE(placesFound(index, typed).size(), found ? 1 : 0);
        QCOMPARE(townNameMatches(townWords(stored), typed), found);
    }

    void townsMatchingGivesGazetteerIndexes()
    {
        const QList<GazetteerTown> towns { { u"Kilbéggan"_s, {}, {}, {} },
            { u"Upper Kilbarry"_s, {}, {}, {} }, { u"Lower Kilbarry"_s, {}, {}, {} },
            { u"Großenhain"_s, {}, {}, {} } };
        QCOMPARE(townsMatching(u"kilb"_s, towns), (QList<int> { 0, 1, 2 }));
        QCOMPARE(townsMatching(u"KILBEGG"_s, towns), QList<int> { 0 });
        QCOMPARE(townsMatching(u"kilb low"_s, towns), QList<int> { 2 });
        QCOMPARE(townsMatching(u"grossen"_s, towns), QList<int> { 3 });
        QCOMPARE(townsMatching(u"\"lower kilbarry\""_s, towns), QList<int> { 2 });
        QCOMPARE(townsMatching(u"\"lower kilb\""_s, towns), QList<int>());
        QCOMPARE(townsMatching(u"barry"_s, towns), QList<int>());
        QCOMPARE(townsMatching(u"  \" - * "_s, towns), QList<int>());
        QCOMPARE(townsMatching(QString(u'\0'), towns), QList<int>());
    }

    // Typed text is searched as text: never an error, never the whole
    // index, nothing at all for text without a letter or digit.
    void hostileInput_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::newRow("long") << QString(10000, u'a');
        QTest::newRow("long words") << u"mill "_s.repeated(2000);
        QTest::newRow("syntax") << u"* - : ( ) ^ + \" NEAR(mill kil, 2) AND OR NOT {Place}:"_s;
        QTest::newRow("unbalanced") << u"\"\"\"mill"_s;
        QTest::newRow("spaces") << u"     "_s;
        QTest::newRow("control") << u"mi\u0001ll\u0000\u001b[2J\t\r\n"_s;
        QTest::newRow("quote doubling") << u"\"\"\"\"\"\"\""_s;
        QTest::newRow("lone surrogate") << QString(QChar(0xD800)) + u"mill"_s;
    }
    void hostileInput()
    {
        QFETCH(QString, typed);
        PlacesFile file;
        file.add(1, u"Mill"_s, u"the mill at Kilbride"_s);
        file.add(2, u"Ford"_s, u"a ford"_s);
        SearchIndex index(file.indexPath());
        QVERIFY(index.rebuild(placesSource(), file.path()));
        QElapsedTimer clock;
        clock.start();
        const QStringList found = placesFound(index, typed);
        QVERIFY2(clock.elapsed() < 2000, "a hostile search took seconds");
        QVERIFY(!found.contains(u"Ford"_s));
        QVERIFY(!index.damaged());
        QVERIFY(index.current(placesSource(), file.path()));
    }

    // Every word is looked up on its own; a term of several words is left
    // as a run to check on the row, its last word a prefix unless quoted.
    void findQueryLooksUpEveryWord()
    {
        QCOMPARE(matchExpression(u"kil"_s), u"\"kil\"*"_s);
        const FindQuery query = findQuery(u"Mill \"at Kil\" x\"y o'Brí"_s);
        QCOMPARE(query.expression,
            u"\"mill\"* AND \"at\" AND \"kil\" AND \"x\"* AND \"y\"* AND \"o\" AND \"bri\"*"_s);
        QCOMPARE(query.runs.size(), 2);
        QCOMPARE(query.runs[0].words, (QStringList { u"at"_s, u"kil"_s }));
        QVERIFY(!query.runs[0].lastIsPrefix);
        QCOMPARE(query.runs[1].words, (QStringList { u"o"_s, u"bri"_s }));
        QVERIFY(query.runs[1].lastIsPrefix);
        QCOMPARE(matchExpression(u" * - ( ) "_s), QString());
    }

    // Runs are checked on the row's words as the index makes them: within
    // one field, in order, every word of a long phrase.
    void phrasesAreCheckedOnTheRow_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("found");
        const QString memo = u"one two three four five six seven eight nine ten"_s;
        QTest::newRow("whole") << u"\"%1\""_s.arg(memo) << true;
        QTest::newRow("tenth word differs") << u"\"%1\""_s.arg(memo.chopped(3) + u"eleven"_s) << false;
        QTest::newRow("across fields") << u"\"mühle one\""_s << false;
        QTest::newRow("name") << u"\"Mühle AM Weiher\""_s << true;
        QTest::newRow("name and memo") << u"\"mühle am\" \"two three\""_s << true;
        QTest::newRow("hyphenated prefix") << u"weiher-o"_s << false;
        QTest::newRow("word prefix in a run") << u"am-wei"_s << true;
    }
    void phrasesAreCheckedOnTheRow()
    {
        QFETCH(QString, typed);
        QFETCH(bool, found);
        PlacesFile file;
        file.add(1, u"Mühle am Weiher"_s, u"one two three four five six seven eight nine ten"_s);
        SearchIndex index(file.indexPath());
        QVERIFY(index.rebuild(placesSource(), file.path()));
        QCOMPARE(placesFound(index, typed).size(), found ? 1 : 0);
    }

    // A row stored again is found by its new words only; a row deleted is
    // found no more; a table changed behind the index's back is noticed.
    void followsTheTableFile()
    {
        PlacesFile file;
        const qint64 mill = file.add(1, u"Kilbride Mill"_s);
        const qint64 ford = file.add(2, u"Oxford"_s);
        SearchIndex index(file.indexPath());
        QVERIFY(index.rebuild(placesSource(), file.path()));
        QVERIFY(index.current(placesSource(), file.path()));
        file.exec(u"UPDATE DESCRIP SET Place='Glenmore Mill' WHERE rowid=%1"_s.arg(mill));
        QVERIFY(!index.current(placesSource(), file.path()));
        QVERIFY(index.update(placesSource(), file.path(), { mill }));
        QCOMPARE(placesFound(index, u"glenm"_s), QStringList { u"Glenmore Mill"_s });
        QVERIFY(placesFound(index, u"kilbride"_s).isEmpty());
        file.exec(u"DELETE FROM DESCRIP WHERE rowid=%1"_s.arg(ford));
        QVERIFY(index.update(placesSource(), file.path(), { ford }));
        QVERIFY(placesFound(index, u"oxford"_s).isEmpty());
        QVERIFY(index.current(placesSource(), file.path()));
    }

    // Deleted or damaged, the index starts anew and is read again whole.
    void rebuiltWhenMissingOrDamaged_data()
    {
        QTest::addColumn<QByteArray>("replacement"); // empty: the file deleted
        QTest::newRow("deleted") << QByteArray();
        QTest::newRow("garbage") << QByteArray(8192, 'x');
        QTest::newRow("cut short") << QByteArray("SQLite format 3\0", 16);
    }
    void rebuiltWhenMissingOrDamaged()
    {
        QFETCH(QByteArray, replacement);
        PlacesFile file;
        file.add(1, u"Kilbride"_s);
        {
            SearchIndex index(file.indexPath());
            QVERIFY(index.rebuild(placesSource(), file.path()));
        }
        QFile::remove(file.indexPath() + u"-wal"_s);
        QFile::remove(file.indexPath() + u"-shm"_s);
        QFile stored(file.indexPath());
        if (replacement.isEmpty()) {
            QVERIFY(stored.remove());
        } else {
            QVERIFY(stored.open(QIODevice::WriteOnly | QIODevice::Truncate));
            stored.write(replacement);
            stored.close();
        }
        SearchIndex index(file.indexPath());
        QCOMPARE(index.hostPath(), file.indexPath()); // on disk again, not in memory
        QVERIFY(!index.current(placesSource(), file.path()));
        QVERIFY(index.rebuild(placesSource(), file.path()));
        QCOMPARE(placesFound(index, u"kil"_s), QStringList { u"Kilbride"_s });
    }

    // An index an earlier version laid out (word positions kept, as the
    // version number 2 said) is started anew and read again, though its
    // record of the table file is up to date.
    void anIndexOfAnEarlierLayoutIsStartedAnew()
    {
        PlacesFile file;
        file.add(1, u"Kilbride Mill"_s);
        {
            SearchIndex index(file.indexPath());
            QVERIFY(index.rebuild(placesSource(), file.path()));
        }
        sqlite3* old = nullptr;
        QCOMPARE(sqlite3_open(file.indexPath().toUtf8().constData(), &old), SQLITE_OK);
        QVERIFY(registerSearchTokenizer(old));
        QCOMPARE(sqlite3_exec(old,
                     "DROP TABLE fts_descrip; CREATE VIRTUAL TABLE fts_descrip USING fts5(Place, Memo, "
                     "Placeid UNINDEXED, tokenize='corvane', columnsize=0, prefix='3'); "
                     "INSERT INTO fts_descrip(rowid, Place) VALUES (1, 'Glenmore'); PRAGMA user_version=2",
                     nullptr, nullptr, nullptr),
            SQLITE_OK);
        sqlite3_close(old);
        SearchIndex index(file.indexPath());
        QCOMPARE(index.hostPath(), file.indexPath());
        QVERIFY(!index.current(placesSource(), file.path()));
        QVERIFY(placesFound(index, u"glenmore"_s).isEmpty());
        QVERIFY(index.rebuild(placesSource(), file.path()));
        QCOMPARE(placesFound(index, u"\"kilbride mill\""_s), QStringList { u"Kilbride Mill"_s });
    }

    void aCancelledSearchGivesNothing()
    {
        PlacesFile file;
        for (int i = 0; i < 200; ++i)
            file.add(i, u"Mill %1"_s.arg(i));
        SearchIndex index(file.indexPath());
        QVERIFY(index.rebuild(placesSource(), file.path()));
        QVERIFY(index.search(findQuery(u"mill"_s), 50, [] { return true; }).isEmpty());
        QCOMPARE(index.search(findQuery(u"mill"_s), 50).size(), 50);
        QVERIFY(!index.damaged());
    }
};

QTEST_GUILESS_MAIN(TestSearchIndex)
#include "test_search_index.moc"
