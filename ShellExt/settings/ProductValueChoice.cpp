#include "ShellExt/settings/ProductValueChoice.h"

ProductValueSource ChooseProductValue(bool bElevated, ProductValueState machine, ProductValueState user) noexcept
{
    if (!bElevated && user == ProductValueState::kText)
        return ProductValueSource::kUser;
    if (machine == ProductValueState::kText)
        return ProductValueSource::kMachine;
    return ProductValueSource::kNone;
}
