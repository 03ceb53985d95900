// The pictures beside the marker menu's items: their sizes, their pixels
// (alpha from the icon or from its mask, the menu colour behind library
// icons), and the per-thread list that keeps them alive.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <thread>

#include "ShellExt/contextmenu/SimpleShlExt.h"
#include "ShellExt/icons/IconSizes.h"
#include "ShellExt/icons/MenuBitmaps.h"
#include "ShellExt/module/Module.h"
#include "ShellExt/resources/resource.h"
#include "ShellExt/settings/Settings.h"
#include "tests/win/MenuPictures.h"
#include "tests/win/ServerTestSupport.h"
#include "tests/win/TestSupport.h"

using namespace testing_support;
using namespace menu_pictures;

namespace {

int SmallIconWidth()
{
    return ::GetSystemMetrics(SM_CXSMICON);
}

HICON ExtractTestIcon(int nIndex, int nSize)
{
    HICON hIcon = nullptr;
    UINT nId = 0;
    UINT nCount = ::PrivateExtractIconsW(TestInstallation::TestIconLibrary().c_str(), nIndex, nSize, nSize, &hIcon,
                                         &nId, 1, 0);
    return nCount == 1 ? hIcon : nullptr;
}

DibPixels PixelsOf(HBITMAP hBitmap)
{
    DibPixels pixels;
    EXPECT_TRUE(ReadDibPixels(hBitmap, pixels)) << "not a 32-bpp DIB section";
    return pixels;
}

// An icon 16 x 16 whose colour bitmap carries alpha 0 everywhere but at one
// pixel, with a clear mask: by its mask alone it would be opaque everywhere.
HICON CreateIconWithOneAlphaPixel(int xAlpha, int yAlpha)
{
    BITMAPINFO bmi = {};
    bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bmi.bmiHeader.biWidth = 16;
    bmi.bmiHeader.biHeight = -16;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    void* pvBits = nullptr;
    HBITMAP hColour = ::CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &pvBits, nullptr, 0);
    uint32_t* pBits = static_cast<uint32_t*>(pvBits);
    for (int i = 0; i < 256; ++i)
        pBits[i] = 0x000000FF;  // blue, alpha 0
    pBits[yAlpha * 16 + xAlpha] = Opaque(255, 0, 0);
    std::vector<BYTE> vecMaskBits(2 * 16, 0);
    HBITMAP hMask = ::CreateBitmap(16, 16, 1, 1, vecMaskBits.data());
    ICONINFO info = {TRUE, 0, 0, hMask, hColour};
    HICON hIcon = ::CreateIconIndirect(&info);
    ::DeleteObject(hMask);
    ::DeleteObject(hColour);
    return hIcon;
}

// Where the picture of a test library icon must be transparent, and where
// it must be solid, in 16-pixel layout coordinates: the border ring, the
// notch at the top-left only, and the rest.
struct LayoutPoint
{
    int x;
    int y;
    bool bSolid;
};
const LayoutPoint kTestIconLayout[] = {
    {0, 0, false},  {8, 0, false},  {15, 8, false}, {8, 15, false}, {0, 8, false},  // ring
    {2, 2, false},  {4, 4, false},  {1, 3, false},                                   // notch
    {8, 8, true},   {2, 12, true},  {12, 2, true},  {5, 5, true},   {1, 5, true},   {5, 1, true},
};

// Every pixel where the logo's own image at nSize is opaque must show in the
// picture unchanged, at ((cx - nSize) / 2, (cy - nSize) / 2): a picture made
// from another image of the logo, stretched, differs there.
void ExpectLogoPicture(HBITMAP hBitmap, int cx, int cy)
{
    const int nSize = PickIconSize(cx, g_LogoIconSizes);
    HICON hLogo = static_cast<HICON>(
        ::LoadImageW(g_hInstance, MAKEINTRESOURCEW(IDI_LOGO), IMAGE_ICON, nSize, nSize, LR_DEFAULTCOLOR));
    ASSERT_NE(nullptr, hLogo);
    HBITMAP hReference = IconToMenuDib(hLogo, nSize, nSize);
    ::DestroyIcon(hLogo);
    DibPixels reference = PixelsOf(hReference);
    ::DeleteObject(hReference);

    DibPixels picture = PixelsOf(hBitmap);
    ASSERT_EQ(cx, picture.nWidth);
    ASSERT_EQ(cy, picture.nHeight);
    const int x0 = (cx - nSize) / 2;
    const int y0 = (cy - nSize) / 2;
    int nOpaque = 0;
    for (int y = 0; y < nSize; ++y)
    {
        for (int x = 0; x < nSize; ++x)
        {
            const uint32_t pixel = reference.At(x, y);
            const int xPicture = x + x0;
            const int yPicture = y + y0;
            if ((pixel >> 24) != 0xFF || xPicture < 0 || yPicture < 0 || xPicture >= cx || yPicture >= cy)
                continue;
            ++nOpaque;
            ASSERT_EQ(pixel, picture.At(xPicture, yPicture)) << "at " << xPicture << "," << yPicture;
        }
    }
    EXPECT_GT(nOpaque, nSize * nSize / 4);
}

