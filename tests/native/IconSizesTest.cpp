// The choice of picture sizes from the small-icon metric.
#include <gtest/gtest.h>

#include <climits>

#include "ShellExt/icons/IconSizes.h"

namespace {

struct SizeCase
{
    int nMetric;
    int nIclSize;
    int nLogoSize;
};

TEST(IconSizesTest, PicksTheLibraryAndLogoSizeForEachSmallIconMetric)
{
    const SizeCase aCases[] = {
        {12, 17, 16}, {16, 17, 16}, {20, 21, 20}, {24, 25, 24}, {32, 29, 32}, {64, 29, 48},
        // Around the boundaries: metric + 1 is compared with the entries.
        {15, 17, 16}, {19, 17, 20}, {27, 25, 28}, {28, 29, 28}, {47, 29, 48}, {48, 29, 48},
        // Nonsense metrics still give a size of the table.
        {0, 17, 16}, {-5, 17, 16}, {INT_MIN, 17, 16}, {INT_MAX, 29, 48},
    };
    for (const SizeCase& c : aCases)
    {
        SCOPED_TRACE(c.nMetric);
        EXPECT_EQ(c.nIclSize, PickIconSize(c.nMetric, g_IclIconSizes));
        EXPECT_EQ(c.nLogoSize, PickIconSize(c.nMetric, g_LogoIconSizes));
    }
}

TEST(IconSizesTest, EveryLogoTableEntryIsPickedByTheMetricOfItsOwnSize)
{
    ASSERT_EQ(9u, g_LogoIconSizes.nCount);
    for (size_t i = 0; i < g_LogoIconSizes.nCount; ++i)
    {
        const int nSize = g_LogoIconSizes.pnSizes[i];
        EXPECT_EQ(nSize, PickIconSize(nSize, g_LogoIconSizes));
        EXPECT_EQ(nSize, PickIconSize(nSize + 2, g_LogoIconSizes));
    }
}

TEST(IconSizesTest, OneEntryAndEmptyTables)
{
    const int anOne[] = {10};
    const IconSizeTable one = {anOne, 1};
    EXPECT_EQ(10, PickIconSize(3, one));
    EXPECT_EQ(10, PickIconSize(100, one));
    const IconSizeTable empty = {nullptr, 0};
    EXPECT_EQ(0, PickIconSize(16, empty));
}

}  // namespace
