#include "core/form_style.h"

#include "platform/fonts.h"

#include <QFrame>
#include <QWidget>

namespace corvane {

void applyFonts(QWidget* form, std::initializer_list<FontSpec> fonts)
{
    for (const FontSpec& font : fonts) {
        auto* control = form->findChild<QWidget*>(QString::fromLatin1(font.control));
        Q_ASSERT_X(control, "applyFonts", font.control);
        if (control)
            control->setFont(platform::designFont(
                QString::fromLatin1(font.family), font.pixelSize, font.bold, font.italic));
    }
}

void setBackground(QWidget* widget, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

void makeDoubleBevel(QFrame* panel, const QColor& colour)
{
    // A raised box with a middle line draws light-dark outside and
    // dark-light inside: the two bevels, with the mid line as the border.
    panel->setFrameShape(QFrame::Box);
    panel->setFrameShadow(QFrame::Raised);
    panel->setLineWidth(1);
    panel->setMidLineWidth(1);
    setBackground(panel, colour);
    QPalette palette = panel->palette();
    palette.setColor(QPalette::Mid, colour);
    panel->setPalette(palette);
}

} // namespace corvane
