// Table engine figures with 10,000 places and 50,000 picture records: open,
// a record-by-record walk, key search and a stored post.

#include "platform/paths.h"
#include "tables/table.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <cstdio>

using namespace platform;

namespace {

constexpr int kPlaces = 10000;
constexpr int kPictures = 50000;

FieldDef text(const char* name, int width, bool required = false)
{
    return { QString::fromLatin1(name), FieldType::Text, width, 0, required };
}

FieldDef integer(const char* name)
{
    return { QString::fromLatin1(name), FieldType::Integer };
}

TableDef pixDef()
{
    return { QStringLiteral("tblPix"), QStringLiteral("PIX.DB"),
        { text("Filename", 6, true), integer("Placeid"), text("Caption", 120), text("Type", 5) },
        { { QStringLiteral("ndxFilename"), QStringLiteral("Filename"), false, true, true },
            { QStringLiteral("ndxPlaceid"), QStringLiteral("Placeid"), false, false, false } } };
}

TableDef descripDef()
{
    return { QStringLiteral("tblDescrip"), QStringLiteral("DESCRIP.DB"),
        { integer("Placeid"), text("Place", 40), { QStringLiteral("Memo"), FieldType::Memo, 100 } },
        { { QStringLiteral("tblDescripIndex1"), QStringLiteral("Placeid"), true, true, false },
            { QStringLiteral("ndxPlacename"), QStringLiteral("Place"), false, false, true } } };
}

// Bulk fill in one transaction: the figures are about reading, and a
// post-per-record fill would only measure the disk's flushes.
void fill(const QString& file, const char* insert, int count, void (*bind)(sqlite3_stmt*, int))
{
    sqlite3* db = nullptr;
    sqlite3_open(file.toUtf8().constData(), &db);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, insert, -1, &stmt, nullptr);
    for (int i = 0; i < count; ++i) {
        bind(stmt, i);
        sqlite3_step(stmt);
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

void bindPicture(sqlite3_stmt* stmt, int i)
{
    const QByteArray name = QByteArray::number(i + 1).rightJustified(6, '0');
    const QByteArray caption = "Caption of picture " + QByteArray::number(i + 1) + ", taken from an old book";
    sqlite3_bind_text(stmt, 1, name.constData(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int(stmt, 2, int(QRandomGenerator::global()->bounded(kPlaces)));
    sqlite3_bind_text(stmt, 3, caption.constData(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(stmt, 4, ".JPG", -1, SQLITE_STATIC);
}

void bindPlace(sqlite3_stmt* stmt, int i)
{
    const QByteArray place = "Place number " + QByteArray::number(i);
    sqlite3_bind_int(stmt, 1, i);
    sqlite3_bind_text(stmt, 2, place.constData(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(stmt, 3, "A description of a few words.", -1, SQLITE_STATIC);
}

void print(const char* name, double value)
{
    std::printf("%s: %.3f\n", name, value);
}

double elapsedMs(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("Data"));
    const QString data = dir.path() + QStringLiteral("/Data/");
    Database::createTableFile(data + QStringLiteral("PIX.DB"), pixDef());
    Database::createTableFile(data + QStringLiteral("DESCRIP.DB"), descripDef());
    fill(data + QStringLiteral("PIX.DB"), "INSERT INTO PIX VALUES (?1, ?2, ?3, ?4)", kPictures, bindPicture);
    fill(data + QStringLiteral("DESCRIP.DB"), "INSERT INTO DESCRIP VALUES (?1, ?2, ?3)", kPlaces, bindPlace);
    DriveTable::instance().setDrive(QLatin1Char('C'), dir.path());
    DriveTable::instance().setAlias(QStringLiteral("Corvane3"), QStringLiteral("C:\\Data\\"));
    Database db(QStringLiteral("Corvane3"), QStringLiteral("Atlas"));
    db.connectDatabase();
    Table pix(&db, pixDef());
    Table descrip(&db, descripDef());

    QElapsedTimer timer;
    timer.start();
    pix.open();
    print("open_pix_50000_ms", elapsedMs(timer));
    timer.start();
    descrip.open();
    print("open_descrip_10000_ms", elapsedMs(timer));

    // The walk of the pictures panel: every record, every field read by name.
    timer.start();
    qint64 sum = 0;
    pix.first();
    while (!pix.eof()) {
        sum += pix.fieldAsInteger(QStringLiteral("Placeid"));
        sum += pix.fieldAsString(QStringLiteral("Filename")).size()
            + pix.fieldAsString(QStringLiteral("Caption")).size()
            + pix.fieldAsString(QStringLiteral("Type")).size();
        pix.next();
    }
    print("pix_walk_50000_ms", elapsedMs(timer));

    constexpr int kSearches = 10000;
    timer.start();
    int found = 0;
    for (int i = 0; i < kSearches; ++i)
        found += descrip.findKey({ int(QRandomGenerator::global()->bounded(kPlaces * 2)) }) ? 1 : 0;
    print("find_key_ms", elapsedMs(timer) / kSearches);

    // Stored posts: one transaction and a flush to disk each.
    constexpr int kPosts = 50;
    timer.start();
    for (int i = 0; i < kPosts; ++i) {
        descrip.append();
        descrip.setFieldValue(QStringLiteral("Placeid"), kPlaces + i);
        descrip.setFieldValue(QStringLiteral("Place"), QStringLiteral("New place"));
        descrip.post();
    }
    print("post_ms", elapsedMs(timer) / kPosts);

    timer.start();
    descrip.moveTo(kPlaces / 2);
    descrip.edit();
    descrip.setFieldValue(QStringLiteral("Memo"), QStringLiteral("typed"));
    descrip.moveTo(kPlaces / 2 + 1);
    print("edit_and_move_ms", elapsedMs(timer));

    std::fprintf(stderr, "(checksum %lld, found %d)\n", static_cast<long long>(sum), found);
    return 0;
}
