// Finds a context-menu handler for all files the way Explorer does: the
// entry under "*\shellex\ContextMenuHandlers" names a class identifier, and
// the class's InprocServer32 key names the DLL that COM will load.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct HandlerInfo
{
    std::wstring strName;            // the entry's key name
    std::wstring strClsid;           // registry form, e.g. {7C1E...}
    CLSID clsid = {};
    bool bServerRegistered = false;  // CLSID\{...}\InprocServer32 exists
    std::wstring strServer;          // its default value
    std::wstring strThreadingModel;
    std::wstring strWhere;           // "per user" or "machine-wide"
};

// The registered entries, per-user ones first (they win in the merged view).
std::vector<HandlerInfo> ListContextMenuHandlers();

// The entry named strName (compared without regard to case). False when
// there is no such entry or it names no class identifier.
bool FindContextMenuHandler(const std::wstring& strName, HandlerInfo& info, std::string& strError);

// Fills in the server of a class identifier given directly.
bool DescribeClass(const std::wstring& strClsid, HandlerInfo& info, std::string& strError);
