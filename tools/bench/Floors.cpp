// Written as plainly as the calls allow: no owners, no wrappers, no shared
// helpers of the extension but the menu bitmaps' header (a structure to fill,
// which costs nothing to share). Every step follows the order in which the
// extension's operation is defined to make its calls.
#include "tools/bench/Floors.h"

#include <shlguid.h>

#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <uxtheme.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ShellExt/icons/MenuDibHeader.h"

namespace {

const wchar_t kProductKey[] = L"Software\\Kelvoss\\Orvane";
const wchar_t kCacheKey[] = L"SOFTWARE\\Kelvoss\\Orvane\\Cache";
const int kIclSizes[] = {17, 21, 25, 29};
const int kLogoSizes[] = {16, 20, 24, 28, 32, 36, 40, 44, 48};
const WORD kLogoIcon = 333;

// ---------------------------------------------------------------------------
// Creation: the cached class object and one instance.

struct FloorObject
{
    void* vtables[5];
    LONG nRefs;
    wchar_t szInstallDir[MAX_PATH];
    wchar_t szFileName[2 * MAX_PATH];
    void* vecSelectedFiles[3];
    void* vecMenuItems[3];
};

int s_nFactoryStandIn;
void* const s_pEncodedFactory = ::EncodePointer(&s_nFactoryStandIn);
LONG s_nFactoryRefs = 1;  // the cache's reference
LONG s_nModuleLocks = 0;

// ---------------------------------------------------------------------------
// Settings

void ReadInstallLocation(FloorState& state, HKEY hHive)
{
    HKEY hKey = nullptr;
    if (::RegOpenKeyExW(hHive, kProductKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &hKey) != ERROR_SUCCESS)
        return;
    wchar_t szValue[MAX_PATH + 1];
    memset(szValue, 0, sizeof(szValue));
    DWORD cbValue = 520;
    if (::RegQueryValueExW(hKey, L"OrvanePath", nullptr, nullptr, reinterpret_cast<BYTE*>(szValue), &cbValue) ==
        ERROR_SUCCESS)
        ::lstrcpynW(state.szAppPath, szValue, MAX_PATH);
    memset(szValue, 0, sizeof(szValue));
    cbValue = 520;
    if (::RegQueryValueExW(hKey, L"OrvaneDir", nullptr, nullptr, reinterpret_cast<BYTE*>(szValue), &cbValue) ==
        ERROR_SUCCESS)
        ::lstrcpynW(state.szInstallDir, szValue, MAX_PATH);
    ::RegCloseKey(hKey);
}

void WriteDllVersion()
{
    static const wchar_t kMark[] = L"2.2.0 Free";
    HKEY hKey = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kProductKey, 0, KEY_ALL_ACCESS, &hKey) != ERROR_SUCCESS)
        return;
    ::RegSetValueExW(hKey, L"DllVer", 0, REG_SZ, reinterpret_cast<const BYTE*>(kMark), sizeof(kMark));
    ::RegCloseKey(hKey);
}

void LoadSettings(FloorState& state)
{
    ReadInstallLocation(state, HKEY_LOCAL_MACHINE);
    ReadInstallLocation(state, HKEY_CURRENT_USER);
    WriteDllVersion();

    wchar_t szPath[MAX_PATH];
    memset(szPath, 0, sizeof(szPath));
    if (SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, szPath)))
    {
        ::PathAppendW(szPath, L"Kelvoss\\Orvane\\ViewSettings.ini");
        state.strViewSettingsIni = szPath;
    }

    wchar_t szLanguage[MAX_PATH];
    memset(szLanguage, 0, sizeof(szLanguage));
    ::GetPrivateProfileStringW(L"Options", L"Lang", L"english", szLanguage, MAX_PATH,
                               state.strViewSettingsIni.c_str());
    if (szLanguage[0] == L'\0')
        wcscpy(szLanguage, L"english");

    state.strLangFile.clear();
    state.strLangFile += state.szInstallDir;
    state.strLangFile += L"\\Languages\\";
    state.strLangFile += szLanguage;
    state.strLangFile += L".lng";
}

void CALLBACK FloorTimerProc(HWND, UINT, UINT_PTR idEvent, DWORD)
{
    ::KillTimer(nullptr, idEvent);
}

// ---------------------------------------------------------------------------
// Menu pictures

int PickIconSize(int nMetric, const int* pnSizes, size_t nCount)
{
    const int t = nMetric + 1;
    if (t <= pnSizes[0])
        return pnSizes[0];
    size_t i = 0;
    while (i < nCount && pnSizes[i] <= t)
        ++i;
    return pnSizes[i - 1];
}

HPAINTBUFFER BeginPaintBuffer(HDC hdc, int nWidth, int nHeight, HDC* phdcPaint)
{
    RECT rc = {0, 0, nWidth, nHeight};
    BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    BP_PAINTPARAMS params;
    memset(&params, 0, sizeof(params));
    params.cbSize = sizeof(params);
    params.dwFlags = BPPF_ERASE;
    params.pBlendFunction = &blend;
    return ::BeginBufferedPaint(hdc, &rc, BPBF_DIB, &params, phdcPaint);
}

