// The command line of the Orvane main application, as the shell extension
// starts it: one switch and its arguments, already split into words (the
// quotes around paths removed). Platform-free, so that every way a command
// line can be malformed is tested natively.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class RefAppSwitch
{
    MarkIcon,        // -oi selection library index
    MarkColor,       // -ci selection colour
    UnmarkIcon,      // -uo selection
    UnmarkColor,     // -uc selection
    MoreIcons,       // -mi selection
    RestoreDefault,  // -rd selection
    AfterDelay,      // -ad
};

struct RefAppCommand
{
    RefAppSwitch eSwitch = RefAppSwitch::AfterDelay;
    std::u16string strSelectionFile;  // every switch but -ad
    std::u16string strIconLibrary;    // -oi
    int32_t nIconIndex = 0;           // -oi
    uint32_t crColor = 0;             // -ci, 0x00BBGGRR
};

// vecArgs excludes the program's own name. On failure strError says what is
// wrong, in words meant for the log.
bool ParseRefAppCommand(const std::vector<std::u16string>& vecArgs, RefAppCommand& command, std::string& strError);

// "-oi", "-ci", ... for the log.
const char* SwitchName(RefAppSwitch eSwitch) noexcept;

// A signed decimal number in 32 bits: optional sign, digits, nothing else.
bool ParseDecimalInt32(const std::u16string& str, int32_t& nValue) noexcept;
