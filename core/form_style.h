#pragma once
// What a window's .ui file cannot say: fonts in pixels (the forms were
// designed in pixels, .ui files only know points) and the design's fixed
// colours. Each window applies them right after setupUi().

#include <QColor>

#include <initializer_list>

class QFrame;
class QWidget;

namespace corvane {

namespace colours {
inline const QColor purple { 128, 0, 128 };
inline const QColor silver { 192, 192, 192 };
inline const QColor inactiveBorder { 212, 208, 200 };
inline const QColor appWorkspace { 171, 171, 171 };
} // namespace colours

struct FontSpec {
    const char* control; // objectName of a child of the form
    const char* family; // design family name
    int pixelSize;
    bool bold = false;
    bool italic = false;
};

// Sets each named control's font; a missing control is a programming error.
void applyFonts(QWidget* form, std::initializer_list<FontSpec> fonts);

// A solid background of the given colour for the widget (children inherit
// the palette but paint their own backgrounds only where they fill).
void setBackground(QWidget* widget, const QColor& colour);

// The information-panel look: raised outer bevel, a 1-px border of the panel
// colour, lowered inner bevel.
void makeDoubleBevel(QFrame* panel, const QColor& colour);

} // namespace corvane
