#pragma once
// The picture folder and PIX.DB: numbering new pictures, attaching a file to
// the current place, and finding a place's pictures. Works on the data
// module's tblPix and on files through the path resolver; knows no window.
//
// Every attached picture is the file vProgramPath + "Pix\" + Filename + Type.
// Files are only ever added to that folder, and a new number is never one
// that a record or a file there already uses, so nothing the user attached
// earlier (even to a place since deleted) is overwritten.

#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>

namespace corvane {

// vProgramPath + "Pix\".
QString pictureFolder();
// The picture file of a PIX record: pictureFolder() + fileName + type.
QString picturePath(const QString& fileName, const QString& type);

// The rule behind nextPictureNumber(): count + 1 when that number is free,
// otherwise the next free one above it, six digits with leading zeros.
// Throws AppError when none up to 999999 is free.
QString pictureNumberAfter(int count, const std::function<bool(const QString& number)>& used);

// The numbers PIX.DB's records and the picture folder's files use.
QSet<QString> pictureNumbersInUse();

// The number for a new picture: PIX.DB's record count + 1 unless a record
// or a file in the picture folder uses it, then the next free one. Throws
// AppError past 999999.
QString nextPictureNumber();

// Attaches the picture at sourcePath (Windows form, or a host path as the
// picture dialog gives it) to the place vPlaceId: copies the file byte for
// byte into the picture folder as number + type (through a passing name, so
// it appears whole or not at all), then appends and posts the PIX record
// (Filename the number, Placeid, Type, an empty Caption). Returns the
// number. On any failure throws AppError naming the file, and leaves
// neither a record without its file nor a file without its record; tblPix
// is left browsing. A kill part-way can leave only a file without a record
// (harmless: its number is not given again) or a passing copy (".part",
// removed at the next start). A file of a
// type that cannot be attached is refused with a message (callers that
// ignore such files silently check platform::attachableType first).
QString attachPicture(const QString& sourcePath);

// The pictures of a place in the order PIX.DB walks them, as picture paths
// (picturePath()). The cursor does not move.
QStringList picturesOfPlace(int placeId);

// Makes the record of the picture at that path (one of picturesOfPlace())
// current; false when no record names it.
bool moveToPicture(const QString& picturePath);

} // namespace corvane
