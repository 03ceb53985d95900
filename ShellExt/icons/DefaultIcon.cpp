#include "ShellExt/icons/DefaultIcon.h"

#include <shlwapi.h>

#include "ShellExt/core/BoundedText.h"
#include "ShellExt/core/Handles.h"
#include "ShellExt/core/WideText.h"
#include "ShellExt/icons/DefaultIconText.h"
#include "ShellExt/settings/ProductPaths.h"
#include "ShellExt/settings/Settings.h"

const wchar_t kIconCacheKey[] = L"SOFTWARE\\Kelvoss\\Orvane\\Cache";

namespace {

const std::u16string_view kCacheFolder = u"Cache\\";
const wchar_t kCacheValueSuffix[] = L",0";

// Default-icon texts and resolved indirect strings.
const size_t kTextChars = 2 * MAX_PATH;
// The cached file's name is read into 520 bytes; one more character keeps it
// terminated even when the stored data fills them without a NUL.
const DWORD kCachedNameBytes = 2 * MAX_PATH;

bool QueryDefaultIconText(const wchar_t* pszExtension, wchar_t (&szText)[kTextChars]) noexcept
{
    DWORD cchText = kTextChars;
    return ::AssocQueryStringW(ASSOCF_NONE, ASSOCSTR_DEFAULTICON, pszExtension, nullptr, szText, &cchText) == S_OK;
}

// The name of the cached icon file stored under the value name; false when
// there is no key, no value, or an empty one.
bool ReadCachedIconName(const wchar_t* pszValueName, wchar_t (&szName)[MAX_PATH + 1]) noexcept
{
    // KEY_WOW64_64KEY: both builds read the entries the 64-bit main
    // application writes.
    CRegKeyHandle key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kIconCacheKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, key.Receive()) !=
        ERROR_SUCCESS)
        return false;
    ZeroMemory(szName, sizeof(szName));
    DWORD cbName = kCachedNameBytes;
    if (::RegQueryValueExW(key.Get(), pszValueName, nullptr, nullptr, reinterpret_cast<BYTE*>(szName), &cbName) !=
        ERROR_SUCCESS)
        return false;
    return szName[0] != L'\0';
}

// Hands a location over without its quotes; an empty one names no icon.
bool PlaceLocation(std::u16string_view strLocation, int32_t nIndex, wchar_t* pszLocation, UINT cchLocation,
                   int* pnIndex) noexcept
{
    if (!StripQuotes(strLocation, AsUtf16(pszLocation), cchLocation) || pszLocation[0] == L'\0')
        return false;
    *pnIndex = nIndex;
    return true;
}

// The main application keeps a copy of every indirect icon it has met,
// because the shell cannot extract an icon from such a string: its value name
// is the resolved text followed by ",0", its data the file name inside the
// cache folder.
bool GetCachedIconLocation(const wchar_t* pszIndirect, wchar_t* pszLocation, UINT cchLocation, int* pnIndex) noexcept
{
    wchar_t szResolved[kTextChars] = {};
    if (FAILED(::SHLoadIndirectString(pszIndirect, szResolved, kTextChars, nullptr)))
        return false;
    szResolved[kTextChars - 1] = L'\0';

    wchar_t szValueName[kTextChars];
    if (!JoinBounded(AsUtf16(szValueName), kTextChars, {AsUtf16(szResolved), AsUtf16(kCacheValueSuffix)}))
        return false;

    wchar_t szCachedName[MAX_PATH + 1];
    if (!ReadCachedIconName(szValueName, szCachedName))
        return false;

    // "AppData" is read afresh at every lookup: the cache belongs to whichever
    // user the host process runs as now.
    wchar_t szAppData[MAX_PATH];
    if (!ReadAppDataFolder(szAppData))
        return false;

    // Only the cached name may carry an index: a comma in the user's folder
    // (a profile named "Smith, John") is part of the path.
    const DefaultIconParts parts = SplitDefaultIconText(AsUtf16(szCachedName));
    wchar_t szCachePath[MAX_PATH];
    if (!BuildProductPath(szCachePath, MAX_PATH, szAppData, {kCacheFolder, parts.strLocation}))
        return false;
    return PlaceLocation(AsUtf16(szCachePath), parts.nIndex, pszLocation, cchLocation, pnIndex);
}

}  // namespace

bool GetDefaultIconLocation(const wchar_t* pszExtension, wchar_t* pszLocation, UINT cchLocation,
                            int* pnIndex) noexcept
{
    if (cchLocation == 0)
        return false;
    pszLocation[0] = L'\0';

    // A name without an extension has no type to ask about.
    if (pszExtension[0] == L'\0')
        return false;

    wchar_t szText[kTextChars] = {};
    if (!QueryDefaultIconText(pszExtension, szText))
        return false;

    if (IsIndirectString(AsUtf16(szText)))
        return GetCachedIconLocation(szText, pszLocation, cchLocation, pnIndex);

    const DefaultIconParts parts = SplitDefaultIconText(AsUtf16(szText));
    return PlaceLocation(parts.strLocation, parts.nIndex, pszLocation, cchLocation, pnIndex);
}
