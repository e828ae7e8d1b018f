#include "Fonts.h"

#include <QFont>
#include <QFontDatabase>

void installFontFallbacks()
{
    for (const char* family : {"Trebuchet MS", "MS Sans Serif"}) {
        if (!QFontDatabase::hasFamily(family))
            QFont::insertSubstitution(family, "Open Sans");
    }
}