HRESULT FixAlphaFromMask(HPAINTBUFFER hBuffer, HDC hdcMemory, HICON hIcon, int nWidth, int nHeight)
{
    RGBQUAD* pBits = nullptr;
    int cxRow = 0;
    HRESULT hr = ::GetBufferedPaintBits(hBuffer, &pBits, &cxRow);
    if (FAILED(hr))
        return hr;
    DWORD* pPixels = reinterpret_cast<DWORD*>(pBits);
    for (int r = 0; r < nHeight; ++r)
        for (int c = 0; c < nWidth; ++c)
            if (pPixels[r * cxRow + c] & 0xFF000000)
                return S_OK;

    ICONINFO info;
    if (!::GetIconInfo(hIcon, &info))
        return S_OK;
    hr = S_OK;
    if (info.hbmMask != nullptr)
    {
        BITMAPINFO bmi = MakeMenuDibHeader(nWidth, nHeight);
        DWORD* pMask = static_cast<DWORD*>(::HeapAlloc(::GetProcessHeap(), 0, nWidth * nHeight * 4));
        if (pMask == nullptr)
            hr = E_OUTOFMEMORY;
        else
        {
            if (::GetDIBits(hdcMemory, info.hbmMask, 0, nHeight, pMask, &bmi, DIB_RGB_COLORS) != nHeight)
                hr = E_UNEXPECTED;
            else
                for (int r = 0; r < nHeight; ++r)
                    for (int c = 0; c < nWidth; ++c)
                    {
                        DWORD& pixel = pPixels[r * cxRow + c];
                        pixel = pMask[r * nWidth + c] != 0 ? 0 : (pixel | 0xFF000000);
                    }
            ::HeapFree(::GetProcessHeap(), 0, pMask);
        }
    }
    ::DeleteObject(info.hbmColor);
    ::DeleteObject(info.hbmMask);
    return hr;
}

HBITMAP IconToMenuDib(HICON hIcon, int nWidth, int nHeight)
{
    if (hIcon == nullptr)
        return nullptr;
    HDC hdcMemory = ::CreateCompatibleDC(nullptr);
    if (hdcMemory == nullptr)
        return nullptr;
    BITMAPINFO bmi = MakeMenuDibHeader(nWidth, nHeight);
    HBITMAP hDib = ::CreateDIBSection(hdcMemory, &bmi, DIB_RGB_COLORS, nullptr, nullptr, 0);
    if (hDib == nullptr)
    {
        ::DeleteDC(hdcMemory);
        return nullptr;
    }
    HGDIOBJ hOld = ::SelectObject(hdcMemory, hDib);
    if (hOld == nullptr)
    {
        ::DeleteDC(hdcMemory);
        return hDib;
    }
    HDC hdcPaint = nullptr;
    HPAINTBUFFER hBuffer = BeginPaintBuffer(hdcMemory, nWidth, nHeight, &hdcPaint);
    if (hBuffer == nullptr)
    {
        ::SelectObject(hdcMemory, hOld);
        ::DeleteDC(hdcMemory);
        return hDib;
    }
    if (::DrawIconEx(hdcPaint, 0, 0, hIcon, nWidth, nHeight, 0, nullptr, DI_NORMAL))
        FixAlphaFromMask(hBuffer, hdcMemory, hIcon, nWidth, nHeight);
    ::EndBufferedPaint(hBuffer, TRUE);
    ::SelectObject(hdcMemory, hOld);
    ::DeleteDC(hdcMemory);
    return hDib;
}

void SetMenuItemIcon(FloorState& state, HICON hIcon, HMENU hMenu, UINT nPosition)
{
    HDC hdcMemory = ::CreateCompatibleDC(nullptr);
    const int cx = ::GetSystemMetrics(SM_CXSMICON);
    const int cy = ::GetSystemMetrics(SM_CYSMICON);
    if (hdcMemory == nullptr)
        return;
    HBITMAP hPlaceholder = ::CreateCompatibleBitmap(hdcMemory, cx, cy);
    HBITMAP hResult = hPlaceholder;
    if (hPlaceholder != nullptr && ::SelectObject(hdcMemory, hPlaceholder) != nullptr)
    {
        HDC hdcPaint = nullptr;
        HPAINTBUFFER hBuffer = BeginPaintBuffer(hdcMemory, cx, cy, &hdcPaint);
        if (hBuffer != nullptr)
        {
            if (::DrawIconEx(hdcPaint, 0, 0, hIcon, cx, cy, 0, nullptr, DI_NORMAL))
                hResult = IconToMenuDib(hIcon, cx, cy);
            ::EndBufferedPaint(hBuffer, TRUE);
        }
    }
    ::DeleteDC(hdcMemory);
    if (hResult != hPlaceholder)
        ::DeleteObject(hPlaceholder);
    ::SetMenuItemBitmaps(hMenu, nPosition, MF_BYPOSITION | MF_BITMAP, hResult, hResult);
    state.vecMenuBitmaps.push_back(hResult);
}