// A library icon at the metric: the menu colour around it and in its
// transparent places (all opaque for an icon without alpha), its colour
// inside, placed at ((cx - s + 1) / 2 - 1, (cy - s + 1) / 2) and drawn
// s x (s - 1). Checked at points well inside the layout's regions, so that
// the stretch's rounding does not matter.
void ExpectLibraryPicture(HBITMAP hBitmap, int nIndex, int cx, int cy)
{
    const int nSize = PickIconSize(cx, g_IclIconSizes);
    const int x0 = (cx - nSize + 1) / 2 - 1;
    const int y0 = (cy - nSize + 1) / 2;
    const double dUnitX = nSize / 16.0;
    const double dUnitY = (nSize - 1) / 16.0;
    DibPixels picture = PixelsOf(hBitmap);
    ASSERT_EQ(cx, picture.nWidth);
    ASSERT_EQ(cy, picture.nHeight);
    const uint32_t menuColour = OpaqueOf(MenuColourOverride::kColour);

    // Inside the notch (top-left) and inside the solid area below it.
    const int xNotch = x0 + static_cast<int>(2.5 * dUnitX);
    const int yNotch = y0 + static_cast<int>(2.5 * dUnitY);
    const int yBelow = y0 + static_cast<int>(12.5 * dUnitY);
    const int xCentre = x0 + static_cast<int>(8.5 * dUnitX);
    const int yCentre = y0 + static_cast<int>(8.5 * dUnitY);
    EXPECT_EQ(kIclColours[nIndex], picture.At(xCentre, yCentre));
    if (xNotch >= 0 && yNotch >= 0)
        EXPECT_EQ(kIclColours[nIndex], picture.At(xNotch, yBelow));
    if (kIclHasAlpha[nIndex])
    {
        if (xNotch >= 0 && yNotch >= 0)
            EXPECT_EQ(0u, picture.At(xNotch, yNotch) >> 24);
        return;
    }
    EXPECT_TRUE(picture.AllOpaque());
    if (xNotch >= 0 && yNotch >= 0)
        EXPECT_EQ(menuColour, picture.At(xNotch, yNotch));
    // Outside the drawn icon, where there is room for it.
    if (x0 > 0)
        EXPECT_EQ(menuColour, picture.At(0, cy / 2));
    if (y0 > 0)
        EXPECT_EQ(menuColour, picture.At(cx / 2, 0));
    // The icon's own transparent ring, at the middle of its bottom edge.
    const int yRing = y0 + static_cast<int>(15.5 * dUnitY);
    if (yRing < cy)
        EXPECT_EQ(menuColour, picture.At(xCentre, yRing));
}

class MenuBitmapsTest : public ::testing::Test
{
protected:
    void SetUp() override { ClearMenuBitmapList(); }
    void TearDown() override { ClearMenuBitmapList(); }
};

TEST_F(MenuBitmapsTest, IconWithoutAlphaTakesItFromItsMaskAndIconWithAlphaKeepsItsOwn)
{
    // 0 and 8 bring alpha; 2 and 5 have only a mask (every alpha byte 0).
    for (int nIndex : {0, 2, 5, 8})
    {
        SCOPED_TRACE(nIndex);
        HICON hIcon = ExtractTestIcon(nIndex, 16);
        ASSERT_NE(nullptr, hIcon);
        HBITMAP hDib = IconToMenuDib(hIcon, 16, 16);
        ::DestroyIcon(hIcon);
        DibPixels pixels = PixelsOf(hDib);
        ::DeleteObject(hDib);
        ASSERT_EQ(16, pixels.nWidth);
        ASSERT_EQ(16, pixels.nHeight);
        EXPECT_TRUE(pixels.bBottomUp);
        // The notch shows at the top-left: a mask taken upside down would put
        // it at the bottom-left.
        for (const LayoutPoint& point : kTestIconLayout)
            EXPECT_EQ(point.bSolid ? kIclColours[nIndex] : 0u, pixels.At(point.x, point.y))
                << "at " << point.x << "," << point.y;
    }
}

