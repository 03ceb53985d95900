// Menu captions from the user's language file, with English fallbacks.
#pragma once

#include <memory>

// A caption as GetMenuCaption hands it out; the caller owns it.
using CaptionPtr = std::unique_ptr<wchar_t[]>;

// The caption of key in section "menu_items" of g_strLangFile, or pszFallback
// when the file, the section or the key is missing. A key present with an
// empty value gives an empty caption. The array is new[]-allocated and
// belongs to the caller; null only when memory runs out.
wchar_t* GetMenuCaption(const wchar_t* pszKey, const wchar_t* pszFallback) noexcept;

// The same lookup in a language file the caller names, for a menu build that
// reads the shared path once rather than once per caption.
wchar_t* GetMenuCaptionFrom(const wchar_t* pszLangFile, const wchar_t* pszKey, const wchar_t* pszFallback) noexcept;
