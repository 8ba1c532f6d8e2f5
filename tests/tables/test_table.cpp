// The table engine: cursor, key order, pending changes, refusals and what
// reaches the table files.

#include "platform/paths.h"
#include "tables/table.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

#include <csignal>
#include <cstring>
#include <memory>

#include <sys/wait.h>
#include <unistd.h>

using namespace platform;

namespace {

FieldDef text(const char* name, int width, int displayWidth = 0, bool required = false)
{
    return { QString::fromLatin1(name), FieldType::Text, width, displayWidth, required };
}

FieldDef integer(const char* name)
{
    return { QString::fromLatin1(name), FieldType::Integer };
}

TableDef descripDef()
{
    return { QStringLiteral("tblDescrip"), QStringLiteral("DESCRIP.DB"),
        { integer("Placeid"), text("Place", 40), { QStringLiteral("Memo"), FieldType::Memo, 100 } },
        { { QStringLiteral("tblDescripIndex1"), QStringLiteral("Placeid"), true, true, false },
            { QStringLiteral("ndxPlacename"), QStringLiteral("Place"), false, false, true } } };
}

TableDef pixDef()
{
    return { QStringLiteral("tblPix"), QStringLiteral("PIX.DB"),
        { text("Filename", 6, 0, true), integer("Placeid"), text("Caption", 120), text("Type", 5) },
        { { QStringLiteral("ndxFilename"), QStringLiteral("Filename"), false, true, true },
            { QStringLiteral("ndxPlaceid"), QStringLiteral("Placeid"), false, false, false } } };
}

TableDef mapsDef()
{
    return { QStringLiteral("tblMaps"), QStringLiteral("MAPS.DB"),
        { text("Map", 10, 255, true), text("Title", 60), text("Country", 1) },
        { { QStringLiteral("tblMapsIndex1"), QStringLiteral("Map"), true, true, false } } };
}

TableDef abbrevDef()
{
    FieldDef language = text("Language", 60, 40);
    language.objectName = QStringLiteral("language");
    return { QStringLiteral("tblAbbrev"), QStringLiteral("ABBREV.DB"), { text("Abbrev", 60, 25), language },
        {} };
}

// First column of the first row of a query run on a table file directly.
QString sqlValue(const QString& file, const QString& sql)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(file.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_stmt* stmt = nullptr;
    QString result = QStringLiteral("<none>");
    if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &stmt, nullptr) == SQLITE_OK
        && sqlite3_step(stmt) == SQLITE_ROW)
        result = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return result;
}

QStringList strings(std::initializer_list<const char*> texts)
{
    QStringList list;
    for (const char* t : texts)
        list << QString::fromUtf8(t);
    return list;
}

void add(Table& table, const QVariantMap& values)
{
    table.append();
    for (auto it = values.begin(); it != values.end(); ++it)
        table.setFieldValue(it.key(), it.value());
    table.post();
}

QStringList column(const Table& table, const QString& field)
{
    QStringList values;
    for (int row = 0; row < table.rowCount(); ++row)
        values << table.valueAt(row, table.fieldIndex(field)).toString();
    return values;
}

QStringList walk(Table& table, const QString& field)
{
    QStringList values;
    table.first();
    while (!table.eof()) {
        values << table.fieldAsString(field);
        table.next();
    }
    return values;
}

QString errorOf(const std::function<void()>& step)
{
    try {
        step();
    } catch (const EngineError& e) {
        return e.message();
    }
    return {};
}

// A file system that dies at one exact step of a commit: a VFS wrapped
// around the default one that kills the process with SIGKILL when SQLite
// deletes a file whose name contains the needle, before or after deleting
// it. Armed by setting the needle.
namespace dying {

sqlite3_vfs* g_real = nullptr;
sqlite3_vfs g_vfs;
const char* g_needle = nullptr;
bool g_afterDelete = false;

int deleteFile(sqlite3_vfs*, const char* name, int syncDir)
{
    const bool hit = g_needle && name && std::strstr(name, g_needle);
    if (hit && !g_afterDelete)
        ::kill(::getpid(), SIGKILL);
    const int rc = g_real->xDelete(g_real, name, syncDir);
    if (hit && g_afterDelete)
        ::kill(::getpid(), SIGKILL);
    return rc;
}

// In the child only: every connection opened from now on uses it.
void install(bool afterDelete)
{
    g_real = sqlite3_vfs_find(nullptr);
    g_vfs = *g_real;
    g_vfs.zName = "dying";
    g_vfs.xDelete = deleteFile;
    g_afterDelete = afterDelete;
    sqlite3_vfs_register(&g_vfs, 1);
}

} // namespace dying

} // namespace

