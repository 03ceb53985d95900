// The extension as a host reaches it: the real DLL loaded with LoadLibraryW,
// its class object from DllGetClassObject, and objects made by that class
// object, used only through their COM interfaces.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <string>

#include "tools/bench/HostCalls.h"
#include "tools/common/MessagePump.h"
#include "tools/common/ServerExports.h"
#include "tools/shellhost/ComPtr.h"

class CExtensionDll
{
public:
    CExtensionDll() = default;
    CExtensionDll(const CExtensionDll&) = delete;
    CExtensionDll& operator=(const CExtensionDll&) = delete;

    // Never unloaded: pending hand-off timers call back into it.
    bool Load(const std::wstring& strPath, std::wstring& strError);

    HMODULE Module() const { return m_hModule; }
    HRESULT GetClassObject(REFIID riid, void** ppv) const;
    HRESULT CanUnloadNow() const;

    // A new extension object through the class object, asked for riid.
    template <class T>
    HRESULT CreateObject(REFIID riid, CInterfacePtr<T>& object) const
    {
        return CreateInstance(riid, object.ReceiveVoid());
    }

private:
    HRESULT CreateInstance(REFIID riid, void** ppv) const;

    HMODULE m_hModule = nullptr;
    CServerExports m_exports;
};

HRESULT CreateExtensionObject(const CExtensionDll& dll, ExtensionObject& object);
