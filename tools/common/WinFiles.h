// Small Windows helpers shared by the tools: environment values and whole
// files, with every handle owned.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ShellExt/core/Handles.h"
#include "tools/common/WinText.h"

// Memory that a Windows call allocated with LocalAlloc for its caller
// (FormatMessageW, CommandLineToArgvW).
struct LocalFreeDeleter
{
    void operator()(void* p) const noexcept { ::LocalFree(p); }
};
template <class T>
using CLocalMemory = std::unique_ptr<T, LocalFreeDeleter>;

inline std::wstring EnvironmentValue(const wchar_t* pszName)
{
    DWORD cch = ::GetEnvironmentVariableW(pszName, nullptr, 0);
    if (cch == 0)
        return std::wstring();
    std::wstring strValue(cch, L'\0');
    DWORD cchCopied = ::GetEnvironmentVariableW(pszName, &strValue[0], cch);
    if (cchCopied == 0 || cchCopied >= cch)
        return std::wstring();
    strValue.resize(cchCopied);
    return strValue;
}

// False when the file cannot be opened or read; the error stays in
// GetLastError.
inline bool ReadWholeFile(const std::wstring& strPath, std::vector<uint8_t>& vecBytes)
{
    CFileHandle file(::CreateFileW(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    vecBytes.clear();
    uint8_t buffer[16384];
    for (;;)
    {
        DWORD cbRead = 0;
        if (!::ReadFile(file.Get(), buffer, sizeof(buffer), &cbRead, nullptr))
            return false;
        if (cbRead == 0)
            return true;
        vecBytes.insert(vecBytes.end(), buffer, buffer + cbRead);
    }
}

// Creates or replaces the file (or stream) with exactly these bytes.
inline bool WriteWholeFile(const std::wstring& strPath, const std::vector<uint8_t>& vecBytes)
{
    CFileHandle file(::CreateFileW(strPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                   nullptr));
    if (!file)
        return false;
    DWORD cbWritten = 0;
    return ::WriteFile(file.Get(), vecBytes.data(), static_cast<DWORD>(vecBytes.size()), &cbWritten, nullptr) &&
           cbWritten == vecBytes.size();
}

inline std::string ErrorText(DWORD dwError)
{
    wchar_t* pszMessage = nullptr;
    DWORD cch = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, dwError, 0, reinterpret_cast<wchar_t*>(&pszMessage), 0, nullptr);
    CLocalMemory<wchar_t> message(pszMessage);
    std::wstring strMessage = cch != 0 && message ? std::wstring(message.get(), cch) : std::wstring();
    while (!strMessage.empty() && (strMessage.back() == L'\n' || strMessage.back() == L'\r' ||
                                   strMessage.back() == L' ' || strMessage.back() == L'.'))
        strMessage.pop_back();
    std::string strOut = "error " + std::to_string(dwError);
    if (!strMessage.empty())
        strOut += " (" + WideToUtf8(strMessage) + ")";
    return strOut;
}
