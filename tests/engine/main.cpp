#include "TempDir.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

int main(int argc, char* argv[])
{
    useEnglishLocale();
    QCoreApplication app(argc, argv);
    const TemporaryStateHome state;
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