HICON ComposeOnMenuColour(HICON hSource, int nWidth, int nHeight, int x, int y)
{
    const int cx = ::GetSystemMetrics(SM_CXSMICON);
    const int cy = ::GetSystemMetrics(SM_CYSMICON);
    HDC hdcScreen = ::CreateDCW(L"DISPLAY", nullptr, nullptr, nullptr);
    HDC hdcMemory = ::CreateCompatibleDC(hdcScreen);
    HBITMAP hColour = ::CreateCompatibleBitmap(hdcScreen, cx, cy);
    HGDIOBJ hOld = ::SelectObject(hdcMemory, hColour);
    RECT rc = {0, 0, cx, cy};
    ::FillRect(hdcMemory, &rc, reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_MENU + 1)));
    ::DrawIconEx(hdcMemory, x, y, hSource, nWidth, nHeight, 0, nullptr, DI_NORMAL);
    HBITMAP hMask = ::CreateBitmap(cx, cy, 1, 1, nullptr);
    ICONINFO info = {TRUE, 0, 0, hMask, hColour};
    HICON hIcon = ::CreateIconIndirect(&info);
    ::DeleteObject(hMask);
    ::SelectObject(hdcMemory, hOld);
    ::DeleteDC(hdcMemory);
    ::DeleteDC(hdcScreen);
    ::DeleteObject(hColour);
    return hIcon;
}

HICON LoadIclIcon(const wchar_t* pszLibrary, int nIndex)
{
    if (pszLibrary == nullptr)
        return nullptr;
    const int cx = ::GetSystemMetrics(SM_CXSMICON);
    const int cy = ::GetSystemMetrics(SM_CYSMICON);
    const int s = PickIconSize(cx, kIclSizes, 4);
    HICON hExtracted = nullptr;
    UINT nId = 0;
    const UINT nCount = ::PrivateExtractIconsW(pszLibrary, nIndex, s, s - 1, &hExtracted, &nId, 1, LR_LOADTRANSPARENT);
    if (nCount == 0 || nCount == 0xFFFFFFFF || hExtracted == nullptr)
        return nullptr;
    HICON hComposed = ComposeOnMenuColour(hExtracted, s, s - 1, (cx - s + 1) / 2 - 1, (cy - s + 1) / 2);
    ::DestroyIcon(hExtracted);
    return hComposed;
}

void SetSubmenuLogo(FloorState& state, HMENU hMenu, UINT nPosition)
{
    const int cx = ::GetSystemMetrics(SM_CXSMICON);
    const int cy = ::GetSystemMetrics(SM_CYSMICON);
    const int s = PickIconSize(cx, kLogoSizes, 9);
    HICON hLogo = static_cast<HICON>(
        ::LoadImageW(state.hResources, MAKEINTRESOURCEW(kLogoIcon), IMAGE_ICON, s, s, LR_DEFAULTCOLOR));
    if (hLogo == nullptr)
        return;
    HICON hComposed = ComposeOnMenuColour(hLogo, s, s, (cx - s) / 2, (cy - s) / 2);
    ::DestroyIcon(hLogo);
    if (hComposed != nullptr)
    {
        SetMenuItemIcon(state, hComposed, hMenu, nPosition);
        ::DestroyIcon(hComposed);
    }
}

// ---------------------------------------------------------------------------
// The menu

wchar_t* GetMenuCaption(const FloorState& state, const wchar_t* pszKey, const wchar_t* pszFallback)
{
    wchar_t szCaption[MAX_PATH];
    memset(szCaption, 0, sizeof(szCaption));
    ::GetPrivateProfileStringW(L"menu_items", pszKey, pszFallback, szCaption, MAX_PATH, state.strLangFile.c_str());
    const size_t cch = wcslen(szCaption);
    wchar_t* pszCaption = new wchar_t[cch + 1];
    memcpy(pszCaption, szCaption, (cch + 1) * sizeof(wchar_t));
    return pszCaption;
}

