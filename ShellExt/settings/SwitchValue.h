// When a user's own switch (Switches.h) is on, in one place for the
// extension that obeys it and for the companion's status that reports it
// (both through ResolveSwitch): a REG_DWORD of exactly 1. Any other number,
// another type or no value is off.
#pragma once

#include <cstdint>

constexpr bool IsSwitchValueOn(uint32_t nValue) noexcept
{
    return nValue == 1;
}
