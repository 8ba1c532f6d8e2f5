#pragma once
// Deleted places and their pictures in the bin (data/bin_tables.h): deleting
// to it, putting back, emptying and expiry, and the pictures an undo sets
// aside. Each is one batch over DESCRIP.DB, PIX.DB and the bin's tables,
// with the picture files moved after its commit (and at the next start if a
// kill came first): a kill leaves the state before or the state after.

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>

namespace corvane {

struct BinnedPlace {
    int binId = 0;
    int placeId = 0;
    QString place;
    QDateTime deleted;
    int pictures = 0;
};

// The clock the bin dates deletions by and expires them with; tests set
// their own (an empty function restores the system's).
void setBinClock(std::function<QDateTime()> clock);
QDateTime binNow();

// Moves the place with that number, its pictures (records and files) and
// its pin into the bin, as bin number binId when that is free (else the
// next). Text typed into it is stored first. Returns the bin number.
// Throws AppError or EngineError and leaves everything as it was.
int deletePlaceToBin(int placeId, int binId = 0);

// Brings a place back from the bin with its own number when no place or
// picture uses it, else a free one; its pictures keep their numbers where
// free, else take new ones by the picture-number rules. Makes it the
// current place and returns its number.
int putBackPlace(int binId);

// The bin's places in the order they were deleted.
QList<BinnedPlace> binnedPlaces();

// Destroys places of the bin with their picture files.
void destroyBinned(const QList<int>& binIds);
void emptyBin();
// Destroys the places deleted more than `days` days before `now` (none
// when days is 0). Returns their names.
QStringList expireBin(const QDateTime& now, int days);

// At start-up: finishes what a kill interrupted in the bin and destroys
// the places past their days there. Returns a line for the status bar,
// empty when there is nothing to say.
QString tidyBinAtStart();

// A picture set aside by an undo of its attaching: its record goes and its
// file waits in the bin folder until the redo or the next start.
struct SetAsidePicture {
    QString fileName;
    QString type;
    QString caption;
    int placeId = 0;
    QString asideFile; // relative to vProgramPath
};
SetAsidePicture setPictureAside(const QString& fileName);
// Brings it back under its number when free, else the next; returns it.
QString bringPictureBack(const SetAsidePicture& picture);

} // namespace corvane