BOOL AddMenuItem(FloorState& state, HMENU hMenu, UINT nPosition, UINT_PTR idOrSubmenu, const wchar_t* pszCaption,
                 int nType, const wchar_t* pszLibrary, int nIconIndex, COLORREF crColor, WORD wIconResource)
{
    FloorRecord record;
    record.nType = nType;
    record.crColor = crColor;
    record.szIconFile[0] = L'\0';
    record.nIconIndex = nIconIndex;
    if (pszLibrary != nullptr)
    {
        HANDLE hFile = ::CreateFileW(pszLibrary, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
        if (hFile != INVALID_HANDLE_VALUE)
        {
            ::CloseHandle(hFile);
            ::lstrcpynW(record.szIconFile, pszLibrary, MAX_PATH);
        }
        else
        {
            wchar_t szPath[3 * MAX_PATH];
            _snwprintf(szPath, ARRAYSIZE(szPath), L"%ls\\icl\\%ls", state.szInstallDir, pszLibrary);
            szPath[ARRAYSIZE(szPath) - 1] = L'\0';
            ::lstrcpynW(record.szIconFile, szPath, MAX_PATH);
        }
    }
    BOOL bInserted;
    if (nType == 7)
        bInserted = ::InsertMenuW(hMenu, nPosition, MF_BYPOSITION | MF_POPUP, idOrSubmenu, pszCaption);
    else
    {
        state.vecMenuItems.push_back(record);
        bInserted = ::InsertMenuW(hMenu, nPosition, MF_BYPOSITION | MF_STRING, idOrSubmenu, pszCaption);
    }
    if (nType == 3)
    {
        HICON hIcon = ::LoadIconW(state.hResources, MAKEINTRESOURCEW(wIconResource));
        if (hIcon != nullptr)
            SetMenuItemIcon(state, hIcon, hMenu, nPosition);
    }
    else if (pszLibrary != nullptr)
    {
        HICON hIcon = LoadIclIcon(record.szIconFile, record.nIconIndex);
        if (hIcon != nullptr)
        {
            SetMenuItemIcon(state, hIcon, hMenu, nPosition);
            ::DestroyIcon(hIcon);
        }
    }
    return bInserted;
}

struct Item
{
    UINT nPosition;
    UINT nOffset;
    const wchar_t* pszKey;
    const wchar_t* pszFallback;
    int nType;
    const wchar_t* pszLibrary;
    int nIconIndex;
    COLORREF crColor;
    WORD wIconResource;
};

const Item kMarkersAndColours[] = {
    {0, 0, L"#DEFITEM#_High Priority", L"High Priority", 1, L"Main.icl", 0, 0, 0},
    {1, 1, L"#DEFITEM#_Low Priority", L"Low Priority", 1, L"Main.icl", 2, 0, 0},
    {2, 2, L"#DEFITEM#_Planned Work", L"Planned Work", 1, L"Main.icl", 3, 0, 0},
    {3, 3, L"#DEFITEM#_Done Work", L"Done Work", 1, L"Main.icl", 5, 0, 0},
    {4, 4, L"#DEFITEM#_Approved", L"Approved", 1, L"Main.icl", 6, 0, 0},
    {5, 5, L"#DEFITEM#_Rejected", L"Rejected", 1, L"Main.icl", 8, 0, 0},
    {7, 6, L"#DEFITEM#_Red", L"Red", 3, nullptr, 0, 0x3645FE, 326},
    {8, 7, L"#DEFITEM#_Green", L"Green", 3, nullptr, 0, 0x2CFA14, 311},
    {9, 8, L"#DEFITEM#_Blue", L"Blue", 3, nullptr, 0, 0xFF915B, 302},
    {10, 9, L"#DEFITEM#_Gray", L"Gray", 3, nullptr, 0, 0xB2B2B2, 308},
};

void AddItem(FloorState& state, HMENU hMenu, UINT idCmdFirst, const Item& item)
{
    wchar_t* pszCaption = GetMenuCaption(state, item.pszKey, item.pszFallback);
    AddMenuItem(state, hMenu, item.nPosition, idCmdFirst + item.nOffset, pszCaption, item.nType, item.pszLibrary,
                item.nIconIndex, item.crColor, item.wIconResource);
    delete[] pszCaption;
}

// ---------------------------------------------------------------------------
// Icons

std::wstring StripQuotes(std::wstring str)
{
    for (size_t nQuote = str.find(L'"'); nQuote != std::wstring::npos; nQuote = str.find(L'"'))
        str.erase(nQuote, 1);
    return str;
}

bool GetDefaultIconLocation(const wchar_t* pszExtension, wchar_t* pszLocation, UINT cchLocation, int* piIndex)
{
    wchar_t szText[2 * MAX_PATH];
    DWORD cchText = ARRAYSIZE(szText);
    if (::AssocQueryStringW(ASSOCF_NONE, ASSOCSTR_DEFAULTICON, pszExtension, nullptr, szText, &cchText) != S_OK)
        return false;
    std::wstring strText = szText;
    if (szText[0] == L'@')
    {
        wchar_t szResolved[2 * MAX_PATH + 2];
        ::SHLoadIndirectString(szText, szResolved, 2 * MAX_PATH, nullptr);
        ::StrCatW(szResolved, L",0");
        wchar_t szName[MAX_PATH + 1];
        HKEY hKey = nullptr;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, kCacheKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &hKey) ==
            ERROR_SUCCESS)
        {
            memset(szName, 0, sizeof(szName));
            DWORD cbName = 520;
            ::RegQueryValueExW(hKey, szResolved, nullptr, nullptr, reinterpret_cast<BYTE*>(szName), &cbName);
            ::RegCloseKey(hKey);
        }
        wchar_t szPath[2 * MAX_PATH];
        ::GetEnvironmentVariableW(L"AppData", szPath, MAX_PATH);
        ::StrCatW(szPath, L"\\Kelvoss\\Orvane\\Cache\\");
        ::StrCatW(szPath, szName);
        strText = szPath;
    }
    const size_t nComma = strText.rfind(L',');
    std::wstring strLocation;
    if (nComma == std::wstring::npos)
    {
        strLocation = StripQuotes(strText);
        *piIndex = 0;
    }
    else
    {
        *piIndex = static_cast<int>(wcstol(strText.c_str() + nComma + 1, nullptr, 10));
        strLocation = StripQuotes(strText.substr(0, nComma));
    }
    ::lstrcpynW(pszLocation, strLocation.c_str(), cchLocation);
    return true;
}

