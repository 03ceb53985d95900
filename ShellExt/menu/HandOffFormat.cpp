#include "ShellExt/menu/HandOffFormat.h"

#include "ShellExt/menu/MenuRows.h"

namespace {

const char16_t kByteOrderMark = 0xFEFF;
const char16_t kPathSeparator = u'\r';

void AppendQuoted(std::u16string& str, const char16_t* psz)
{
    str += u" \"";
    str += psz ? psz : u"";
    str += u'"';
}

// Signed decimal, the way the main application has always parsed it; a
// colour is a 32-bit value printed as a signed integer.
void AppendDecimal(std::u16string& str, int32_t nValue)
{
    char16_t szDigits[12];
    size_t nPos = sizeof(szDigits) / sizeof(szDigits[0]);
    // Work on the magnitude as unsigned so that INT32_MIN does not overflow.
    uint32_t nMagnitude = nValue < 0 ? 0u - static_cast<uint32_t>(nValue) : static_cast<uint32_t>(nValue);
    do
    {
        szDigits[--nPos] = static_cast<char16_t>(u'0' + nMagnitude % 10);
        nMagnitude /= 10;
    } while (nMagnitude != 0);
    str += u' ';
    if (nValue < 0)
        str += u'-';
    str.append(szDigits + nPos, szDigits + sizeof(szDigits) / sizeof(szDigits[0]));
}

const char16_t* SwitchOf(int nType)
{
    switch (nType)
    {
    case kItemMarker: return u"-oi";
    case kItemMarkFile: return u"-uo";
    case kItemColor: return u"-ci";
    case kItemRemoveColor: return u"-uc";
    case kItemMoreIcons: return u"-mi";
    case kItemRestoreDefault: return u"-rd";
    default: return nullptr;
    }
}

}  // namespace

SelectionFileEncoder::SelectionFileEncoder(size_t cchPathsAndSeparators) : m_vecBytes(2)
{
    Reserve(cchPathsAndSeparators);
    StoreUnit(m_vecBytes.data(), kByteOrderMark);
}

void SelectionFileEncoder::Reserve(size_t cchPathsAndSeparators)
{
    m_vecBytes.reserve(m_vecBytes.size() + 2 * cchPathsAndSeparators);
}

void SelectionFileEncoder::StoreUnit(uint8_t* pOut, char16_t ch) noexcept
{
    pOut[0] = static_cast<uint8_t>(ch & 0xFF);
    pOut[1] = static_cast<uint8_t>(ch >> 8);
}

void SelectionFileEncoder::AddPath(const char16_t* pszPath, size_t cchPath)
{
    // Beyond what was reserved, the storage grows geometrically: reserving
    // exactly the new size for every path copied all the bytes before it
    // each time, and n paths cost n squared. Each byte is written once: on a
    // little-endian machine the path's own bytes are the file's.
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    const uint8_t* pbPath = reinterpret_cast<const uint8_t*>(pszPath);
    m_vecBytes.insert(m_vecBytes.end(), pbPath, pbPath + 2 * cchPath);
    const uint8_t abSeparator[2] = {static_cast<uint8_t>(kPathSeparator), 0};
    m_vecBytes.insert(m_vecBytes.end(), abSeparator, abSeparator + 2);
#else
    const size_t nStart = m_vecBytes.size();
    m_vecBytes.resize(nStart + 2 * (cchPath + 1));
    uint8_t* pOut = m_vecBytes.data() + nStart;
    for (size_t i = 0; i < cchPath; ++i, pOut += 2)
        StoreUnit(pOut, pszPath[i]);
    StoreUnit(pOut, kPathSeparator);
#endif
}

bool FormatCommandParameters(const CommandArguments& args, std::u16string& strParameters)
{
    const char16_t* pszSwitch = SwitchOf(args.nType);
    if (pszSwitch == nullptr)
        return false;
    std::u16string str = pszSwitch;
    AppendQuoted(str, args.pszSelectionFile);
    if (args.nType == kItemMarker)
    {
        AppendQuoted(str, args.pszIconFile);
        AppendDecimal(str, args.nIconIndex);
    }
    else if (args.nType == kItemColor)
    {
        AppendDecimal(str, static_cast<int32_t>(args.crColor));
    }
    strParameters.swap(str);
    return true;
}
