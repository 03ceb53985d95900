#include "ShellExt/icons/IconSizes.h"

#include <algorithm>
#include <cstdint>

namespace {

const int kIclIconSizes[] = {17, 21, 25, 29};
const int kLogoIconSizes[] = {16, 20, 24, 28, 32, 36, 40, 44, 48};

}  // namespace

const IconSizeTable g_IclIconSizes = {kIclIconSizes, sizeof(kIclIconSizes) / sizeof(kIclIconSizes[0])};
const IconSizeTable g_LogoIconSizes = {kLogoIconSizes, sizeof(kLogoIconSizes) / sizeof(kLogoIconSizes[0])};

int PickIconSize(int nMetric, const IconSizeTable& table) noexcept
{
    if (table.pnSizes == nullptr || table.nCount == 0)
        return 0;
    const int* pFirst = table.pnSizes;
    const int* pLast = table.pnSizes + table.nCount;
    // One pixel of slack: a metric of 16 still takes the 17-pixel library size.
    // Widened so that the largest metric cannot overflow.
    const int64_t nTarget = static_cast<int64_t>(nMetric) + 1;
    if (nTarget <= *pFirst)
        return *pFirst;
    const int* pAbove =
        std::upper_bound(pFirst, pLast, nTarget, [](int64_t nValue, int nEntry) { return nValue < nEntry; });
    return *(pAbove - 1);
}
