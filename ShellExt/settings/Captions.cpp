#include "ShellExt/settings/Captions.h"

#include <windows.h>

#include <cwchar>
#include <new>
#include <string>

#include "ShellExt/settings/Settings.h"

namespace {

const wchar_t kCaptionSection[] = L"menu_items";

// The profile API cuts longer captions to 259 characters.
const DWORD kCaptionCapacity = MAX_PATH;

wchar_t* DuplicateCaption(const wchar_t* pszText, size_t cch) noexcept
{
    wchar_t* pszCaption = new (std::nothrow) wchar_t[cch + 1];
    if (pszCaption == nullptr)
        return nullptr;
    wmemcpy(pszCaption, pszText, cch);
    pszCaption[cch] = L'\0';
    return pszCaption;
}

}  // namespace

wchar_t* GetMenuCaptionFrom(const wchar_t* pszLangFile, const wchar_t* pszKey, const wchar_t* pszFallback) noexcept
{
    wchar_t szCaption[kCaptionCapacity] = {};
    // No caching: the user may switch languages between two right-clicks.
    ::GetPrivateProfileStringW(kCaptionSection, pszKey, pszFallback, szCaption, kCaptionCapacity, pszLangFile);
    return DuplicateCaption(szCaption, wcsnlen(szCaption, kCaptionCapacity - 1));
}

wchar_t* GetMenuCaption(const wchar_t* pszKey, const wchar_t* pszFallback) noexcept
{
    try
    {
        const std::wstring strLangFile = g_strLangFile.Copy();
        return GetMenuCaptionFrom(strLangFile.c_str(), pszKey, pszFallback);
    }
    catch (...)
    {
        return nullptr;
    }
}
