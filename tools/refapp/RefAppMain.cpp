// A reference for the Orvane main application: it takes every switch the
// shell extension sends, reads the selection file, and marks files the way
// the extension's icon handler expects to find them:
//
//   -oi sel lib index   the library's icon, as .ico bytes, into "<file>:ovx"
//   -ci sel colour      a swatch of the colour, as .ico bytes, into "<file>:orvaneicon"
//   -uo sel             removes "<file>:ovx" (the marker)
//   -uc sel             removes "<file>:orvaneicon" (the colour)
//   -rd sel             removes both
//   -mi sel, -ad        recorded only
//
// Markers and colours live in separate streams so that each can be removed
// on its own; the icon handler looks at ":ovx" first, so a marker shows in
// preference to a colour. Every start is written to a readable log; nothing
// is shown on screen (the extension starts this program with SW_SHOW from
// Explorer, and a console would pop up there).
//
// Exit codes: 0 done, 2 bad command line, 3 selection file unreadable,
// 4 some file could not be changed.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "ShellExt/core/SystemFunction.h"
#include "tools/common/WinFiles.h"
#include "tools/common/WinText.h"
#include "tools/refapp/IconFile.h"
#include "tools/refapp/LibraryIcon.h"
#include "tools/refapp/RefAppCommand.h"
#include "tools/refapp/RefAppLog.h"
#include "tools/refapp/SelectionFileReader.h"

