#pragma once
// The program's own drawings: the four tool-bar pictures, the program icon
// and the stand-in for the splash picture when the shipped one is missing.
// Drawn with QPainter so they stay sharp at any device pixel ratio.

#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QSize>

namespace corvane {

// Tool-bar pictures, 29 x 25 logical pixels.
inline constexpr QSize kToolPictureSize { 29, 25 };
QIcon oddCharPicture(); // a lower-case u with diaeresis
QIcon jotpadPicture(); // a spiral note pad
QIcon printPicture(); // a printer with a letter P
QIcon backupPicture(); // a document with an arrow into a diskette
QIcon findPicture(); // a magnifying glass over a page

// The program icon: an atlas page with the British Isles on purple.
// app/icons/corvane3.png, the copy a desktop shows, is programIconImage(256).
QImage programIconImage(int size);
QIcon programIcon();

// Parchment with the title, for a missing or unreadable splash picture.
QPixmap splashStandIn(QSize size);

} // namespace corvane
