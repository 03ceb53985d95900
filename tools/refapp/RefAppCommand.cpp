#include "tools/refapp/RefAppCommand.h"

#include <limits>

namespace {

struct SwitchSyntax
{
    const char16_t* pszName;
    const char* pszLogName;
    RefAppSwitch eSwitch;
    size_t nArguments;  // words after the switch
};

// The switches the extension sends, with the number of words each carries.
const SwitchSyntax kSwitches[] = {
    {u"-oi", "-oi", RefAppSwitch::MarkIcon, 3},
    {u"-ci", "-ci", RefAppSwitch::MarkColor, 2},
    {u"-uo", "-uo", RefAppSwitch::UnmarkIcon, 1},
    {u"-uc", "-uc", RefAppSwitch::UnmarkColor, 1},
    {u"-mi", "-mi", RefAppSwitch::MoreIcons, 1},
    {u"-rd", "-rd", RefAppSwitch::RestoreDefault, 1},
    {u"-ad", "-ad", RefAppSwitch::AfterDelay, 0},
};

const SwitchSyntax* FindSwitch(const std::u16string& str)
{
    for (const SwitchSyntax& syntax : kSwitches)
        if (str == syntax.pszName)
            return &syntax;
    return nullptr;
}

std::string Quoted(const std::u16string& str)
{
    std::string strOut = "\"";
    for (char16_t ch : str)
        strOut += (ch >= 0x20 && ch < 0x7F) ? static_cast<char>(ch) : '?';
    return strOut + "\"";
}

}  // namespace

const char* SwitchName(RefAppSwitch eSwitch) noexcept
{
    for (const SwitchSyntax& syntax : kSwitches)
        if (syntax.eSwitch == eSwitch)
            return syntax.pszLogName;
    return "?";
}

bool ParseDecimalInt32(const std::u16string& str, int32_t& nValue) noexcept
{
    size_t i = 0;
    bool bNegative = false;
    if (i < str.size() && (str[i] == u'-' || str[i] == u'+'))
        bNegative = str[i++] == u'-';
    if (i == str.size())
        return false;
    // Accumulate towards the negative side, which holds one more value.
    int64_t nAccumulated = 0;
    for (; i < str.size(); ++i)
    {
        if (str[i] < u'0' || str[i] > u'9')
            return false;
        nAccumulated = nAccumulated * 10 + (str[i] - u'0');
        if (nAccumulated > static_cast<int64_t>(std::numeric_limits<int32_t>::max()) + 1)
            return false;
    }
    if (bNegative)
        nAccumulated = -nAccumulated;
    if (nAccumulated > std::numeric_limits<int32_t>::max())
        return false;
    nValue = static_cast<int32_t>(nAccumulated);
    return true;
}

bool ParseRefAppCommand(const std::vector<std::u16string>& vecArgs, RefAppCommand& command, std::string& strError)
{
    if (vecArgs.empty())
    {
        strError = "no switch given";
        return false;
    }
    const SwitchSyntax* pSyntax = FindSwitch(vecArgs[0]);
    if (pSyntax == nullptr)
    {
        strError = "unknown switch " + Quoted(vecArgs[0]);
        return false;
    }
    if (vecArgs.size() - 1 != pSyntax->nArguments)
    {
        strError = std::string(pSyntax->pszLogName) + " takes " + std::to_string(pSyntax->nArguments) +
                   " argument(s), got " + std::to_string(vecArgs.size() - 1);
        return false;
    }

    RefAppCommand parsed;
    parsed.eSwitch = pSyntax->eSwitch;
    if (pSyntax->nArguments > 0)
    {
        parsed.strSelectionFile = vecArgs[1];
        if (parsed.strSelectionFile.empty())
        {
            strError = std::string(pSyntax->pszLogName) + ": empty selection file path";
            return false;
        }
    }
    if (parsed.eSwitch == RefAppSwitch::MarkIcon)
    {
        parsed.strIconLibrary = vecArgs[2];
        if (parsed.strIconLibrary.empty())
        {
            strError = "-oi: empty icon library path";
            return false;
        }
        if (!ParseDecimalInt32(vecArgs[3], parsed.nIconIndex))
        {
            strError = "-oi: icon index " + Quoted(vecArgs[3]) + " is not a decimal number";
            return false;
        }
    }
    if (parsed.eSwitch == RefAppSwitch::MarkColor)
    {
        // The extension formats the COLORREF as a signed decimal; every colour
        // it offers has a zero high byte.
        int32_t nColor = 0;
        if (!ParseDecimalInt32(vecArgs[2], nColor) || nColor < 0 || nColor > 0xFFFFFF)
        {
            strError = "-ci: colour " + Quoted(vecArgs[2]) + " is not a COLORREF between 0 and 16777215";
            return false;
        }
        parsed.crColor = static_cast<uint32_t>(nColor);
    }
    command = parsed;
    return true;
}