TEST_F(MenuBitmapsTest, IconWithAnyAlphaIsKeptAsDrawnEvenWhereItsMaskIsClear)
{
    HICON hIcon = CreateIconWithOneAlphaPixel(5, 7);
    ASSERT_NE(nullptr, hIcon);
    HBITMAP hDib = IconToMenuDib(hIcon, 16, 16);
    ::DestroyIcon(hIcon);
    DibPixels pixels = PixelsOf(hDib);
    ::DeleteObject(hDib);
    EXPECT_EQ(Opaque(255, 0, 0), pixels.At(5, 7));
    int nTransparent = 0;
    for (uint32_t pixel : pixels.vecPixels)
        nTransparent += (pixel >> 24) == 0 ? 1 : 0;
    EXPECT_EQ(255, nTransparent);
}

TEST_F(MenuBitmapsTest, MissingIconsGiveNoIconAndNoBitmap)
{
    EXPECT_EQ(nullptr, IconToMenuDib(nullptr, 16, 16));
    EXPECT_EQ(nullptr, LoadIclIcon(nullptr, 0));
    EXPECT_EQ(nullptr, LoadIclIcon(L"C:\\no such folder\\Main.icl", 0));
    EXPECT_EQ(nullptr, LoadIclIcon(TestInstallation::TestIconLibrary().c_str(), 10));
    EXPECT_EQ(nullptr, LoadIclIcon(TestInstallation::TestIconLibrary().c_str(), -1000));
}

TEST_F(MenuBitmapsTest, LibraryIconIsComposedOnTheMenuColourOneColumnLeft)
{
    MenuColourOverride menuColour;
    const int cx = SmallIconWidth();
    for (int nIndex : {0, 2, 3, 5, 6, 8})
    {
        SCOPED_TRACE(nIndex);
        HICON hIcon = LoadIclIcon(TestInstallation::TestIconLibrary().c_str(), nIndex);
        ASSERT_NE(nullptr, hIcon);
        ICONINFO info = {};
        ASSERT_TRUE(::GetIconInfo(hIcon, &info));
        BITMAP bm = {};
        ::GetObjectW(info.hbmColor, sizeof(bm), &bm);
        EXPECT_EQ(cx, bm.bmWidth);
        EXPECT_EQ(::GetSystemMetrics(SM_CYSMICON), bm.bmHeight);
        ::DeleteObject(info.hbmColor);
        ::DeleteObject(info.hbmMask);

        HBITMAP hDib = IconToMenuDib(hIcon, cx, ::GetSystemMetrics(SM_CYSMICON));
        ::DestroyIcon(hIcon);
        ExpectLibraryPicture(hDib, nIndex, cx, ::GetSystemMetrics(SM_CYSMICON));
        if (cx == 16)
        {
            // The icon's left border column fell outside the square: column 0
            // shows the icon's first solid column.
            DibPixels pixels = PixelsOf(hDib);
            EXPECT_EQ(kIclColours[nIndex], pixels.At(0, 8));
        }
        ::DeleteObject(hDib);
    }
}

TEST_F(MenuBitmapsTest, ItemGetsOneDibAsBothCheckmarksAndTheThreadsListOwnsIt)
{
    HMENU hMenu = ::CreatePopupMenu();
    ::InsertMenuW(hMenu, 0, MF_BYPOSITION | MF_STRING, 1, L"Blue");
    // A shared resource icon: the picture must not destroy it.
    HICON hSwatch = ::LoadIconW(g_hInstance, MAKEINTRESOURCEW(IDI_SWATCH_BLUE));
    SetMenuItemIcon(hSwatch, hMenu, 0);

    std::vector<HBITMAP> vecList = MenuBitmapsOfThisThread();
    ASSERT_EQ(1u, vecList.size());
    bool bSame = false;
    EXPECT_EQ(vecList[0], ItemBitmap(hMenu, 0, &bSame));
    EXPECT_TRUE(bSame);
    DibPixels pixels = PixelsOf(vecList[0]);
    EXPECT_EQ(SmallIconWidth(), pixels.nWidth);
    EXPECT_TRUE(pixels.AllOpaque());
    EXPECT_EQ(Opaque(64, 128, 255), pixels.At(pixels.nWidth / 2, pixels.nHeight / 2));
    ICONINFO info = {};
    EXPECT_TRUE(::GetIconInfo(hSwatch, &info)) << "the shared swatch icon was destroyed";
    ::DeleteObject(info.hbmColor);
    ::DeleteObject(info.hbmMask);

    ClearMenuBitmapList();
    EXPECT_TRUE(MenuBitmapsOfThisThread().empty());
    EXPECT_FALSE(IsLiveBitmap(vecList[0]));
    ::DestroyMenu(hMenu);
}