namespace {

enum ExitCode
{
    kExitDone = 0,
    kExitBadCommandLine = 2,
    kExitNoSelection = 3,
    kExitFileFailed = 4,
};

const wchar_t kMarkerStream[] = L":ovx";
const wchar_t kColorStream[] = L":orvaneicon";
// The sizes Explorer asks for most: small and large icons.
const int kIconSizes[] = {16, 32};

std::vector<std::u16string> CommandLineWords()
{
    std::vector<std::u16string> vecWords;
    int nArgs = 0;
    CLocalMemory<LPWSTR> args(::CommandLineToArgvW(::GetCommandLineW(), &nArgs));
    if (!args)
        return vecWords;
    for (int i = 1; i < nArgs; ++i)
        vecWords.push_back(ToU16(args.get()[i]));
    return vecWords;
}

std::wstring FixedCopyPath()
{
    return EnvironmentValue(L"AppData") + L"\\Kelvoss\\Orvane\\selectedfiles.dat";
}

bool LoadSelection(const std::wstring& strPath, SelectionFileContents& contents, CRefAppLog& log)
{
    std::vector<uint8_t> vecBytes;
    if (!ReadWholeFile(strPath, vecBytes))
    {
        log.Line("selection file " + WideToUtf8(strPath) + ": cannot be read, " + ErrorText(::GetLastError()));
        return false;
    }
    std::string strError;
    if (!ReadSelectionFile(vecBytes, contents, strError))
    {
        log.Line("selection file " + WideToUtf8(strPath) + ": " + strError);
        return false;
    }
    log.Line("selection file " + WideToUtf8(strPath) + ": " + std::to_string(contents.vecPaths.size()) +
             " path(s)");
    for (const std::string& strWarning : contents.vecWarnings)
        log.Line("warning: " + strWarning);
    return true;
}

// The extension refreshes the per-user copy just before every start.
void CompareFixedCopy(const std::wstring& strSelectionFile, CRefAppLog& log)
{
    std::vector<uint8_t> vecSelection;
    std::vector<uint8_t> vecCopy;
    std::wstring strCopy = FixedCopyPath();
    if (!ReadWholeFile(strCopy, vecCopy))
        log.Line("selectedfiles.dat: missing (" + WideToUtf8(strCopy) + ")");
    else if (ReadWholeFile(strSelectionFile, vecSelection) && vecSelection == vecCopy)
        log.Line("selectedfiles.dat: same bytes as the selection file");
    else
        log.Line("selectedfiles.dat: differs from the selection file");
}

bool BuildMarkerIcon(const RefAppCommand& command, std::vector<uint8_t>& vecIco, CRefAppLog& log)
{
    std::vector<IconPixels> vecImages;
    for (int nSize : kIconSizes)
    {
        IconPixels image;
        std::string strError;
        if (!ExtractLibraryIcon(ToWide(command.strIconLibrary), command.nIconIndex, nSize, image, strError))
        {
            log.Line("icon " + std::to_string(command.nIconIndex) + " of " + Utf16ToUtf8(command.strIconLibrary) +
                     ": " + strError);
            return false;
        }
        vecImages.push_back(std::move(image));
    }
    vecIco = EncodeIcoFile(vecImages);
    return !vecIco.empty();
}

std::vector<uint8_t> BuildColorIcon(uint32_t crColor)
{
    std::vector<IconPixels> vecImages;
    for (int nSize : kIconSizes)
        vecImages.push_back(MakeColorSwatch(crColor, nSize));
    return EncodeIcoFile(vecImages);
}

bool WriteMark(const std::wstring& strFile, const wchar_t* pszStream, const std::vector<uint8_t>& vecIco,
               CRefAppLog& log)
{
    std::wstring strStream = strFile + pszStream;
    if (!WriteWholeFile(strStream, vecIco))
    {
        log.Line(WideToUtf8(strFile) + ": cannot write " + WideToUtf8(strStream) + ", " +
                 ErrorText(::GetLastError()));
        return false;
    }
    log.Line(WideToUtf8(strFile) + ": wrote " + WideToUtf8(strStream) + " (" + std::to_string(vecIco.size()) +
             " bytes)");
    return true;
}

bool RemoveMark(const std::wstring& strFile, const wchar_t* pszStream, const char* pszWhat, CRefAppLog& log)
{
    std::wstring strStream = strFile + pszStream;
    if (::DeleteFileW(strStream.c_str()))
    {
        log.Line(WideToUtf8(strFile) + ": removed the " + pszWhat + " (" + WideToUtf8(strStream) + ")");
        return true;
    }
    DWORD dwError = ::GetLastError();
    if (dwError == ERROR_FILE_NOT_FOUND || dwError == ERROR_PATH_NOT_FOUND)
    {
        log.Line(WideToUtf8(strFile) + ": had no " + pszWhat);
        return true;
    }
    log.Line(WideToUtf8(strFile) + ": cannot remove " + WideToUtf8(strStream) + ", " + ErrorText(dwError));
    return false;
}

bool FileIsThere(const std::wstring& strFile, CRefAppLog& log)
{
    if (::GetFileAttributesW(strFile.c_str()) != INVALID_FILE_ATTRIBUTES)
        return true;
    log.Line(WideToUtf8(strFile) + ": no such file, skipped");
    return false;
}

std::string ColorText(uint32_t crColor)
{
    return std::to_string(crColor) + " (R " + std::to_string(crColor & 0xFF) + ", G " +
           std::to_string((crColor >> 8) & 0xFF) + ", B " + std::to_string((crColor >> 16) & 0xFF) + ")";
}

// Applies the command to every selected file; false when any file failed.
bool ApplyToFiles(const RefAppCommand& command, const std::vector<std::u16string>& vecPaths, CRefAppLog& log)
{
    std::vector<uint8_t> vecIco;
    switch (command.eSwitch)
    {
    case RefAppSwitch::MarkIcon:
        log.Line("mark with icon " + std::to_string(command.nIconIndex) + " of " +
                 Utf16ToUtf8(command.strIconLibrary));
        if (!BuildMarkerIcon(command, vecIco, log))
            return false;
        break;
    case RefAppSwitch::MarkColor:
        log.Line("mark with colour " + ColorText(command.crColor));
        vecIco = BuildColorIcon(command.crColor);
        break;
    case RefAppSwitch::UnmarkIcon:
        log.Line("remove the marker");
        break;
    case RefAppSwitch::UnmarkColor:
        log.Line("remove the colour");
        break;
    case RefAppSwitch::RestoreDefault:
        log.Line("restore the default icon: remove marker and colour");
        break;
    case RefAppSwitch::MoreIcons:
        log.Line("more icons: the real application opens its icon chooser here; nothing changed");
        for (const std::u16string& strPath : vecPaths)
            log.Line(Utf16ToUtf8(strPath));
        return true;
    case RefAppSwitch::AfterDelay:
        return true;
    }

    bool bAllDone = true;
    for (const std::u16string& strPath : vecPaths)
    {
        std::wstring strFile = ToWide(strPath);
        if (!FileIsThere(strFile, log))
        {
            bAllDone = false;
            continue;
        }
        bool bDone = true;
        if (command.eSwitch == RefAppSwitch::MarkIcon)
            bDone = WriteMark(strFile, kMarkerStream, vecIco, log);
        else if (command.eSwitch == RefAppSwitch::MarkColor)
            bDone = WriteMark(strFile, kColorStream, vecIco, log);
        if (command.eSwitch == RefAppSwitch::UnmarkIcon || command.eSwitch == RefAppSwitch::RestoreDefault)
            bDone = RemoveMark(strFile, kMarkerStream, "marker", log) && bDone;
        if (command.eSwitch == RefAppSwitch::UnmarkColor || command.eSwitch == RefAppSwitch::RestoreDefault)
            bDone = RemoveMark(strFile, kColorStream, "colour", log) && bDone;
        bAllDone = bAllDone && bDone;
    }
    return bAllDone;
}

// "-ad" carries no file: what it refers to is the per-user copy.
int RecordAfterDelay(CRefAppLog& log)
{
    std::wstring strCopy = FixedCopyPath();
    log.Line("hand-off after the right-click; selectedfiles.dat holds:");
    std::vector<uint8_t> vecBytes;
    SelectionFileContents contents;
    std::string strError;
    if (!ReadWholeFile(strCopy, vecBytes))
        log.Line("nothing: " + WideToUtf8(strCopy) + " is missing");
    else if (!ReadSelectionFile(vecBytes, contents, strError))
        log.Line("unreadable: " + strError);
    else
        for (const std::u16string& strPath : contents.vecPaths)
            log.Line(Utf16ToUtf8(strPath));
    return kExitDone;
}

// The package this process runs as: the main application is meant to run
// as itself, whoever started it. GetCurrentPackageFullName exists from
// Windows 8 on and is looked up, so that the program still starts on older
// systems (and under Wine, which may lack it).
std::string PackageIdentity()
{
    using GetCurrentPackageFullNameFn = LONG(WINAPI*)(UINT32*, PWSTR);
    const auto pfn = FindSystemFunction<GetCurrentPackageFullNameFn>(L"kernel32.dll", "GetCurrentPackageFullName");
    if (pfn == nullptr)
        return "none";
    wchar_t szName[256] = {};
    UINT32 cchName = sizeof(szName) / sizeof(szName[0]);
    if (pfn(&cchName, szName) != ERROR_SUCCESS || szName[0] == L'\0')
        return "none";
    return WideToUtf8(szName);
}

int Run(CRefAppLog& log)
{
    log.Start("started: " + WideToUtf8(::GetCommandLineW()));
    log.Line("package identity: " + PackageIdentity());
    RefAppCommand command;
    std::string strError;
    if (!ParseRefAppCommand(CommandLineWords(), command, strError))
    {
        log.Line("rejected: " + strError);
        return kExitBadCommandLine;
    }
    if (command.eSwitch == RefAppSwitch::AfterDelay)
        return RecordAfterDelay(log);

    std::wstring strSelectionFile = ToWide(command.strSelectionFile);
    SelectionFileContents contents;
    if (!LoadSelection(strSelectionFile, contents, log))
        return kExitNoSelection;
    CompareFixedCopy(strSelectionFile, log);
    return ApplyToFiles(command, contents.vecPaths, log) ? kExitDone : kExitFileFailed;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    CRefAppLog log(CRefAppLog::DefaultPath());
    int nExit = kExitBadCommandLine;
    try
    {
        nExit = Run(log);
    }
    catch (const std::exception& e)
    {
        log.Line(std::string("failed: ") + e.what());
        nExit = kExitFileFailed;
    }
    log.Line("exit code " + std::to_string(nExit));
    log.Flush();
    return nExit;
}
