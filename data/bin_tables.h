#pragma once
// The bin of deleted places, kept beside DESCRIP.DB and PIX.DB on the same
// connection, so one batch commits the bin with the user's tables.
// - BIN.DB: one record per deleted place: its bin number (Binid), the
//   place's own fields, when it was deleted, and its pictures.
// - BINMOVES.DB: picture files that committed batches still have to move or
//   remove. A batch that moves files writes its moves in the same
//   transaction; they are carried out right after the commit, and again at
//   the next start if a kill came first. So the files always end up where
//   the committed tables say: before the commit nothing has moved, after
//   it everything will.
// The bin's picture files lie in vProgramPath + "Bin\", beside "Pix\".

#include "tables/table.h"

#include <QDateTime>
#include <QList>
#include <QString>

namespace corvane {

platform::TableDef binTableDef();
platform::TableDef binMovesTableDef();

// The bin's tables on the data module's connection, open; their files are
// made when missing. Throws EngineError when they cannot be.
platform::Table* binTable();
platform::Table* binMovesTable();
// The bin's table as it is, open or closed (its file made when missing).
platform::Table* binTableObject();

// vProgramPath + "Bin\".
QString binFolder();

// A picture of a deleted place as the bin keeps it.
struct BinnedPicture {
    QString fileName; // its number in PIX.DB, "000007"
    QString type; // ".JPG"
    QString caption;
    bool operator==(const BinnedPicture&) const = default;
};
QString binnedPicturesText(const QList<BinnedPicture>& pictures);
QList<BinnedPicture> binnedPicturesFromText(const QString& text);

// Where the bin keeps a deleted place's picture file, relative to
// vProgramPath: "Bin\000012-000007.JPG" (bin number, then picture number).
QString binnedPictureFile(int binId, const BinnedPicture& picture);
// A picture file of the picture folder, relative to vProgramPath.
QString pictureFileOf(const QString& fileName, const QString& type);

// Inside a batch: the file at source (relative to vProgramPath) is to move
// to target, or to go when target is empty.
void queueFileMove(const QString& source, const QString& target);
// Carries out the moves of committed batches, then forgets them. Throws
// AppError when a file cannot be moved; the moves then stay for the next
// try. Never call it inside a batch.
void carryOutFileMoves();

// At start-up, once the data module is connected: finishes the moves a
// kill interrupted and removes files in the bin folder that no record of
// the bin names (pictures a run set aside for its undo). Returns a line
// per problem.
QStringList settleBin();

// Copies the bin's picture files from one folder to another (Windows form,
// ending in a backslash), each through a passing name; with onlyMissing a
// file already there stays. Returns how many were copied; throws AppError.
int copyBinFiles(const QString& fromFolder, const QString& toFolder, bool onlyMissing);

// The days a deleted place stays in the bin: "bin days = N" in
// corvane3.conf, 30 unless set.
int binDays();

} // namespace corvane