TEST_F(MenuBitmapsTest, SubmenuEntryShowsTheLogoImageOfTheMetric)
{
    HMENU hMenu = ::CreatePopupMenu();
    ::InsertMenuW(hMenu, 0, MF_BYPOSITION | MF_STRING, 1, L"before");
    ::InsertMenuW(hMenu, 1, MF_BYPOSITION | MF_STRING, 2, L"Mark File");
    SetSubmenuLogo(hMenu, 1);
    EXPECT_EQ(nullptr, ItemBitmap(hMenu, 0));
    HBITMAP hLogo = ItemBitmap(hMenu, 1);
    ASSERT_NE(nullptr, hLogo);
    EXPECT_EQ(std::vector<HBITMAP>{hLogo}, MenuBitmapsOfThisThread());
    ExpectLogoPicture(hLogo, SmallIconWidth(), ::GetSystemMetrics(SM_CYSMICON));
    ::DestroyMenu(hMenu);
}

// Two apartment threads of one host may show menus at the same time: a build
// on one must not delete the pictures of the other's open menu.
TEST_F(MenuBitmapsTest, BuildDeletesOnlyThePicturesOfItsOwnThread)
{
    HMENU hMenu = ::CreatePopupMenu();
    ::InsertMenuW(hMenu, 0, MF_BYPOSITION | MF_STRING, 1, L"mine");
    HICON hSwatch = ::LoadIconW(g_hInstance, MAKEINTRESOURCEW(IDI_SWATCH_RED));
    SetMenuItemIcon(hSwatch, hMenu, 0);
    const HBITMAP hMine = ItemBitmap(hMenu, 0);
    ASSERT_NE(nullptr, hMine);

    HBITMAP hTheirs = nullptr;
    std::vector<HBITMAP> vecTheirList;
    bool bMineAliveDuringTheirBuild = false;
    std::thread other([&] {
        HMENU hOtherMenu = ::CreatePopupMenu();
        ::InsertMenuW(hOtherMenu, 0, MF_BYPOSITION | MF_STRING, 1, L"theirs");
        ClearMenuBitmapList();
        bMineAliveDuringTheirBuild = IsLiveBitmap(hMine);
        SetMenuItemIcon(hSwatch, hOtherMenu, 0);
        hTheirs = ItemBitmap(hOtherMenu, 0);
        vecTheirList = MenuBitmapsOfThisThread();
        ::DestroyMenu(hOtherMenu);
    });
    other.join();

    EXPECT_TRUE(bMineAliveDuringTheirBuild);
    EXPECT_EQ(std::vector<HBITMAP>{hTheirs}, vecTheirList);
    EXPECT_EQ(std::vector<HBITMAP>{hMine}, MenuBitmapsOfThisThread());
    ClearMenuBitmapList();
    EXPECT_FALSE(IsLiveBitmap(hMine));
    // The other thread has ended, and with it its menu: its pictures go with
    // the next build on any thread instead of staying until the DLL unloads.
    EXPECT_FALSE(IsLiveBitmap(hTheirs));
    ::DestroyMenu(hMenu);
}

// Pictures of a thread that still runs stay, whichever other thread builds;
// once it has ended they go with the next build.
TEST_F(MenuBitmapsTest, BuildDeletesThePicturesOfEndedThreadsOnly)
{
    HICON hSwatch = ::LoadIconW(g_hInstance, MAKEINTRESOURCEW(IDI_SWATCH_RED));
    HANDLE hBuilt = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE hMayEnd = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HBITMAP hTheirs = nullptr;
    std::thread other([&] {
        HMENU hOtherMenu = ::CreatePopupMenu();
        ::InsertMenuW(hOtherMenu, 0, MF_BYPOSITION | MF_STRING, 1, L"theirs");
        ClearMenuBitmapList();
        SetMenuItemIcon(hSwatch, hOtherMenu, 0);
        hTheirs = ItemBitmap(hOtherMenu, 0);
        ::SetEvent(hBuilt);
        ::WaitForSingleObject(hMayEnd, INFINITE);
        ::DestroyMenu(hOtherMenu);
    });
    ::WaitForSingleObject(hBuilt, INFINITE);
    ASSERT_NE(nullptr, hTheirs);

    ClearMenuBitmapList();
    EXPECT_TRUE(IsLiveBitmap(hTheirs)) << "deleted while its thread still runs";
    ::SetEvent(hMayEnd);
    other.join();
    ClearMenuBitmapList();
    EXPECT_FALSE(IsLiveBitmap(hTheirs)) << "kept after its thread ended";
    ::CloseHandle(hBuilt);
    ::CloseHandle(hMayEnd);
}

