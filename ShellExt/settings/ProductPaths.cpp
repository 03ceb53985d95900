#include "ShellExt/settings/ProductPaths.h"

#include <cwchar>

#include "ShellExt/core/BoundedText.h"
#include "ShellExt/core/WideText.h"

namespace {

const std::u16string_view kProductFolder = u"\\Kelvoss\\Orvane\\";

void AppendBounded(wchar_t (&szPath)[MAX_PATH], const wchar_t* pszTail) noexcept
{
    const size_t cchUsed = wcsnlen(szPath, MAX_PATH);
    if (cchUsed + 1 < MAX_PATH)
        CopyBounded(szPath + cchUsed, MAX_PATH - cchUsed, pszTail);
}

}  // namespace

bool BuildProductPath(wchar_t* pszPath, size_t cchPath, const wchar_t* pszFolder,
                      std::initializer_list<std::u16string_view> lstTail) noexcept
{
    const std::u16string_view strFolder = AsUtf16(pszFolder);
    const size_t cchHead = strFolder.size() + kProductFolder.size();
    if (JoinBounded(AsUtf16(pszPath), cchPath, {strFolder, kProductFolder}) &&
        JoinBounded(AsUtf16(pszPath) + cchHead, cchPath - cchHead, lstTail))
        return true;
    if (cchPath > 0)
        pszPath[0] = L'\0';
    return false;
}

void BuildIconLibraryPath(const wchar_t* pszInstallDir, const wchar_t* pszName, wchar_t (&szPath)[MAX_PATH]) noexcept
{
    CopyBounded(szPath, MAX_PATH, pszInstallDir);
    AppendBounded(szPath, L"\\icl\\");
    AppendBounded(szPath, pszName);
}
