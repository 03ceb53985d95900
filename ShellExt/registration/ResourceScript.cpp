#include "ShellExt/registration/ResourceScript.h"

#include <climits>
#include <string>

#include "ShellExt/core/ErrorBoundary.h"
#include "ShellExt/core/Handles.h"
#include "ShellExt/core/LastError.h"

namespace {

HMODULE LoadAsData(LPCWSTR pszModuleFile) noexcept
{
    // Exclusive image-resource mapping first; systems before Vista know
    // neither flag and refuse it, so fall back to the plain data-file load.
    HMODULE hModule =
        LoadLibraryExW(pszModuleFile, nullptr, LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (hModule == nullptr)
        hModule = LoadLibraryExW(pszModuleFile, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    return hModule;
}

// Finds the resource and points pBytes/cbBytes at its data, which stays valid
// while the module is loaded.
HRESULT FindResourceBytes(HMODULE hModule, UINT nResourceId, LPCWSTR pszResourceType, const char*& pBytes,
                          DWORD& cbBytes) noexcept
{
    const HRSRC hResource = FindResourceW(hModule, MAKEINTRESOURCEW(nResourceId), pszResourceType);
    if (hResource == nullptr)
        return LastErrorHr();
    const HGLOBAL hData = LoadResource(hModule, hResource);
    if (hData == nullptr)
        return LastErrorHr();
    pBytes = static_cast<const char*>(LockResource(hData));
    if (pBytes == nullptr)
        return LastErrorHr();
    cbBytes = SizeofResource(hModule, hResource);
    return S_OK;
}

// Converts the script's 8-bit text. Each byte yields at most one UTF-16 unit,
// so a buffer of the byte count (plus the terminator) always suffices.
HRESULT WidenScript(const char* pBytes, DWORD cbBytes, std::u16string& strText) noexcept
{
    if (cbBytes >= static_cast<DWORD>(INT_MAX))
        return E_OUTOFMEMORY;
    const int cchBytes = static_cast<int>(cbBytes);
    const HRESULT hr = CallNoThrow([&] {
        strText.assign(static_cast<size_t>(cchBytes) + 1, u'\0');
        return S_OK;
    });
    if (FAILED(hr))
        return hr;
    const int cchText =
        MultiByteToWideChar(CP_THREAD_ACP, 0, pBytes, cchBytes, reinterpret_cast<LPWSTR>(&strText[0]), cchBytes);
    if (cchText <= 0)
        return LastErrorHr();
    strText.resize(static_cast<size_t>(cchText));
    return S_OK;
}

} // namespace

HRESULT RunResourceScript(CRegObject& registrar, LPCWSTR pszModuleFile, UINT nResourceId, LPCWSTR pszResourceType,
                          bool bRegister, bool bPerUser) noexcept
{
    const CLibraryHandle module(LoadAsData(pszModuleFile));
    if (module.Get() == nullptr)
        return LastErrorHr();
    const char* pBytes = nullptr;
    DWORD cbBytes = 0;
    HRESULT hr = FindResourceBytes(module.Get(), nResourceId, pszResourceType, pBytes, cbBytes);
    if (FAILED(hr))
        return hr;
    std::u16string strText;
    hr = WidenScript(pBytes, cbBytes, strText);
    if (FAILED(hr))
        return hr;
    return registrar.RunScript(strText.c_str(), bRegister, bPerUser);
}