// A host that unloads the DLL while a menu build's pictures are still held
// (no later build came to delete them) gets them deleted with the module.
TEST(MenuBitmapsUnloadTest, PicturesStillHeldAreDeletedWhenTheModuleUnloads)
{
    // A private copy, so that no other test's reference keeps it loaded.
    const std::wstring strFolder = MakeTempFolder(L"unload");
    const std::wstring strDll = strFolder + L"\\UnloadCopy.dll";
    ASSERT_TRUE(::CopyFileW(ServerDllPath().c_str(), strDll.c_str(), FALSE));
    HMENU hHost = ::CreatePopupMenu();
    std::vector<HBITMAP> vecShown;
    {
        CServerDll dll(strDll);
        ASSERT_TRUE(dll.IsLoaded());
        IContextMenu* pMenu = nullptr;
        ASSERT_EQ(S_OK, dll.CreateInstance(CLSID_SimpleShlExt, IID_IContextMenu, reinterpret_cast<void**>(&pMenu)));
        EXPECT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 12), pMenu->QueryContextMenu(hHost, 0, 1, 0x7FFF, CMF_NORMAL));
        pMenu->Release();
        // No installation: the colours and the logo have pictures.
        for (UINT nPosition = 7; nPosition <= 10; ++nPosition)
            vecShown.push_back(ItemBitmap(::GetSubMenu(hHost, 0), nPosition));
        vecShown.push_back(ItemBitmap(hHost, 0));
        for (HBITMAP hBitmap : vecShown)
            ASSERT_TRUE(IsLiveBitmap(hBitmap));
        ASSERT_EQ(S_OK, dll.CanUnloadNow());
    }
    EXPECT_EQ(nullptr, ::GetModuleHandleW(strDll.c_str()));
    for (HBITMAP hBitmap : vecShown)
        EXPECT_FALSE(IsLiveBitmap(hBitmap));
    ::DestroyMenu(hHost);
    DeleteFolderTree(strFolder);
}

// ---------------------------------------------------------------------------
// Other small-icon metrics. Wine takes the metric from the desktop's DPI
// (HKCU\Control Panel\Desktop, LogPixels) when a process starts, so each
// metric is checked in a fresh process of this test program.
// ---------------------------------------------------------------------------

const wchar_t kDesktopKey[] = L"Control Panel\\Desktop";
const wchar_t kExpectedMetricVariable[] = L"ORVANE_EXPECT_SMALL_ICON";

// Sets LogPixels for the processes started while it lives, then puts the
// previous value (or its absence) back.
class LogPixelsOverride
{
public:
    explicit LogPixelsOverride(DWORD dwLogPixels)
    {
        ::RegCreateKeyExW(HKEY_CURRENT_USER, kDesktopKey, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr,
                          &m_hKey, nullptr);
        DWORD cb = sizeof(m_dwPrevious);
        DWORD dwType = 0;
        m_bHadValue = ::RegQueryValueExW(m_hKey, L"LogPixels", nullptr, &dwType,
                                         reinterpret_cast<BYTE*>(&m_dwPrevious), &cb) == ERROR_SUCCESS &&
                      dwType == REG_DWORD;
        ::RegSetValueExW(m_hKey, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwLogPixels),
                         sizeof(dwLogPixels));
    }
    ~LogPixelsOverride()
    {
        if (m_bHadValue)
            ::RegSetValueExW(m_hKey, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&m_dwPrevious),
                             sizeof(m_dwPrevious));
        else
            ::RegDeleteValueW(m_hKey, L"LogPixels");
        ::RegCloseKey(m_hKey);
    }
    LogPixelsOverride(const LogPixelsOverride&) = delete;
    LogPixelsOverride& operator=(const LogPixelsOverride&) = delete;

