#include "SizeText.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

TEST(SizeText, ReadsDecimalBinaryAndPlainSizes)
{
    EXPECT_EQ(parseSize("25M"), 25'000'000);
    EXPECT_EQ(parseSize("25MB"), 25'000'000);
    EXPECT_EQ(parseSize("25mb"), 25'000'000);
    EXPECT_EQ(parseSize("700K"), 700'000);
    EXPECT_EQ(parseSize("1.5G"), 1'500'000'000);
    EXPECT_EQ(parseSize("25MiB"), 25LL * 1024 * 1024);
    EXPECT_EQ(parseSize("700KiB"), 700LL * 1024);
    EXPECT_EQ(parseSize("1GiB"), 1LL << 30);
    EXPECT_EQ(parseSize("0.5MiB"), 512LL * 1024);
    EXPECT_EQ(parseSize("123456"), 123456);
    EXPECT_EQ(parseSize("0"), 0);
    EXPECT_EQ(parseSize("1.0001K"), 1000) << "fractions are taken to the byte below";
}

TEST(SizeText, RefusesWhatIsNoSize)
{
    for (const char* text : {"", "M", "-5M", "+5M", "1e6", "1.5", "2.", ".5M", "1.2.3M", "25 M", "25X", "25Mi",
             "25MiBs", "9223372036854775808", "9999999999T", "0x10"})
        EXPECT_EQ(parseSize(text), std::nullopt) << text;
    EXPECT_EQ(parseSize("9223372036854775807"), std::numeric_limits<std::int64_t>::max());
}

TEST(SizeText, ShowsDecimalUnitsRoundedDown)
{
    EXPECT_EQ(sizeText(0), "0 bytes");
    EXPECT_EQ(sizeText(1), "1 byte");
    EXPECT_EQ(sizeText(999), "999 bytes");
    EXPECT_EQ(sizeText(1000), "1.0 kB");
    EXPECT_EQ(sizeText(700'000), "700.0 kB");
    EXPECT_EQ(sizeText(24'300'000), "24.3 MB");
    EXPECT_EQ(sizeText(25'000'000), "25.0 MB");
    EXPECT_EQ(sizeText(25'099'999), "25.0 MB") << "just over a limit never rounds up past it";
    EXPECT_EQ(sizeText(999'999'999), "999.9 MB");
    EXPECT_EQ(sizeText(1'500'000'000), "1.5 GB");
    EXPECT_EQ(sizeText(std::numeric_limits<std::int64_t>::max()), "9.2 EB");
}

} // namespace
