// The image sizes at which menu pictures are asked for, chosen from the
// system's small-icon metric. Platform-free: no Windows header.
#pragma once

#include <cstddef>

// An ascending table of square image sizes in pixels.
struct IconSizeTable
{
    const int* pnSizes;
    size_t nCount;
};

// Icons taken from an icon library file: 17, 21, 25, 29. A size s here means
// an extraction s wide and s - 1 high (17 x 16 at a 16-pixel metric).
extern const IconSizeTable g_IclIconSizes;

// The images of the logo resource: 16 to 48 in steps of 4.
extern const IconSizeTable g_LogoIconSizes;

// The largest entry not above nMetric + 1; the first entry when every entry
// is above it. An empty table gives 0.
int PickIconSize(int nMetric, const IconSizeTable& table) noexcept;
