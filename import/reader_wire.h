#pragma once
// What the reading helper and the program that waits for it agree on: the
// table files' names, the lines of progress on standard error, and the
// tables as they cross the helper's standard output.

#include "import/legacy_reader.h"

#include <QDataStream>

namespace corvane::legacy {

inline constexpr quint32 kMagic = 0x43564C52; // "CVLR"
inline constexpr qint32 kFormat = 2;

inline const char* const kDescripFile = "DESCRIP.DB";
inline const char* const kMemoFile = "DESCRIP.MB";
inline const char* const kPixFile = "PIX.DB";

// Lines the helper writes to standard error for the program that waits for
// it; anything else there (a library's or a sanitizer's words) is ignored.
inline const char* const kFileLine = "@file ";
inline const char* const kRecordsLine = "@records ";

QDataStream& operator<<(QDataStream& out, const Place& p);
QDataStream& operator>>(QDataStream& in, Place& p);
QDataStream& operator<<(QDataStream& out, const Picture& p);
QDataStream& operator>>(QDataStream& in, Picture& p);

} // namespace corvane::legacy