bool OpensForReading(const wchar_t* pszPath)
{
    HANDLE hFile = ::CreateFileW(pszPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    ::CloseHandle(hFile);
    return true;
}

}  // namespace

void FloorCreateAndRelease(FloorState& state)
{
    // DllGetClassObject: the cached class object, with a reference for the
    // caller, which locks the module.
    void* pFactory = ::DecodePointer(s_pEncodedFactory);
    if (::InterlockedIncrement(&s_nFactoryRefs) == 2)
        ::InterlockedIncrement(&s_nModuleLocks);
    // CreateInstance: the object, its module lock, AppData read afresh.
    auto* pObject = static_cast<FloorObject*>(::HeapAlloc(::GetProcessHeap(), 0, sizeof(FloorObject)));
    pObject->nRefs = 1;
    pObject->szInstallDir[0] = L'\0';
    pObject->szFileName[0] = L'\0';
    ::InterlockedIncrement(&s_nModuleLocks);
    ::GetEnvironmentVariableW(L"AppData", state.szAppData, MAX_PATH);
    // Release of the instance (with the lock taken around its destruction),
    // then of the class object.
    ::InterlockedIncrement(&s_nModuleLocks);
    ::InterlockedDecrement(&s_nModuleLocks);
    ::HeapFree(::GetProcessHeap(), 0, pObject);
    ::InterlockedDecrement(&s_nModuleLocks);
    if (::InterlockedDecrement(&s_nFactoryRefs) == 1)
        ::InterlockedDecrement(&s_nModuleLocks);
    (void)pFactory;
}

namespace {

// The physical limit: one walk over the locked block, each name copied once
// into the object's list, the list ending in an empty name.
bool ReadNamesInOnePass(FloorState& state, const void* pBlock)
{
    const DROPFILES* pDrop = static_cast<const DROPFILES*>(pBlock);
    const wchar_t* pszName = reinterpret_cast<const wchar_t*>(static_cast<const BYTE*>(pBlock) + pDrop->pFiles);
    state.vecSelectedFiles.clear();
    while (*pszName != L'\0')
    {
        const size_t cch = wcslen(pszName);
        state.vecSelectedFiles.emplace_back(pszName, cch);
        pszName += cch + 1;
    }
    return !state.vecSelectedFiles.empty();
}

// What a naive handler pays: the count, then one DragQueryFileW call per
// name, each of which walks the list from its start.
bool ReadNamesOneCallEach(FloorState& state, const void* pBlock)
{
    HDROP hDrop = static_cast<HDROP>(const_cast<void*>(pBlock));
    const UINT nCount = ::DragQueryFileW(hDrop, 0xFFFFFFFF, nullptr, 0);
    if (nCount == 0)
        return false;
    state.vecSelectedFiles.clear();
    for (UINT i = 0; i < nCount; ++i)
    {
        wchar_t szName[2 * MAX_PATH];
        if (::DragQueryFileW(hDrop, i, szName, 2 * MAX_PATH) != 0)
            state.vecSelectedFiles.push_back(szName);
    }
    return true;
}

template <class ReadNames>
HRESULT InitializeReadingWith(FloorState& state, IDataObject* pDataObject, ReadNames readNames)
{
    LoadSettings(state);
    if (pDataObject == nullptr)
        return E_INVALIDARG;
    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    medium.tymed = TYMED_HGLOBAL;
    if (FAILED(pDataObject->GetData(&format, &medium)))
        return E_INVALIDARG;
    const void* pBlock = ::GlobalLock(medium.hGlobal);
    const bool bRead = pBlock != nullptr && readNames(state, pBlock);
    if (pBlock != nullptr)
        ::GlobalUnlock(medium.hGlobal);
    ::ReleaseStgMedium(&medium);
    if (!bRead)
        return E_INVALIDARG;
    ::SetTimer(nullptr, 1, 10000, FloorTimerProc);
    return S_OK;
}

}  // namespace

HRESULT FloorInitialize(FloorState& state, IDataObject* pDataObject)
{
    return InitializeReadingWith(state, pDataObject, ReadNamesInOnePass);
}

