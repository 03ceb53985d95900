// The extension as the fault sweep reaches it: a loaded DLL used only through
// its exports and COM interfaces, its identifiers read from its own type
// library, and the host-side pieces Explorer would supply (a menu, a chosen
// command, a program start that is recorded instead of run).
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "tools/bench/HostCalls.h"
#include "tools/common/ServerExports.h"
#include "tools/common/WinText.h"
#include "tools/shellhost/ComPtr.h"

// The processor this program was built for, as its results name it.
constexpr const char* kBuildArchitecture =
#if defined(__aarch64__)
    "ARM64";
#elif defined(__x86_64__)
    "x64";
#else
    "x86";
#endif

class CLoadedServer : public CServerExports
{
public:
    CLoadedServer() = default;
    ~CLoadedServer();
    CLoadedServer(const CLoadedServer&) = delete;
    CLoadedServer& operator=(const CLoadedServer&) = delete;

    // Loads the DLL and finds its exports; false with the reason. A server
    // without registration (the Explorer command's) has only the class
    // object and the unload question.
    bool Load(const std::wstring& strPath, std::string& strError, bool bRegistration = true);
    // Loads a private copy of the DLL under another name, so that its
    // process-wide state starts fresh; the copy is deleted on Unload.
    bool LoadCopy(const std::wstring& strPath, const std::wstring& strCopy, std::string& strError,
                  bool bRegistration = true);
    // Frees the DLL (only once it answers DllCanUnloadNow with S_OK).
    bool Unload();

    HMODULE Module() const { return m_hModule; }

private:
    HMODULE m_hModule = nullptr;
    std::wstring m_strCopy;
};

// What the DLL's type library says about the server: the class Explorer
// creates, and the registry keys (relative to a Classes root) under which
// registration writes its classes, interfaces and library.
struct ServerIdentity
{
    CLSID clsidExtension = {};
    std::vector<std::wstring> vecRegistryKeys;
};

bool ReadServerIdentity(const std::wstring& strDll, ServerIdentity& identity, std::string& strError);

HRESULT CreateExtension(const CLoadedServer& server, REFCLSID rclsid, ExtensionObject& object);

// Program starts the DLL asks the shell for are recorded, not run; there
// is no Explorer to start them through.
struct RecordedStart
{
    unsigned nStarts;
    wchar_t szFile[MAX_PATH];
    wchar_t szParameters[2048];
};

// Installs the recorder in place of the real program start.
void RecordProgramStarts();
const RecordedStart& LastStarts();
void ForgetStarts();
