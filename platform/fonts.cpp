#include "platform/fonts.h"

#include <QStringList>

namespace platform {

void installFontSubstitutions()
{
    struct Substitution {
        const char* design;
        const char* nearest[3];
    };
    static const Substitution table[] = {
        { "Palatino Linotype", { "P052", "URW Palladio L", "DejaVu Serif" } },
        { "Monotype Corsiva", { "Z003", "URW Chancery L", "DejaVu Serif" } },
        { "Perpetua", { "C059", "Century Schoolbook L", "DejaVu Serif" } },
        { "Verdana", { "DejaVu Sans", "Liberation Sans", "Nimbus Sans" } },
        { "Sylfaen", { "C059", "DejaVu Serif", "Liberation Serif" } },
        { "Trebuchet MS", { "DejaVu Sans", "Liberation Sans", "Nimbus Sans" } },
        { "Tahoma", { "DejaVu Sans", "Liberation Sans", "Nimbus Sans" } },
        { "Arial", { "Liberation Sans", "Nimbus Sans", "DejaVu Sans" } },
        { "MS Sans Serif", { "Liberation Sans", "Nimbus Sans", "DejaVu Sans" } },
        { "Microsoft Sans Serif", { "Liberation Sans", "Nimbus Sans", "DejaVu Sans" } },
        { "Fixedsys", { "DejaVu Sans Mono", "Liberation Mono", "Nimbus Mono PS" } },
        { "Bookman Old Style", { "URW Bookman", "URW Bookman L", "DejaVu Serif" } },
    };
    for (const Substitution& s : table) {
        QStringList nearest;
        for (const char* family : s.nearest)
            nearest << QString::fromLatin1(family);
        QFont::insertSubstitutions(QString::fromLatin1(s.design), nearest);
    }
}

QFont designFont(const QString& family, int pixelSize, bool bold, bool italic)
{
    QFont font(family);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    font.setItalic(italic);
    return font;
}

} // namespace platform