HRESULT FloorInitializeNaive(FloorState& state, IDataObject* pDataObject)
{
    return InitializeReadingWith(state, pDataObject, ReadNamesOneCallEach);
}

HRESULT FloorQueryContextMenu(FloorState& state, HMENU hMenu, UINT nIndexMenu, UINT idCmdFirst, UINT uFlags)
{
    if (uFlags & CMF_DEFAULTONLY)
        return S_OK;
    for (HBITMAP hBitmap : state.vecMenuBitmaps)
        ::DeleteObject(hBitmap);
    state.vecMenuBitmaps.clear();
    state.vecMenuItems.clear();

    HMENU hSubmenu = ::CreatePopupMenu();
    for (size_t i = 0; i < 6; ++i)
        AddItem(state, hSubmenu, idCmdFirst, kMarkersAndColours[i]);
    ::InsertMenuW(hSubmenu, 6, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
    for (size_t i = 6; i < 10; ++i)
        AddItem(state, hSubmenu, idCmdFirst, kMarkersAndColours[i]);
    ::InsertMenuW(hSubmenu, 11, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);

    const bool bExtended = (uFlags & CMF_EXTENDEDVERBS) != 0;
    if (bExtended)
    {
        HMENU hExtended = ::CreatePopupMenu();
        AddItem(state, hExtended, idCmdFirst, {0, 10, L"#DEFITEM#_Mark_File", L"Mark File", 2, nullptr, 0, 0, 0});
        AddItem(state, hExtended, idCmdFirst,
                {1, 11, L"#DEFITEM#_Remove_Color", L"Remove Color", 4, nullptr, 0, 0, 0});
        AddItem(state, hExtended, idCmdFirst,
                {2, 12, L"#DEFITEM#_Remove_Marker_Color", L"Remove Marker && Color", 6, nullptr, 0, 0, 0});
        wchar_t* pszCaption = GetMenuCaption(state, L"#DEFITEM#_Restore_Default", L"Restore Default");
        AddMenuItem(state, hSubmenu, 12, reinterpret_cast<UINT_PTR>(hExtended), pszCaption, 7, nullptr, 0, 0, 0);
        delete[] pszCaption;
        AddItem(state, hSubmenu, idCmdFirst, {13, 13, L"#DEFITEM#_More_Icons", L"More Icons", 5, nullptr, 0, 0, 0});
    }
    else
    {
        AddItem(state, hSubmenu, idCmdFirst,
                {12, 10, L"#DEFITEM#_Restore_Default", L"Restore Default", 6, nullptr, 0, 0, 0});
        AddItem(state, hSubmenu, idCmdFirst, {13, 11, L"#DEFITEM#_More_Icons", L"More Icons", 5, nullptr, 0, 0, 0});
    }

    wchar_t* pszCaption = GetMenuCaption(state, L"#DEFITEM#_Mark_File", L"Mark File");
    ::InsertMenuW(hMenu, nIndexMenu, MF_BYPOSITION | MF_POPUP, reinterpret_cast<UINT_PTR>(hSubmenu), pszCaption);
    delete[] pszCaption;
    SetSubmenuLogo(state, hMenu, nIndexMenu);
    return MAKE_HRESULT(SEVERITY_SUCCESS, 0, bExtended ? 14 : 12);
}

HRESULT FloorInvokeCommand(FloorState& state, UINT nOffset)
{
    // The selection file.
    wchar_t szTemp[MAX_PATH];
    ::GetEnvironmentVariableW(L"TEMP", szTemp, MAX_PATH);
    // Numbered from a start of this thread's own, as the extension does: an
    // unseeded generator would overwrite the previous run's files in the same
    // prefix, which is cheaper than making new names in a full folder.
    static thread_local bool s_bSeeded = false;
    if (!s_bSeeded)
    {
        srand(::GetCurrentThreadId() ^ ::GetTickCount());
        s_bSeeded = true;
    }
    const int n = rand() % 9000000 + 100000;
    _snwprintf(state.szSelectionFile, MAX_PATH, L"%ls\\orvane%d.dat", szTemp, n);
    state.szSelectionFile[MAX_PATH - 1] = L'\0';
    HANDLE hFile = ::CreateFileW(state.szSelectionFile, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile != INVALID_HANDLE_VALUE)
    {
        // One write of the whole file: the mark, then every path and its
        // carriage return, in a buffer of exactly the file's size.
        size_t cchText = 1;
        for (const std::wstring& strPath : state.vecSelectedFiles)
            cchText += strPath.size() + 1;
        std::wstring strText;
        strText.reserve(cchText);
        strText += wchar_t(0xFEFF);
        for (const std::wstring& strPath : state.vecSelectedFiles)
        {
            strText += strPath;
            strText += L'\r';
        }
        DWORD cbWritten = 0;
        ::WriteFile(hFile, strText.data(), static_cast<DWORD>(strText.size() * 2), &cbWritten, nullptr);
        ::CloseHandle(hFile);
    }

    if (nOffset >= state.vecMenuItems.size())
        return E_INVALIDARG;
    const FloorRecord record = state.vecMenuItems[nOffset];
    wchar_t szParameters[2 * MAX_PATH];
    switch (record.nType)
    {
    case 1:
        _snwprintf(szParameters, ARRAYSIZE(szParameters), L"-oi \"%ls\" \"%ls\" %d", state.szSelectionFile,
                   record.szIconFile, record.nIconIndex);
        break;
    case 3:
        _snwprintf(szParameters, ARRAYSIZE(szParameters), L"-ci \"%ls\" %d", state.szSelectionFile,
                   static_cast<int>(record.crColor));
        break;
    case 2:
        _snwprintf(szParameters, ARRAYSIZE(szParameters), L"-uo \"%ls\"", state.szSelectionFile);
        break;
    case 4:
        _snwprintf(szParameters, ARRAYSIZE(szParameters), L"-uc \"%ls\"", state.szSelectionFile);
        break;
    case 5:
        _snwprintf(szParameters, ARRAYSIZE(szParameters), L"-mi \"%ls\"", state.szSelectionFile);
        break;
    case 6:
        _snwprintf(szParameters, ARRAYSIZE(szParameters), L"-rd \"%ls\"", state.szSelectionFile);
        break;
    default:
        return E_INVALIDARG;
    }
    szParameters[ARRAYSIZE(szParameters) - 1] = L'\0';

    // The fixed copy, then the start.
    wchar_t szCopy[MAX_PATH];
    memset(szCopy, 0, sizeof(szCopy));
    _snwprintf(szCopy, MAX_PATH - 1, L"%ls\\Kelvoss\\Orvane\\selectedfiles.dat", state.szAppData);
    // A floor whose copy failed would measure less than the operation does.
    if (!::CopyFileW(state.szSelectionFile, szCopy, FALSE))
        return HRESULT_FROM_WIN32(::GetLastError());
    if (state.szAppPath[0] != L'\0')
        ::ShellExecuteW(nullptr, nullptr, state.szAppPath, szParameters, nullptr, SW_SHOW);
    return S_OK;
}

HRESULT FloorCommandTitle(FloorState& state, LPWSTR* ppszTitle)
{
    auto* pObject = static_cast<FloorObject*>(::HeapAlloc(::GetProcessHeap(), 0, sizeof(FloorObject)));
    ::InterlockedIncrement(&s_nModuleLocks);
    pObject->szInstallDir[0] = L'\0';
    ::GetEnvironmentVariableW(L"AppData", state.szAppData, MAX_PATH);
    LoadSettings(state);
    wchar_t* pszCaption = GetMenuCaption(state, L"#DEFITEM#_Mark_File", L"Mark File");
    const HRESULT hr = ::SHStrDupW(pszCaption, ppszTitle);
    delete[] pszCaption;
    ::HeapFree(::GetProcessHeap(), 0, pObject);
    ::InterlockedDecrement(&s_nModuleLocks);
    return hr;
}

int FloorCommandSubcommands(FloorState& state, const wchar_t* pszCommandDll)
{
    auto handOut = [](const wchar_t* pszText) {
        LPWSTR pszCopy = nullptr;
        ::SHStrDupW(pszText, &pszCopy);
        ::CoTaskMemFree(pszCopy);
    };
    const Item kTail[] = {
        {12, 10, L"#DEFITEM#_Restore_Default", L"Restore Default", 6, nullptr, 0, 0, 0},
        {13, 11, L"#DEFITEM#_More_Icons", L"More Icons", 5, nullptr, 0, 0, 0},
    };
    int nIcons = 0;
    wchar_t szLocation[2 * MAX_PATH];
    for (size_t i = 0; i < 12; ++i)
    {
        const Item& item = i < 10 ? kMarkersAndColours[i] : kTail[i - 10];
        wchar_t* pszCaption = GetMenuCaption(state, item.pszKey, item.pszFallback);
        handOut(pszCaption);
        delete[] pszCaption;
        szLocation[0] = L'\0';
        if (item.pszLibrary != nullptr)
        {
            wchar_t szLibrary[MAX_PATH];
            if (OpensForReading(item.pszLibrary))
                ::lstrcpynW(szLibrary, item.pszLibrary, MAX_PATH);
            else
                _snwprintf(szLibrary, MAX_PATH, L"%ls\\icl\\%ls", state.szInstallDir, item.pszLibrary);
            szLibrary[MAX_PATH - 1] = L'\0';
            const DWORD dwAttributes = ::GetFileAttributesW(szLibrary);
            if (dwAttributes != INVALID_FILE_ATTRIBUTES && !(dwAttributes & FILE_ATTRIBUTE_DIRECTORY))
                _snwprintf(szLocation, ARRAYSIZE(szLocation), L"%ls,%d", szLibrary, item.nIconIndex);
        }
        else if (item.wIconResource != 0)
            _snwprintf(szLocation, ARRAYSIZE(szLocation), L"%ls,-%d", pszCommandDll, item.wIconResource);
        szLocation[ARRAYSIZE(szLocation) - 1] = L'\0';
        if (szLocation[0] != L'\0')
        {
            handOut(szLocation);
            ++nIcons;
        }
    }
    return nIcons;
}

void FloorCommandPaths(FloorState& state, IShellItemArray* pSelection)
{
    // The array's data object first; Wine's array has none.
    IDataObject* pData = nullptr;
    if (SUCCEEDED(pSelection->BindToHandler(nullptr, BHID_DataObject, IID_IDataObject, reinterpret_cast<void**>(&pData))))
        pData->Release();
    DWORD nCount = 0;
    pSelection->GetCount(&nCount);
    state.vecSelectedFiles.clear();
    state.vecSelectedFiles.reserve(nCount);
    IEnumShellItems* pEnum = nullptr;
    if (FAILED(pSelection->EnumItems(&pEnum)))
        return;
    IShellItem* apItems[64];
    ULONG nFetched = 0;
    while (SUCCEEDED(pEnum->Next(64, apItems, &nFetched)) && nFetched != 0)
    {
        for (ULONG i = 0; i < nFetched; ++i)
        {
            LPWSTR pszPath = nullptr;
            if (SUCCEEDED(apItems[i]->GetDisplayName(SIGDN_FILESYSPATH, &pszPath)))
            {
                state.vecSelectedFiles.emplace_back(pszPath);
                ::CoTaskMemFree(pszPath);
            }
            apItems[i]->Release();
        }
    }
    pEnum->Release();
}

HRESULT FloorCommandInvoke(FloorState& state, IShellItemArray* pSelection, UINT nOffset)
{
    FloorCommandPaths(state, pSelection);
    return FloorInvokeCommand(state, nOffset);
}

void FloorLoad(FloorState& state, const wchar_t* pszFileName)
{
    ::lstrcpynW(state.szFileName, pszFileName, ARRAYSIZE(state.szFileName));
}

HRESULT FloorGetIconLocation(FloorState& state, wchar_t* pszIconFile, UINT cchMax, int* piIndex, UINT* pwFlags)
{
    wchar_t szWork[2 * MAX_PATH];
    const wchar_t* pszFormat = nullptr;
    memset(szWork, 0, sizeof(szWork));
    _snwprintf(szWork, ARRAYSIZE(szWork) - 1, L"%ls:ovx", state.szFileName);
    if (OpensForReading(szWork))
        pszFormat = L"%ls:ovx";
    else
    {
        memset(szWork, 0, sizeof(szWork));
        _snwprintf(szWork, ARRAYSIZE(szWork) - 1, L"%ls:orvaneicon", state.szFileName);
        if (OpensForReading(szWork))
            pszFormat = L"%ls:orvaneicon";
    }
    if (pszFormat == nullptr)
    {
        const wchar_t* pszDot = wcsrchr(state.szFileName, L'.');
        ::lstrcpynW(szWork, pszDot != nullptr ? pszDot : L"", ARRAYSIZE(szWork));
        GetDefaultIconLocation(szWork, pszIconFile, cchMax, piIndex);
        if (*piIndex == 0 && wcscmp(pszIconFile, L"%1") == 0)
            ::lstrcpynW(pszIconFile, state.szFileName, cchMax);
        *pwFlags = GIL_DONTCACHE;
        return S_OK;
    }
    memset(szWork, 0, sizeof(szWork));
    _snwprintf(szWork, ARRAYSIZE(szWork) - 1, pszFormat, state.szFileName);
    ::lstrcpynW(pszIconFile, szWork, cchMax);
    *piIndex = 0;
    *pwFlags = GIL_DONTCACHE;
    return S_OK;
}

void FloorReleaseMenuBitmaps(FloorState& state)
{
    for (HBITMAP hBitmap : state.vecMenuBitmaps)
        ::DeleteObject(hBitmap);
    state.vecMenuBitmaps.clear();
}

HRESULT FloorCommandState(IUnknown* pSite, IShellItemArray* pSelection, EXPCMDSTATE* pState)
{
    *pState = ECS_HIDDEN;
    DWORD nCount = 0;
    if (pSelection == nullptr || FAILED(pSelection->GetCount(&nCount)) || nCount == 0)
        return S_OK;
    IOleWindow* pWindow = nullptr;
    if (FAILED(pSite->QueryInterface(IID_IOleWindow, reinterpret_cast<void**>(&pWindow))))
        pWindow = nullptr;
    HWND hWnd = nullptr;
    if (pWindow != nullptr)
    {
        pWindow->GetWindow(&hWnd);
        pWindow->Release();
    }
    wchar_t szClass[257] = L"";
    if (hWnd != nullptr)
        ::GetClassNameW(hWnd, szClass, 257);
    *pState = (hWnd == nullptr || lstrcmpiW(szClass, L"NamespaceTreeControl") == 0) ? ECS_ENABLED : ECS_HIDDEN;
    return S_OK;
}
