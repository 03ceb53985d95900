#include "ShellExt/icons/IconLocation.h"

#include <cwchar>

#include "ShellExt/core/BoundedText.h"
#include "ShellExt/core/Handles.h"
#include "ShellExt/core/WideText.h"
#include "ShellExt/icons/DefaultIcon.h"
#include "ShellExt/icons/DefaultIconText.h"

namespace {

// The main application stores a marked file's icon in one of these streams
// of the file itself, probed in this order. The shell reads the icon from the
// stream path at index 0.
const wchar_t* const kMarkerStreamSuffixes[] = {L":ovx", L":orvaneicon"};

// Stream paths and the file extension share one working buffer.
const size_t kWorkChars = 2 * MAX_PATH;

// "%1" as a type's default icon: every file of the type is its own icon.
const wchar_t kOwnIcon[] = L"%1";

bool CanOpenForReading(const wchar_t* pszPath) noexcept
{
    CFileHandle file(::CreateFileW(pszPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.IsValid();
}

// S_FALSE asks the shell to show its own default icon for the file.
HRESULT LeaveIconToShell(PWSTR pszIconFile, int* piIndex) noexcept
{
    pszIconFile[0] = L'\0';
    *piIndex = 0;
    return S_FALSE;
}

// A location that does not fit the caller's buffer is refused, never cut.
HRESULT NameLocation(const wchar_t* pszLocation, int nIndex, PWSTR pszIconFile, UINT cchMax, int* piIndex) noexcept
{
    if (!JoinBounded(AsUtf16(pszIconFile), cchMax, {AsUtf16(pszLocation)}))
        return LeaveIconToShell(pszIconFile, piIndex);
    *piIndex = nIndex;
    return S_OK;
}

}  // namespace

HRESULT RememberIconFile(const wchar_t* pszFileName, wchar_t (&szFileName)[2 * MAX_PATH]) noexcept
{
    // A failed Load forgets the previous file, so that no later request is
    // answered for a file the shell no longer means.
    szFileName[0] = L'\0';
    if (pszFileName == nullptr)
        return E_POINTER;
    // A cut name would be another file's.
    if (!JoinBounded(AsUtf16(szFileName), ARRAYSIZE(szFileName), {AsUtf16(pszFileName)}))
        return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
    return S_OK;
}

HRESULT GetFileIconLocation(const wchar_t* pszFileName, PWSTR pszIconFile, UINT cchMax, int* piIndex,
                            UINT* pwFlags) noexcept
{
    if (pszIconFile != nullptr && cchMax > 0)
        pszIconFile[0] = L'\0';
    if (piIndex != nullptr)
        *piIndex = 0;
    if (pwFlags != nullptr)
        *pwFlags = 0;
    if (pszIconFile == nullptr || piIndex == nullptr || pwFlags == nullptr)
        return E_POINTER;
    if (cchMax == 0)
        return E_INVALIDARG;

    // Marks come and go while the shell shows the file: never cache.
    *pwFlags = GIL_DONTCACHE;
    if (pszFileName[0] == L'\0')
        return LeaveIconToShell(pszIconFile, piIndex);

    wchar_t szWork[kWorkChars];
    for (const wchar_t* pszSuffix : kMarkerStreamSuffixes)
    {
        if (!JoinBounded(AsUtf16(szWork), kWorkChars, {AsUtf16(pszFileName), AsUtf16(pszSuffix)}))
            return LeaveIconToShell(pszIconFile, piIndex);
        if (CanOpenForReading(szWork))
            return NameLocation(szWork, 0, pszIconFile, cchMax, piIndex);
    }

    // Not marked: the ordinary icon of the file's type.
    JoinBounded(AsUtf16(szWork), kWorkChars, {GetFileExtension(AsUtf16(pszFileName))});
    int nIndex = 0;
    if (!GetDefaultIconLocation(szWork, pszIconFile, cchMax, &nIndex))
        return LeaveIconToShell(pszIconFile, piIndex);
    if (nIndex == 0 && wcscmp(pszIconFile, kOwnIcon) == 0)
        return NameLocation(pszFileName, 0, pszIconFile, cchMax, piIndex);
    *piIndex = nIndex;
    return S_OK;
}