private:
    HKEY m_hKey = nullptr;
    DWORD m_dwPrevious = 0;
    bool m_bHadValue = false;
};

// Runs this program's MenuBitmapsAtMetric tests in a new process; its exit
// code (0 when they pass).
DWORD RunMetricChild(int nExpectedMetric)
{
    wchar_t szProgram[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, szProgram, MAX_PATH);
    std::wstring strCommand = std::wstring(L"\"") + szProgram + L"\" --gtest_filter=MenuBitmapsAtMetric.*";
    ::SetEnvironmentVariableW(kExpectedMetricVariable, std::to_wstring(nExpectedMetric).c_str());
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    BOOL bStarted = ::CreateProcessW(szProgram, &strCommand[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                     &startup, &process);
    ::SetEnvironmentVariableW(kExpectedMetricVariable, nullptr);
    if (!bStarted)
        return 0xFFFFFFFF;
    ::WaitForSingleObject(process.hProcess, 120000);
    DWORD dwExit = 0xFFFFFFFF;
    ::GetExitCodeProcess(process.hProcess, &dwExit);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return dwExit;
}

TEST(MenuBitmapsDpiTest, PicturesFollowOtherSmallIconMetrics)
{
    if (::GetSystemMetrics(SM_CXSMICON) != 16)
        GTEST_SKIP() << "already running at another metric";
    struct DpiCase
    {
        DWORD dwLogPixels;
        int nMetric;
    };
    // 12: library icons at (-3, -2); 20: 21 x 20 at (-1, 0); 32: 29 x 28 at
    // (1, 2) and the 32-pixel logo; 64: 29 x 28 at (17, 18), logo 48 at (8, 8).
    const DpiCase aCases[] = {{72, 12}, {120, 20}, {192, 32}, {384, 64}};
    for (const DpiCase& c : aCases)
    {
        SCOPED_TRACE(c.nMetric);
        LogPixelsOverride dpi(c.dwLogPixels);
        EXPECT_EQ(0u, RunMetricChild(c.nMetric));
    }
}

// Runs only in the child process started above.
TEST(MenuBitmapsAtMetric, MenuPicturesAtTheMetricOfThisProcess)
{
    const std::wstring strExpected = EnvW(kExpectedMetricVariable);
    if (strExpected.empty())
        GTEST_SKIP() << "runs in a child process with another desktop DPI";
    const int cx = ::GetSystemMetrics(SM_CXSMICON);
    const int cy = ::GetSystemMetrics(SM_CYSMICON);
    ASSERT_EQ(std::stoi(strExpected), cx);
    ASSERT_EQ(cx, cy);

    MenuColourOverride menuColour;
    TestInstallation installation;
    DeleteProductKeys();
    ProductKey key(HKEY_CURRENT_USER);
    key.SetString(L"OrvaneDir", installation.Dir());
    CComObject<CSimpleShlExt>* pObject = new CComObject<CSimpleShlExt>();
    pObject->AddRef();
    IDataObject* pData = CreateHDropDataObject({L"C:\\file.txt"});
    ASSERT_EQ(S_OK, pObject->Initialize(nullptr, pData, nullptr));
    pData->Release();

    HMENU hHost = ::CreatePopupMenu();
    ASSERT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 12), pObject->QueryContextMenu(hHost, 0, 1, 0x7FFF, CMF_NORMAL));
    HMENU hSubmenu = ::GetSubMenu(hHost, 0);
    ASSERT_NE(nullptr, hSubmenu);
    const int anMarkerIcons[] = {0, 2, 3, 5, 6, 8};
    for (UINT nPosition = 0; nPosition < 6; ++nPosition)
    {
        SCOPED_TRACE(nPosition);
        ExpectLibraryPicture(ItemBitmap(hSubmenu, nPosition), anMarkerIcons[nPosition], cx, cy);
    }
    DibPixels swatch = PixelsOf(ItemBitmap(hSubmenu, 9));  // Blue
    EXPECT_EQ(cx, swatch.nWidth);
    EXPECT_EQ(Opaque(64, 128, 255), swatch.At(cx / 2, cy / 2));
    ExpectLogoPicture(ItemBitmap(hHost, 0), cx, cy);
    EXPECT_EQ(11u, MenuBitmapsOfThisThread().size());

    ::DestroyMenu(hHost);
    ClearMenuBitmapList();
    pObject->Release();
    g_szAppPath.Clear();
    DeleteProductKeys();
}

}  // namespace
