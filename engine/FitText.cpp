#include "FitText.h"

#include "ItemData.h"
#include "SizeText.h"

#include <QCoreApplication>

std::string sizeOfLimitText(std::int64_t size, std::int64_t limit)
{
    if (limit <= 0 || size < 0)
        return {};
    return QCoreApplication::translate("FitText", "%1 of %2")
        .arg(QString::fromStdString(sizeText(size)), QString::fromStdString(sizeText(limit)))
        .toStdString();
}

std::string passText(const ItemProgress& progress)
{
    if (progress.passes < 2 || progress.pass < 1)
        return {};
    return QCoreApplication::translate("FitText", "pass %1 of %2")
        .arg(progress.pass)
        .arg(progress.passes)
        .toStdString();
}
