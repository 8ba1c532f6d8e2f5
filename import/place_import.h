#pragma once
// "Import places...": places from a CSV, GPX or GeoJSON file added to the
// user's list with free place numbers, each pinned to the sheet whose
// georeference holds its point, or left unpinned with a note of its
// coordinates in its description. All are stored in one transaction, after
// a kept copy of the tables ("Before import ..."), so "Go back" undoes it.

#include <QString>
#include <QStringList>

#include <functional>

namespace corvane {

struct PlaceImportReport {
    QString file;
    int added = 0;
    int pinned = 0;
    int unpinned = 0;
    QStringList refused; // "line 4: ..." for each place not taken
    // Places read well but past the last free place number (a place
    // number is a signed 32-bit integer); counted, not listed.
    qint64 withoutNumber = 0;
    bool cancelled = false;

    // What the user reads at the end.
    QString text() const;
};

// Called between steps with what is being done; returning false stops the
// import, and nothing is stored.
using PlaceImportProgress = std::function<bool(const QString& stage, qint64 done, qint64 total)>;

// Throws AppError when the file cannot be read, the list has no free place
// number left at all or the places cannot be stored; nothing is stored then.
PlaceImportReport importPlaceFile(const QString& hostPath, const PlaceImportProgress& progress = {});

} // namespace corvane
