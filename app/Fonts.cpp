#include "Fonts.h"

#include <QFont>
#include <QFontDatabase>

void installFontFallbacks()
{
    if (!QFontDatabase::hasFamily("Trebuchet MS"))
        QFont::insertSubstitution("Trebuchet MS", "Open Sans");
}
