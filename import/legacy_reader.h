#pragma once
// Reading the place and picture tables of the original Windows program:
// DESCRIP.DB with its memo file DESCRIP.MB, and PIX.DB, in the desktop table
// engine's format, read through pxlib. The reading runs in a helper program
// with a time limit, so a damaged file that makes the library crash or loop
// costs the user a message, never the program or its data.

#include <QList>
#include <QString>
#include <QStringList>

class QIODevice;

namespace corvane::legacy {

struct Place {
    int placeId = 0;
    QString place;
    QString page;
    QString coords;
    QString memo;
};

struct Picture {
    QString fileName; // six digits as stored
    int placeId = 0;
    QString caption;
    QString type; // ".JPG"
};

struct Tables {
    QList<Place> places;
    QList<Picture> pictures;
    QStringList unreadable; // places and captions that could not be read, for the user
    bool memoFileMissing = false;
};

// Reads DESCRIP.DB, DESCRIP.MB and PIX.DB (names in any letter case) in a
// host folder, in this process. Throws AppError naming the file and what is
// wrong with it. Only the helper program calls it; it trusts the library.
Tables readTablesHere(const QString& hostFolder);

// The same in the helper program, waiting at most timeoutMs: a crash or a
// hang of the reader becomes an AppError naming the file it was reading.
Tables readTables(const QString& hostFolder, int timeoutMs = 60000);

// The helper program's work: reads hostFolder and writes the result (or the
// error) to out. Returns the exit code.
int runReaderHelper(const QString& hostFolder, QIODevice& out);

// The helper program beside this one (or in the build tree).
QString readerProgram();

// The table files in a host folder, matched without regard to case; an
// empty text when there is none.
QString findFile(const QString& hostFolder, const QString& name);

} // namespace corvane::legacy