class TestTable : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Database> m_db;

    QString dataFile(const QString& name) const { return m_dir->path() + QStringLiteral("/Data/") + name; }

    std::unique_ptr<Table> openTable(const TableDef& def, Database* db = nullptr)
    {
        if (!QFile::exists(dataFile(def.fileName)))
            Database::createTableFile(dataFile(def.fileName), def);
        auto table = std::make_unique<Table>(db ? db : m_db.get(), def);
        table->open();
        return table;
    }

    // DESCRIP with Placeid 0..count-1 named A, B, C...
    std::unique_ptr<Table> places(int count)
    {
        auto table = openTable(descripDef());
        for (int i = 0; i < count; ++i) {
            add(*table,
                { { QStringLiteral("Placeid"), i }, { QStringLiteral("Place"), QString(QChar(u'A' + i)) },
                    { QStringLiteral("Memo"), QStringLiteral("memo %1").arg(i) } });
        }
        return table;
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("Data")));
        DriveTable::instance().setDrive(QLatin1Char('C'), m_dir->path());
        DriveTable::instance().setAlias(QStringLiteral("Corvane3"), QStringLiteral("C:\\Data\\"));
        m_db = std::make_unique<Database>(QStringLiteral("Corvane3"), QStringLiteral("Atlas"));
        m_db->connectDatabase();
    }

    void cleanup()
    {
        m_db.reset();
        m_dir.reset();
    }

    void keyedPostPutsNewRecordAtItsKey()
    {
        auto table = openTable(descripDef());
        QSignalSpy scrolls(table.get(), &Table::afterScroll);
        for (int id : { 5, 1, 3, 4 }) {
            add(*table,
                { { QStringLiteral("Placeid"), id }, { QStringLiteral("Place"), QString::number(id) } });
            QCOMPARE(table->fieldAsInteger(QStringLiteral("Placeid")), id);
        }
        QCOMPARE(column(*table, QStringLiteral("Placeid")), strings({ "1", "3", "4", "5" }));
        QCOMPARE(table->recNo(), 2);
        QCOMPARE(scrolls.count(), 4);
        table->append();
        QCOMPARE(table->recNo(), 4);
        QCOMPARE(table->rowCount(), 5);
        QCOMPARE(table->recordCount(), 4);
    }

    void unkeyedPostGoesToTheEnd()
    {
        auto table = openTable(abbrevDef());
        for (const char* word : { "b", "a", "c" }) {
            add(*table, { { QStringLiteral("Abbrev"), QString::fromLatin1(word) } });
            QCOMPARE(table->recNo(), table->recordCount() - 1);
        }
        table->close();
        table->open();
        QCOMPARE(walk(*table, QStringLiteral("Abbrev")), strings({ "b", "a", "c" }));
    }

    // The order kept in memory must be the order the file gives on the next
    // open, for text keys (code point order), case-insensitive indexes and
    // integer keys.
    void orderInMemoryMatchesStoredOrder()
    {
        auto maps = openTable(mapsDef());
        const QStringList keys { QStringLiteral("b"), QStringLiteral("B"), QStringLiteral("a"),
            QStringLiteral("\u00e9"), QStringLiteral("Z"), QStringLiteral("aa"), QStringLiteral("\uFF21"),
            QString::fromUtf8("\xF0\x9F\x98\x80"), QStringLiteral("A-1"), QStringLiteral("10") };
        for (const QString& key : keys)
            add(*maps, { { QStringLiteral("Map"), key } });
        const QStringList inMemory = column(*maps, QStringLiteral("Map"));
        maps->close();
        maps->open();
        QCOMPARE(walk(*maps, QStringLiteral("Map")), inMemory);

        auto descrip = openTable(descripDef());
        descrip->setIndexName(QStringLiteral("ndxPlacename"));
        const QStringList names { QStringLiteral("beta"), QStringLiteral("Alpha"), QStringLiteral("alpha"),
            QStringLiteral("BETA"), QString(), QStringLiteral("_x"), QStringLiteral("a") };
        for (int i = 0; i < names.size(); ++i)
            add(*descrip,
                { { QStringLiteral("Placeid"), 100 - i * 7 }, { QStringLiteral("Place"), names[i] } });
        const QStringList byName = column(*descrip, QStringLiteral("Placeid"));
        descrip->close();
        descrip->open();
        QCOMPARE(walk(*descrip, QStringLiteral("Placeid")), byName);
        descrip->setIndexName(QString());
        QStringList byId = column(*descrip, QStringLiteral("Placeid"));
        std::sort(byId.begin(), byId.end(),
            [](const QString& a, const QString& b) { return a.toInt() < b.toInt(); });
        QCOMPARE(column(*descrip, QStringLiteral("Placeid")), byId);
    }

    // Records added in one batch, out of order and between the rows held,
    // take the places they will have on the next open; the current record
    // stays current.
    void appendedRecordsTakeTheirPlacesAmongTheRows()
    {
        auto table = openTable(descripDef());
        for (int id : { 10, 20, 30 })
            add(*table,
                { { QStringLiteral("Placeid"), id }, { QStringLiteral("Place"), QString::number(id) } });
        QVERIFY(table->findKey({ 20 }));
        table->appendRecords({ { 25, QStringLiteral("25") }, { 5, QStringLiteral("5") },
            { 35, QStringLiteral("35") }, { 15, QStringLiteral("15") } });
        const QStringList expected = strings({ "5", "10", "15", "20", "25", "30", "35" });
        QCOMPARE(column(*table, QStringLiteral("Placeid")), expected);
        QCOMPARE(table->fieldAsInteger(QStringLiteral("Placeid")), 20);
        table->appendRecords({ { 50, QStringLiteral("50") }, { 40, QStringLiteral("40") } });
        QCOMPARE(column(*table, QStringLiteral("Placeid")), expected + strings({ "40", "50" }));
        table->close();
        table->open();
        QCOMPARE(walk(*table, QStringLiteral("Placeid")), expected + strings({ "40", "50" }));
    }

    void findKeyMovesOnlyWhenFound()
    {
        auto maps = openTable(mapsDef());
        for (const char* id : { "GB-01", "GB-02", "GB-03" })
            add(*maps, { { QStringLiteral("Map"), QString::fromLatin1(id) } });
        maps->moveTo(1);
        QSignalSpy scrolls(maps.get(), &Table::afterScroll);
        QVERIFY(!maps->findKey({ QStringLiteral("GB-99") }));
        QVERIFY(!maps->findKey({ QStringLiteral("gb-03") })); // the primary index is case-sensitive
        QCOMPARE(maps->fieldAsString(QStringLiteral("Map")), QStringLiteral("GB-02"));
        QVERIFY(maps->findKey({ QStringLiteral("GB-03") }));
        QCOMPARE(maps->recNo(), 2);
        QCOMPARE(scrolls.count(), 1);

        maps->edit();
        maps->setFieldValue(QStringLiteral("Title"), QStringLiteral("stored by the search"));
        QVERIFY(!maps->findKey({ QStringLiteral("nowhere") }));
        QCOMPARE(maps->state(), Table::State::Browse);
        QCOMPARE(sqlValue(dataFile(QStringLiteral("MAPS.DB")),
                     QStringLiteral("SELECT Title FROM MAPS WHERE Map='GB-03'")),
            QStringLiteral("stored by the search"));

        auto descrip = places(3);
        QVERIFY(descrip->findKey({ QStringLiteral("2") }));
        QCOMPARE(descrip->fieldAsString(QStringLiteral("Place")), QStringLiteral("C"));
    }

    void pendingChangeResolvedByEveryMove_data()
    {
        QTest::addColumn<QString>("move");
        QTest::addColumn<bool>("modified");
        for (const char* move : { "first", "next", "findKey", "moveTo", "append", "resolvePending" }) {
            QTest::newRow(QByteArray(move) + " modified") << QString::fromLatin1(move) << true;
            QTest::newRow(QByteArray(move) + " unmodified") << QString::fromLatin1(move) << false;
        }
    }

    void pendingChangeResolvedByEveryMove()
    {
        QFETCH(QString, move);
        QFETCH(bool, modified);
        auto table = places(3);
        table->moveTo(1);
        table->edit();
        if (modified)
            table->setFieldValue(QStringLiteral("Memo"), QStringLiteral("typed"));
        if (move == QLatin1String("first"))
            table->first();
        else if (move == QLatin1String("next"))
            table->next();
        else if (move == QLatin1String("findKey"))
            table->findKey({ 2 });
        else if (move == QLatin1String("moveTo"))
            table->moveTo(0);
        else if (move == QLatin1String("append"))
            table->append();
        else
            table->resolvePending();
        QCOMPARE(
            table->state(), move == QLatin1String("append") ? Table::State::Insert : Table::State::Browse);
        QCOMPARE(sqlValue(dataFile(QStringLiteral("DESCRIP.DB")),
                     QStringLiteral("SELECT Memo FROM DESCRIP WHERE Placeid=1")),
            modified ? QStringLiteral("typed") : QStringLiteral("memo 1"));
    }

    // A grid click names a row as the user saw it; posting the edit first may
    // move the edited record elsewhere in the order, and the click must still
    // reach the record that row showed.
    void aMoveAfterAReorderingEditReachesTheRowShown_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("shown");
        QTest::newRow("next row") << 1 << QStringLiteral("M");
        QTest::newRow("last row") << 2 << QStringLiteral("Q");
    }
    void aMoveAfterAReorderingEditReachesTheRowShown()
    {
        QFETCH(int, row);
        QFETCH(QString, shown);
        auto table = openTable(descripDef());
        table->setIndexName(QStringLiteral("ndxPlacename"));
        for (const char* name : { "Q", "A", "M" })
            add(*table,
                { { QStringLiteral("Placeid"), int(name[0]) },
                    { QStringLiteral("Place"), QString::fromLatin1(name) } });
        table->first();
        table->edit();
        table->setFieldValue(QStringLiteral("Place"), QStringLiteral("Z"));
        QCOMPARE(column(*table, QStringLiteral("Place")), strings({ "Z", "M", "Q" }));
        QCOMPARE(table->valueAt(row, table->fieldIndex(QStringLiteral("Place"))).toString(), shown);
        table->moveTo(row);
        QCOMPARE(table->fieldAsString(QStringLiteral("Place")), shown);
        QCOMPARE(column(*table, QStringLiteral("Place")), strings({ "M", "Q", "Z" }));
        QCOMPARE(
            table->valueAt(table->recNo(), table->fieldIndex(QStringLiteral("Place"))).toString(), shown);
    }

    void integerFieldsKeepToTheirRange_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<bool>("stored");
        QTest::newRow("2^32 + 1 as text") << QVariant(QStringLiteral("4294967297")) << false;
        QTest::newRow("2^32 + 1 as number") << QVariant(qlonglong(4294967297)) << false;
        QTest::newRow("one above the largest") << QVariant(QStringLiteral("2147483648")) << false;
        QTest::newRow("one below the smallest") << QVariant(QStringLiteral("-2147483649")) << false;
        QTest::newRow("largest") << QVariant(QStringLiteral("2147483647")) << true;
        QTest::newRow("smallest") << QVariant(QStringLiteral("-2147483648")) << true;
    }
    void integerFieldsKeepToTheirRange()
    {
        QFETCH(QVariant, value);
        QFETCH(bool, stored);
        auto table = places(1);
        table->edit();
        const QString error = errorOf([&] { table->setFieldValue(QStringLiteral("Placeid"), value); });
        QCOMPARE(error.isEmpty(), stored);
        table->post();
        table->close();
        table->open();
        QCOMPARE(
            table->fieldAsString(QStringLiteral("Placeid")), stored ? value.toString() : QStringLiteral("0"));
        QCOMPARE(table->recordCount(), 1);
    }

    void cancelledAppendReturnsToTheRecordBefore_data()
    {
        QTest::addColumn<int>("row");
        QTest::newRow("first") << 0;
        QTest::newRow("middle") << 1;
        QTest::newRow("last") << 2;
    }
    void cancelledAppendReturnsToTheRecordBefore()
    {
        QFETCH(int, row);
        auto table = places(3);
        table->moveTo(row);
        const QString before = table->fieldAsString(QStringLiteral("Place"));
        table->append();
        table->setFieldValue(QStringLiteral("Placeid"), 9);
        table->cancel();
        QCOMPARE(table->state(), Table::State::Browse);
        QCOMPARE(table->recordCount(), 3);
        QCOMPARE(table->recNo(), row);
        QCOMPARE(table->fieldAsString(QStringLiteral("Place")), before);
    }

    void refusedPostKeepsChangeAndCursor_data()
    {
        QTest::addColumn<QVariant>("filename");
        QTest::addColumn<QString>("message");
        QTest::newRow("same number") << QVariant(QStringLiteral("000001"))
                                     << QStringLiteral("tblPix: Key violation.");
        QTest::newRow("differs in case")
            << QVariant(QStringLiteral("AbC")) << QStringLiteral("tblPix: Key violation.");
        QTest::newRow("blank") << QVariant(QString())
                               << QStringLiteral("tblPix: Field value required: Filename.");
    }

    void refusedPostKeepsChangeAndCursor()
    {
        QFETCH(QVariant, filename);
        QFETCH(QString, message);
        auto pix = openTable(pixDef());
        add(*pix, { { QStringLiteral("Filename"), QStringLiteral("000001") } });
        add(*pix, { { QStringLiteral("Filename"), QStringLiteral("abc") } });
        pix->append();
        pix->setFieldValue(QStringLiteral("Caption"), QStringLiteral("kept"));
        pix->setFieldValue(QStringLiteral("Filename"), filename);
        QCOMPARE(errorOf([&] { pix->post(); }), message);
        QCOMPARE(errorOf([&] { pix->first(); }), message);
        QCOMPARE(pix->state(), Table::State::Insert);
        QVERIFY(pix->modified());
        QCOMPARE(pix->recNo(), 2);
        QCOMPARE(pix->fieldAsString(QStringLiteral("Caption")), QStringLiteral("kept"));
        QCOMPARE(pix->recordCount(), 2);
        pix->setFieldValue(QStringLiteral("Filename"), QStringLiteral("000003"));
        pix->first();
        QCOMPARE(pix->recordCount(), 3);
        QCOMPARE(sqlValue(dataFile(QStringLiteral("PIX.DB")), QStringLiteral("SELECT count(*) FROM PIX")),
            QStringLiteral("3"));

        // An edit refused by a grid click leaves the cursor on the edited row.
        pix->moveTo(2);
        pix->edit();
        pix->setFieldValue(QStringLiteral("Filename"), filename);
        QCOMPARE(errorOf([&] { pix->moveTo(0); }), message);
        QCOMPARE(pix->recNo(), 2);
        QCOMPARE(pix->state(), Table::State::Edit);
    }

    void storedRecordSurvivesReopen()
    {
        auto table = places(2);
        table->close();
        table->open();
        QCOMPARE(walk(*table, QStringLiteral("Place")), strings({ "A", "B" }));
        Database other(QStringLiteral("Corvane3"), QStringLiteral("Atlas"));
        Table again(&other, descripDef());
        again.open();
        QCOMPARE(walk(again, QStringLiteral("Memo")), strings({ "memo 0", "memo 1" }));
    }

    // What the backup relies on: a closed table is one self-contained file
    // that can be copied byte for byte and opened elsewhere.
    void closedTableIsOneCopyableFile()
    {
        auto table = places(2);
        table->first();
        table->edit();
        table->setFieldValue(QStringLiteral("Place"), QStringLiteral("stored"));
        table->next();
        table->close();
        const QStringList files = QDir(m_dir->path() + QStringLiteral("/Data")).entryList(QDir::Files);
        QCOMPARE(files, QStringList { QStringLiteral("DESCRIP.DB") });
        QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("Backup")));
        QVERIFY(QFile::copy(
            dataFile(QStringLiteral("DESCRIP.DB")), m_dir->path() + QStringLiteral("/Backup/DESCRIP.DB")));
        DriveTable::instance().setAlias(QStringLiteral("Copy"), QStringLiteral("C:\\Backup\\"));
        Database copy(QStringLiteral("Copy"), QStringLiteral("Atlas"));
        Table copied(&copy, descripDef());
        copied.open();
        QCOMPARE(walk(copied, QStringLiteral("Place")), strings({ "stored", "B" }));
    }

    void closeDropsPendingChange()
    {
        auto table = places(2);
        table->edit();
        table->setFieldValue(QStringLiteral("Place"), QStringLiteral("never stored"));
        table->close();
        QCOMPARE(table->rowCount(), 0);
        table->open();
        QCOMPARE(table->fieldAsString(QStringLiteral("Place")), QStringLiteral("A"));
        table->append();
        table->setFieldValue(QStringLiteral("Placeid"), 9);
        table->close();
        table->open();
        QCOMPARE(table->recordCount(), 2);
    }

    void deletePositioning_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("current");
        QTest::addColumn<int>("scrolls");
        QTest::newRow("middle: next becomes current") << 3 << 1 << QStringLiteral("C") << 1;
        QTest::newRow("first") << 3 << 0 << QStringLiteral("B") << 1;
        QTest::newRow("last: previous becomes current") << 3 << 2 << QStringLiteral("B") << 1;
        QTest::newRow("only record") << 1 << 0 << QString() << 0;
    }

    void deletePositioning()
    {
        QFETCH(int, count);
        QFETCH(int, row);
        QFETCH(QString, current);
        QFETCH(int, scrolls);
        auto table = places(count);
        table->moveTo(row);
        table->edit();
        table->setFieldValue(QStringLiteral("Memo"), QStringLiteral("lost with the record"));
        QSignalSpy scrollSpy(table.get(), &Table::afterScroll);
        table->deleteRecord();
        QCOMPARE(table->recordCount(), count - 1);
        QCOMPARE(table->state(), Table::State::Browse);
        QCOMPARE(table->fieldAsString(QStringLiteral("Place")), current);
        QCOMPARE(scrollSpy.count(), scrolls);
        QCOMPARE(
            sqlValue(dataFile(QStringLiteral("DESCRIP.DB")),
                QStringLiteral("SELECT count(*) FROM DESCRIP WHERE Memo='lost with the record' OR Placeid=%1")
                    .arg(row)),
            QStringLiteral("0"));
    }

    void deleteWhileAppendingDropsTheNewRecord()
    {
        auto table = places(2);
        table->moveTo(1);
        table->append();
        table->setFieldValue(QStringLiteral("Placeid"), 7);
        table->deleteRecord();
        QCOMPARE(table->recordCount(), 2);
        QCOMPARE(table->state(), Table::State::Browse);
        QCOMPARE(table->fieldAsString(QStringLiteral("Place")), QStringLiteral("B"));
    }

    void emptyAndClosedTablesRefuse()
    {
        auto table = openTable(descripDef());
        QCOMPARE(errorOf([&] { table->deleteRecord(); }),
            QStringLiteral("tblDescrip: Cannot perform this operation on an empty dataset"));
        QCOMPARE(table->fieldAsInteger(QStringLiteral("Placeid")), 0);
        QCOMPARE(table->fieldAsString(QStringLiteral("Place")), QString());
        table->close();
        const QString closed
            = QStringLiteral("tblDescrip: Cannot perform this operation on a closed dataset");
        const QList<std::function<void()>> steps { [&] { table->first(); }, [&] { table->next(); },
            [&] { table->edit(); }, [&] { table->append(); }, [&] { table->post(); },
            [&] { table->deleteRecord(); }, [&] { table->findKey({ 1 }); },
            [&] { table->fieldAsString(QStringLiteral("Place")); }, [&] { table->recordCount(); } };
        for (const auto& step : steps)
            QCOMPARE(errorOf(step), closed);
        QCOMPARE(table->rowCount(), 0);
    }

    void editOnEmptyTableStartsNewRecord()
    {
        auto table = openTable(descripDef());
        table->edit();
        QCOMPARE(table->state(), Table::State::Insert);
        table->setFieldValue(QStringLiteral("Memo"), QStringLiteral("first words"));
        table->resolvePending();
        QCOMPARE(table->recordCount(), 1);
    }

    void afterScrollOnlyWhenAnotherRecordBecomesCurrent()
    {
        {
            auto empty = std::make_unique<Table>(m_db.get(), pixDef());
            Database::createTableFile(dataFile(QStringLiteral("PIX.DB")), pixDef());
            QSignalSpy spy(empty.get(), &Table::afterScroll);
            empty->open();
            empty->first();
            QCOMPARE(spy.count(), 0);
            QVERIFY(empty->eof());
        }
        places(3)->close();
        Table table(m_db.get(), descripDef());
        QSignalSpy spy(&table, &Table::afterScroll);
        table.open();
        table.open();
        QCOMPARE(spy.count(), 1);
        table.first();
        table.moveTo(0);
        table.findKey({ 0 });
        QCOMPARE(spy.count(), 1);
        table.next();
        table.next();
        QCOMPARE(spy.count(), 3);
        table.next();
        QVERIFY(table.eof());
        QCOMPARE(table.recNo(), 2);
        QCOMPARE(spy.count(), 3);
    }

    void fieldNamesIgnoreCaseAndBlanksRead()
    {
        auto table = openTable(abbrevDef());
        add(*table, { { QStringLiteral("language"), QStringLiteral("German") } });
        QCOMPARE(table->fieldAsString(QStringLiteral("LANGUAGE")), QStringLiteral("German"));
        QCOMPARE(table->fieldIndex(QStringLiteral("language")), 1);
        QCOMPARE(table->fieldAsString(QStringLiteral("abbrev")), QString());
        QVERIFY(!errorOf([&] { table->fieldAsString(QStringLiteral("Nope")); }).isEmpty());
        auto descrip = openTable(descripDef());
        add(*descrip, { { QStringLiteral("Place"), QStringLiteral("x") } });
        QCOMPARE(descrip->fieldAsInteger(QStringLiteral("Placeid")), 0);
        QCOMPARE(descrip->fieldAsString(QStringLiteral("PLACEID")), QString());
        descrip->edit();
        QVERIFY(!errorOf([&] {
            descrip->setFieldValue(QStringLiteral("Placeid"), QStringLiteral("x1"));
        }).isEmpty());
    }

    void textIsCutOnSetButLongerStoredValuesReadWhole()
    {
        auto maps = openTable(mapsDef());
        add(*maps, { { QStringLiteral("Map"), QStringLiteral("GB-0123456789") } });
        QCOMPARE(maps->fieldAsString(QStringLiteral("Map")), QStringLiteral("GB-0123456"));
        maps->close();
        sqlValue(dataFile(QStringLiteral("MAPS.DB")),
            QStringLiteral("UPDATE MAPS SET Country='England and Wales'"));
        maps->open();
        QCOMPARE(maps->fieldAsString(QStringLiteral("Country")), QStringLiteral("England and Wales"));
    }

    void walkVisitsEveryRecordOnce()
    {
        auto table = places(5);
        QCOMPARE(walk(*table, QStringLiteral("Place")), strings({ "A", "B", "C", "D", "E" }));
        QCOMPARE(table->recNo(), 4);
        table->first();
        QVERIFY(!table->eof());
    }

    void disabledControlsAreRefreshedOnceAtTheEnd()
    {
        auto table = places(3);
        QSignalSpy records(table.get(), &Table::currentRecordChanged);
        QSignalSpy dataSet(table.get(), &Table::dataSetChanged);
        QSignalSpy scrolls(table.get(), &Table::afterScroll);
        table->enableControls(); // unbalanced: ignored
        table->disableControls();
        table->disableControls();
        walk(*table, QStringLiteral("Place"));
        add(*table, { { QStringLiteral("Placeid"), 10 } });
        table->deleteRecord();
        QVERIFY(table->controlsDisabled());
        table->enableControls();
        QCOMPARE(records.count() + dataSet.count(), 0);
        QVERIFY(scrolls.count() >= 3);
        table->enableControls();
        QCOMPARE(dataSet.count(), 1);
        QCOMPARE(records.count(), 1);
        table->disableControls();
        table->enableControls();
        QCOMPARE(dataSet.count(), 1);
    }

    void lockedFileRefusesPostAndLosesNothing()
    {
        auto pix = openTable(pixDef());
        sqlite3* other = nullptr;
        QCOMPARE(sqlite3_open(dataFile(QStringLiteral("PIX.DB")).toUtf8().constData(), &other), SQLITE_OK);
        QCOMPARE(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
        pix->append();
        pix->setFieldValue(QStringLiteral("Filename"), QStringLiteral("000001"));
        const QString message = errorOf([&] { pix->post(); });
        QVERIFY2(message.startsWith(QStringLiteral("tblPix: Cannot write PIX.DB: ")), qPrintable(message));
        QCOMPARE(pix->state(), Table::State::Insert);
        QCOMPARE(pix->recordCount(), 0);
        sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(other);
        pix->post();
        QCOMPARE(pix->recordCount(), 1);
        QCOMPARE(pix->fieldAsString(QStringLiteral("Filename")), QStringLiteral("000001"));
    }

    // A Data folder made read-only while the program runs, and writable
    // again: the store refused meanwhile succeeds once it is retried.
    void aFolderWritableAgainTakesStoresWithoutARestart()
    {
        if (::geteuid() == 0)
            QSKIP("file permissions do not bind the superuser");
        auto table = places(1);
        const QString file = dataFile(QStringLiteral("DESCRIP.DB"));
        const QString folder = QFileInfo(file).path();
        const auto writable = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
        table->close();
        QVERIFY(QFile::setPermissions(file, QFile::ReadOwner));
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
        table->open(); // SQLite can open it for reading only
        table->edit();
        table->setFieldValue(QStringLiteral("Place"), QStringLiteral("changed"));
        QVERIFY(!errorOf([&] { table->post(); }).isEmpty());
        QCOMPARE(table->state(), Table::State::Edit);

        QVERIFY(QFile::setPermissions(folder, writable));
        QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner));
        QCOMPARE(errorOf([&] { table->post(); }), QString());
        QCOMPARE(table->state(), Table::State::Browse);
        table->close();
        QCOMPARE(sqlValue(file, QStringLiteral("SELECT Place FROM DESCRIP")), QStringLiteral("changed"));
    }

    // Typing on a write-protected Data folder: the refusal says the folder
    // is read-only, not SQLite's "unable to open database file".
    void aWriteProtectedFolderIsNamedAsSuch()
    {
        auto table = places(1);
        const QString folder = m_dir->path() + QStringLiteral("/Data");
        const bool root = ::geteuid() == 0;
        if (root) {
            // Permissions do not bind the superuser: a read-only bind mount does.
            if (QProcess::execute(QStringLiteral("mount"), { QStringLiteral("--bind"), folder, folder }) != 0)
                QSKIP("the folder cannot be made read-only here");
            if (QProcess::execute(QStringLiteral("mount"),
                    { QStringLiteral("-o"), QStringLiteral("remount,bind,ro"), folder })
                != 0) {
                QProcess::execute(QStringLiteral("umount"), { folder });
                QSKIP("the folder cannot be made read-only here");
            }
        } else {
            QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
        }
        table->edit();
        table->setFieldValue(QStringLiteral("Place"), QStringLiteral("typed"));
        const QString message = errorOf([&] { table->post(); });
        if (root)
            QProcess::execute(QStringLiteral("umount"), { folder });
        else
            QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY2(message.contains(QStringLiteral("read-only"))
                && message.contains(QStringLiteral("DESCRIP.DB"))
                && !message.contains(QStringLiteral("unable to open")),
            qPrintable(message));
        QCOMPARE(table->state(), Table::State::Edit); // the change waits
        table->post();
        QCOMPARE(table->fieldAsString(QStringLiteral("Place")), QStringLiteral("typed"));
    }

    void readOnlyDriveRefusesWrites()
    {
        places(1)->close();
        DriveTable::instance().setDrive(QLatin1Char('C'), m_dir->path(), true);
        Database readOnly(QStringLiteral("Corvane3"), QStringLiteral("Atlas"));
        Table table(&readOnly, descripDef());
        table.open();
        DriveTable::instance().setDrive(QLatin1Char('C'), m_dir->path(), false);
        table.edit();
        table.setFieldValue(QStringLiteral("Place"), QStringLiteral("changed"));
        QVERIFY(!errorOf([&] { table.post(); }).isEmpty());
        QCOMPARE(table.state(), Table::State::Edit);
        QVERIFY(!errorOf([&] { table.deleteRecord(); }).isEmpty());
        table.close();
        QCOMPARE(
            sqlValue(dataFile(QStringLiteral("DESCRIP.DB")), QStringLiteral("SELECT Place FROM DESCRIP")),
            QStringLiteral("A"));
    }

    // A batch that writes both user tables is one transaction over two
    // files. The child process is killed at an exact step of its commit: the
    // moment one file's journal is removed (one file committed, the other
    // not yet), just before and just after the super-journal is removed
    // (the commit point). Afterwards both files hold the old records or
    // both the new ones, never a mix.
    void aKillDuringACommitOverTwoFilesLeavesBothOldOrBothNew_data()
    {
        QTest::addColumn<QByteArray>("nameEnd"); // in the name of the file whose deletion kills
        QTest::addColumn<bool>("afterDelete");
        QTest::addColumn<bool>("expectNew");
        QTest::newRow("first table's journal removed") << QByteArray(".DB-journal") << true << true;
        QTest::newRow("before the super-journal is removed") << QByteArray("-mj") << false << false;
        QTest::newRow("super-journal removed") << QByteArray("-mj") << true << true;
    }
    void aKillDuringACommitOverTwoFilesLeavesBothOldOrBothNew()
    {
        QFETCH(QByteArray, nameEnd);
        QFETCH(bool, afterDelete);
        QFETCH(bool, expectNew);
        places(3)->close();
        {
            auto pix = openTable(pixDef());
            for (int i = 1; i <= 4; ++i)
                add(*pix,
                    { { QStringLiteral("Filename"), QStringLiteral("00000%1").arg(i) },
                        { QStringLiteral("Placeid"), i % 3 } });
        }
        m_db.reset();
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            dying::install(afterDelete);
            try {
                Database db(QStringLiteral("Corvane3"), QStringLiteral("Atlas"));
                db.connectDatabase();
                Table descrip(&db, descripDef());
                Table pix(&db, pixDef());
                descrip.open();
                pix.open();
                db.beginBatch();
                // What deleting place 0 does: its pictures, then the place.
                for (int row = pix.rowCount() - 1; row >= 0; --row) {
                    if (pix.valueAt(row, pix.fieldIndex(QStringLiteral("Placeid"))).toInt() == 0) {
                        pix.moveTo(row);
                        pix.deleteRecord();
                    }
                }
                descrip.first();
                descrip.deleteRecord();
                add(pix,
                    { { QStringLiteral("Filename"), QStringLiteral("000009") },
                        { QStringLiteral("Placeid"), 1 } });
                static const QByteArray needle = nameEnd; // the super-journal: "...-mjXXXXXXXX"
                dying::g_needle = needle.constData();
                db.commitBatch();
            } catch (...) {
                ::_exit(2);
            }
            ::_exit(0); // not killed: the step never came
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY2(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL,
            qPrintable(QStringLiteral("the child was not killed at that step (status %1)").arg(status)));

        m_db = std::make_unique<Database>(QStringLiteral("Corvane3"), QStringLiteral("Atlas"));
        m_db->connectDatabase();
        Table descrip(m_db.get(), descripDef());
        Table pix(m_db.get(), pixDef());
        descrip.open();
        pix.open();
        const QStringList placeIds = column(descrip, QStringLiteral("Placeid"));
        const QStringList pictures = column(pix, QStringLiteral("Filename"));
        if (expectNew) {
            QCOMPARE(placeIds, strings({ "1", "2" }));
            QCOMPARE(pictures, strings({ "000001", "000002", "000004", "000009" }));
        } else {
            QCOMPARE(placeIds, strings({ "0", "1", "2" }));
            QCOMPARE(pictures, strings({ "000001", "000002", "000003", "000004" }));
        }
        descrip.close();
        pix.close();
        for (const QString& name : { QStringLiteral("DESCRIP.DB"), QStringLiteral("PIX.DB") })
            QCOMPARE(
                sqlValue(dataFile(name), QStringLiteral("PRAGMA integrity_check")), QStringLiteral("ok"));
    }

    void openAndConnectFailuresAreClear()
    {
        Database unknown(QStringLiteral("NoSuchAlias"), QStringLiteral("Atlas"));
        QVERIFY(errorOf([&] { unknown.connectDatabase(); }).contains(QStringLiteral("NoSuchAlias")));
        DriveTable::instance().setAlias(QStringLiteral("Gone"), QStringLiteral("C:\\Missing\\"));
        Database gone(QStringLiteral("Gone"), QStringLiteral("Atlas"));
        QVERIFY(!errorOf([&] { gone.connectDatabase(); }).isEmpty());
        QVERIFY(!gone.connected());

        Table missing(m_db.get(), pixDef());
        QVERIFY(errorOf([&] { missing.open(); }).startsWith(QStringLiteral("tblPix: ")));
        QVERIFY(!missing.active());

        Database::createTableFile(dataFile(QStringLiteral("DESCRIP.DB")), descripDef());
        TableDef lowerCase = descripDef();
        lowerCase.fileName = QStringLiteral("DESCRIP.db");
        Table descrip(m_db.get(), lowerCase);
        descrip.open();
        QVERIFY(descrip.active());
        QVERIFY(!errorOf([&] {
            Database::createTableFile(dataFile(QStringLiteral("descrip.db")), descripDef());
        }).isEmpty());

        QFile garbage(dataFile(QStringLiteral("PIX.DB")));
        QVERIFY(garbage.open(QIODevice::WriteOnly));
        garbage.write(QByteArray(4096, 'x'));
        garbage.close();
        QVERIFY(errorOf([&] { missing.open(); }).startsWith(QStringLiteral("tblPix: ")));
        QVERIFY(!missing.active());
    }

    // The rows holding a value and the largest integer, asked of SQLite,
    // must be what a walk over the rows as shown finds, in every order and
    // with every kind of pending change laid over the stored records.
    void valueQueriesAgreeWithTheRowsShown_data()
    {
        QTest::addColumn<QString>("index");
        QTest::addColumn<int>("changedOwner"); // the Placeid of the record changed
        QTest::addColumn<QVariant>("newOwner"); // what it becomes; -1: no pending change
        QTest::addColumn<bool>("appending");
        const QVariant none(-1), blank;
        for (const QString& index :
            { QString(), QStringLiteral("ndxPlaceid"), QStringLiteral("ndxFilename") }) {
            const QByteArray order = index.isEmpty() ? "stored order" : index.toLatin1();
            QTest::addRow("%s, nothing pending", order.constData()) << index << 0 << none << false;
            QTest::addRow("%s, a record moved to a new largest", order.constData())
                << index << 3 << QVariant(9) << false;
            QTest::addRow("%s, the largest lowered", order.constData()) << index << 7 << QVariant(2) << false;
            QTest::addRow("%s, a record blanked", order.constData()) << index << 1 << blank << false;
            QTest::addRow("%s, a blank filled", order.constData()) << index << -1 << QVariant(1) << false;
            QTest::addRow("%s, a new record", order.constData()) << index << 0 << QVariant(3) << true;
            QTest::addRow("%s, a new blank record", order.constData()) << index << 0 << blank << true;
        }
    }

    void valueQueriesAgreeWithTheRowsShown()
    {
        QFETCH(QString, index);
        QFETCH(int, changedOwner);
        QFETCH(QVariant, newOwner);
        QFETCH(bool, appending);
        auto table = openTable(pixDef());
        const QString field = QStringLiteral("Placeid");
        const QVariantList owners { 3, 1, 3, QVariant(), 7, 3, 1, QVariant(), 0 };
        for (int i = 0; i < owners.size(); ++i)
            add(*table, { { QStringLiteral("Filename"), QString(QChar(u'h' - i)) }, { field, owners[i] } });
        table->setIndexName(index);
        const int column = table->fieldIndex(field);
        const auto ownerAt = [&](int row) { return table->valueAt(row, column); };
        if (appending) {
            table->append();
            table->setFieldValue(QStringLiteral("Filename"), QStringLiteral("new"));
            table->setFieldValue(field, newOwner);
        } else if (newOwner != QVariant(-1)) {
            int row = 0;
            while (
                changedOwner < 0 ? ownerAt(row).isValid() : ownerAt(row) != QVariant(qlonglong(changedOwner)))
                ++row;
            table->moveTo(row);
            table->edit();
            table->setFieldValue(field, newOwner);
        }
        std::optional<qint64> largest;
        for (const QVariant& value : { QVariant(0), QVariant(1), QVariant(2), QVariant(3), QVariant(7),
                 QVariant(9), QVariant(42), QVariant() }) {
            QList<int> expected;
            for (int row = 0; row < table->rowCount(); ++row) {
                const QVariant shown = ownerAt(row);
                if (shown.isValid() == value.isValid() && shown.toLongLong() == value.toLongLong())
                    expected << row;
                if (shown.isValid())
                    largest = std::max(largest.value_or(shown.toLongLong()), shown.toLongLong());
            }
            QCOMPARE(table->rowsWhere(field, value), expected);
        }
        QCOMPARE(table->largestInteger(field), largest);
        QCOMPARE(table->rowsWhere(QStringLiteral("filename"), QStringLiteral("g")).size(), 1);
    }

    void valueQueriesOnAnEmptyOrClosedTable()
    {
        auto table = openTable(pixDef());
        const QString field = QStringLiteral("Placeid");
        QVERIFY(table->rowsWhere(field, 5).isEmpty());
        QVERIFY(table->rowsWhere(field, QVariant()).isEmpty());
        QVERIFY(!table->largestInteger(field).has_value());
        table->edit(); // a new record on an empty table
        table->setFieldValue(field, 5);
        QCOMPARE(table->rowsWhere(field, 5), QList<int> { 0 });
        QCOMPARE(table->largestInteger(field), std::optional<qint64>(5));
        table->cancel();
        QVERIFY(table->rowsWhere(field, 5).isEmpty());
        QVERIFY(!table->largestInteger(field).has_value());
        QVERIFY(errorOf([&] {
            table->rowsWhere(field, QStringLiteral("five"));
        }).startsWith(QStringLiteral("tblPix: ")));
        QVERIFY(errorOf([&] {
            table->rowsWhere(QStringLiteral("Owner"), 5);
        }).startsWith(QStringLiteral("tblPix: ")));
        table->close();
        QVERIFY(!errorOf([&] { table->rowsWhere(field, 5); }).isEmpty());
        QVERIFY(!errorOf([&] { table->largestInteger(field); }).isEmpty());
    }
};

QTEST_MAIN(TestTable)
#include "test_table.moc"
