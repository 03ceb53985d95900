#include "ShellExt/companion/VerbOutput.h"

#include <windows.h>

#include <climits>
#include <new>
#include <vector>

#include "ShellExt/core/Handles.h"

namespace {

const size_t kChunkChars = 8192;

bool IsUsableHandle(HANDLE h) noexcept
{
    return h != nullptr && h != INVALID_HANDLE_VALUE && ::GetFileType(h) != FILE_TYPE_UNKNOWN;
}

void WriteToConsole(HANDLE hConsole, std::u16string_view strText) noexcept
{
    while (!strText.empty())
    {
        size_t nChunk = strText.size() < kChunkChars ? strText.size() : kChunkChars;
        // A surrogate pair stays in one piece.
        if (nChunk < strText.size() && strText[nChunk - 1] >= 0xD800 && strText[nChunk - 1] <= 0xDBFF)
            --nChunk;
        DWORD nWritten = 0;
        if (!::WriteConsoleW(hConsole, strText.data(), static_cast<DWORD>(nChunk), &nWritten, nullptr) ||
            nWritten == 0)
            return;
        strText.remove_prefix(nWritten);
    }
}

void WriteUtf8(HANDLE hFile, std::u16string_view strText) noexcept
{
    if (strText.empty() || strText.size() > INT_MAX / 4)
        return;
    const wchar_t* pszText = reinterpret_cast<const wchar_t*>(strText.data());
    const int nText = static_cast<int>(strText.size());
    const int cbUtf8 = ::WideCharToMultiByte(CP_UTF8, 0, pszText, nText, nullptr, 0, nullptr, nullptr);
    if (cbUtf8 <= 0)
        return;
    std::vector<char> vecUtf8;
    try
    {
        vecUtf8.resize(static_cast<size_t>(cbUtf8));
    }
    catch (const std::bad_alloc&)
    {
        return;
    }
    if (::WideCharToMultiByte(CP_UTF8, 0, pszText, nText, vecUtf8.data(), cbUtf8, nullptr, nullptr) != cbUtf8)
        return;
    size_t nDone = 0;
    while (nDone < vecUtf8.size())
    {
        DWORD cbWritten = 0;
        const size_t cbLeft = vecUtf8.size() - nDone;
        const DWORD cbChunk = static_cast<DWORD>(cbLeft < 65536 ? cbLeft : 65536);
        if (!::WriteFile(hFile, vecUtf8.data() + nDone, cbChunk, &cbWritten, nullptr) || cbWritten == 0)
            return;
        nDone += cbWritten;
    }
}

}  // namespace

void WriteVerbOutput(std::u16string_view strText) noexcept
{
    HANDLE hOut = ::GetStdHandle(STD_OUTPUT_HANDLE);
    CFileHandle console;
    if (!IsUsableHandle(hOut))
    {
        // Started from a console without redirection: a GUI program gets no
        // standard handles, but may borrow its parent's console. cmd.exe
        // does not wait for a GUI program, so its prompt may come first
        // ("start /wait" waits).
        if (!::AttachConsole(ATTACH_PARENT_PROCESS))
            return;
        console.Reset(::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr));
        if (!console)
            return;
        hOut = console.Get();
    }
    DWORD dwMode = 0;
    if (::GetConsoleMode(hOut, &dwMode))
        WriteToConsole(hOut, strText);
    else
        WriteUtf8(hOut, strText);
}
