#include "FitText.h"
#include "ItemData.h"
#include "ItemLane.h"
#include "command.h"

#include <gtest/gtest.h>

namespace {

TEST(FitText, TheSizeIsToldAgainstTheLimit)
{
    EXPECT_EQ(sizeOfLimitText(24'391'000, 25'000'000), "24.3 MB of 25.0 MB");
    EXPECT_EQ(sizeOfLimitText(24'999'999, 25'000'000), "24.9 MB of 25.0 MB") << "never reads as the limit";
    EXPECT_EQ(sizeOfLimitText(0, 1'000'000), "0 bytes of 1.0 MB");
    EXPECT_EQ(sizeOfLimitText(-1, 25'000'000), "") << "not measured";
    EXPECT_EQ(sizeOfLimitText(24'391'000, 0), "") << "no limit";
}

TEST(FitText, OnlySeveralPassesAreTold)
{
    ItemProgress progress;
    EXPECT_EQ(passText(progress), "");
    progress.pass = 1;
    progress.passes = 2;
    EXPECT_EQ(passText(progress), "pass 1 of 2");
    progress.pass = 2;
    EXPECT_EQ(passText(progress), "pass 2 of 2");
    progress.passes = 1;
    EXPECT_EQ(passText(progress), "") << "one pass of one is nothing to tell";
}

TEST(FitText, AnItemFitsWhenConvertedWithinItsMeasuredLimit)
{
    ItemOutcome outcome;
    outcome.converted = true;
    outcome.sizeLimit = 25'000'000;
    outcome.size = 25'000'000;
    EXPECT_TRUE(fitsItsLimit(outcome)) << "the limit itself fits";
    outcome.size = 0;
    EXPECT_TRUE(fitsItsLimit(outcome));
    outcome.size = 25'000'001;
    EXPECT_FALSE(fitsItsLimit(outcome)) << "a byte over";
    outcome.size = -1;
    EXPECT_FALSE(fitsItsLimit(outcome)) << "not measured";
    outcome.size = 100;
    outcome.sizeLimit = 0;
    EXPECT_FALSE(fitsItsLimit(outcome)) << "no limit";
    outcome.sizeLimit = 25'000'000;
    outcome.converted = false;
    EXPECT_FALSE(fitsItsLimit(outcome)) << "failed";

    RunSummary one;
    one.fitted = 2;
    RunSummary other;
    other.fitted = 3;
    one.add(other);
    EXPECT_EQ(one.fitted, 5);
}

} // namespace
