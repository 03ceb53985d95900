// The marker menu as a host sees it after QueryContextMenu: positions,
// identifiers, captions, separators, pictures, and the records that
// InvokeCommand will dispatch on.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "ShellExt/contextmenu/MarkerMenu.h"
#include "ShellExt/contextmenu/SimpleShlExt.h"
#include "ShellExt/icons/MenuBitmaps.h"
#include "ShellExt/settings/Settings.h"
#include "tests/win/MenuPictures.h"
#include "tests/win/TestSupport.h"

using namespace testing_support;
using namespace menu_pictures;

namespace {

const UINT kFirstId = 100;
const UINT kLastId = 0x7FFF;

HRESULT Count(UINT n)
{
    return MAKE_HRESULT(SEVERITY_SUCCESS, 0, n);
}

struct ExpectedItem
{
    UINT nId;  // 0: separator; kCascade: opens a submenu
    const wchar_t* pszCaption;
};
const UINT kCascade = 0xFFFFFFFF;

// The marker submenu for idCmdFirst = 100, position by position.
const ExpectedItem kPlainItems[] = {
    {100, L"High Priority"}, {101, L"Low Priority"}, {102, L"Planned Work"}, {103, L"Done Work"},
    {104, L"Approved"},      {105, L"Rejected"},     {0, L""},               {106, L"Red"},
    {107, L"Green"},         {108, L"Blue"},         {109, L"Gray"},         {0, L""},
    {110, L"Restore Default"}, {111, L"More Icons"},
};
const ExpectedItem kExtendedTail[] = {{kCascade, L"Restore Default"}, {113, L"More Icons"}};
const ExpectedItem kExtendedSubmenuItems[] = {
    {110, L"Mark File"}, {111, L"Remove Color"}, {112, L"Remove Marker && Color"}};

struct ExpectedRecord
{
    int nType;
    COLORREF crColor;
    bool bLibrary;
    int nIconIndex;
};
const ExpectedRecord kPlainRecords[] = {
    {1, 0, true, 0},  {1, 0, true, 2},  {1, 0, true, 3},  {1, 0, true, 5},
    {1, 0, true, 6},  {1, 0, true, 8},  {3, 0x3645FE, false, 0}, {3, 0x2CFA14, false, 0},
    {3, 0xFF915B, false, 0}, {3, 0xB2B2B2, false, 0}, {6, 0, false, 0}, {5, 0, false, 0},
};
const ExpectedRecord kExtendedRecordsFrom10[] = {
    {2, 0, false, 0}, {4, 0, false, 0}, {6, 0, false, 0}, {5, 0, false, 0}};

void ExpectItems(HMENU hMenu, UINT nFirstPosition, const ExpectedItem* pItems, size_t nItems)
{
    for (size_t i = 0; i < nItems; ++i)
    {
        const UINT nPosition = nFirstPosition + static_cast<UINT>(i);
        SCOPED_TRACE(nPosition);
        MENUITEMINFOW info = {};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_SUBMENU;
        ASSERT_TRUE(::GetMenuItemInfoW(hMenu, nPosition, TRUE, &info));
        if (pItems[i].nId == 0)
        {
            EXPECT_TRUE(info.fType & MFT_SEPARATOR);
            continue;
        }
        EXPECT_FALSE(info.fType & MFT_SEPARATOR);
        if (pItems[i].nId == kCascade)
            EXPECT_NE(nullptr, info.hSubMenu);
        else
        {
            EXPECT_EQ(nullptr, info.hSubMenu);
            EXPECT_EQ(pItems[i].nId, info.wID);
        }
        EXPECT_EQ(pItems[i].pszCaption, ItemText(hMenu, nPosition));
    }
}

void ExpectRecord(const MenuItemRecord& record, const ExpectedRecord& expected, const std::wstring& strLibrary)
{
    EXPECT_EQ(expected.nType, record.nType);
    EXPECT_EQ(expected.crColor, record.crColor);
    EXPECT_EQ(expected.bLibrary ? strLibrary : std::wstring(), record.szIconFile);
    EXPECT_EQ(expected.nIconIndex, record.nIconIndex);
}

class MarkerMenuTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        DeleteProductKeys();
        ClearMenuBitmapList();
        m_hHost = CreateHostMenu(4);
    }
    void TearDown() override
    {
        ::DestroyMenu(m_hHost);
        ClearMenuBitmapList();
        if (m_pObject != nullptr)
            m_pObject->Release();
        DeleteProductKeys();
        // A hand-off timer of Initialize must find nothing to start.
        g_szAppPath.Clear();
    }

    static HMENU CreateHostMenu(UINT nItems)
    {
        HMENU hMenu = ::CreatePopupMenu();
        for (UINT i = 0; i < nItems; ++i)
            ::InsertMenuW(hMenu, i, MF_BYPOSITION | MF_STRING, 1 + i, (L"Host " + std::to_wstring(i)).c_str());
        return hMenu;
    }

    // A new object initialised as Explorer does, with the installation
    // directory in the registry and, if given, the user's language.
    void CreateObject(const std::wstring& strInstallDir, const wchar_t* pszLanguage = nullptr)
    {
        ProductKey key(HKEY_CURRENT_USER);
        key.SetString(L"OrvaneDir", strInstallDir);
        if (pszLanguage != nullptr)
            m_viewSettings.WriteLanguage(pszLanguage);
        m_pObject = new CComObject<CSimpleShlExt>();
        m_pObject->AddRef();
        IDataObject* pData = CreateHDropDataObject({L"C:\\files\\a.txt"});
        ASSERT_EQ(S_OK, m_pObject->Initialize(nullptr, pData, nullptr));
        pData->Release();
    }

    HMENU Submenu() const { return ::GetSubMenu(m_hHost, 3); }
    const std::vector<MenuItemRecord>& Records() const { return m_pObject->MenuItems(); }

    CComObject<CSimpleShlExt>* m_pObject = nullptr;
    HMENU m_hHost = nullptr;
    ViewSettingsFile m_viewSettings;
};

TEST_F(MarkerMenuTest, PlainMenuHasTwelveItemsTwoSeparatorsAndTwelveRecords)
{
    TestInstallation installation;
    CreateObject(installation.Dir());
    ASSERT_EQ(Count(12), m_pObject->QueryContextMenu(m_hHost, 3, kFirstId, kLastId, CMF_NORMAL));

    // One cascading entry at indexMenu, the host's own items around it.
    ASSERT_EQ(5, ::GetMenuItemCount(m_hHost));
    EXPECT_EQ(L"Host 2", ItemText(m_hHost, 2));
    EXPECT_EQ(L"Mark File", ItemText(m_hHost, 3));
    EXPECT_EQ(L"Host 3", ItemText(m_hHost, 4));
    HMENU hSubmenu = Submenu();
    ASSERT_NE(nullptr, hSubmenu);
    ASSERT_EQ(14, ::GetMenuItemCount(hSubmenu));
    ExpectItems(hSubmenu, 0, kPlainItems, 14);

    ASSERT_EQ(12u, Records().size());
    for (size_t k = 0; k < 12; ++k)
    {
        SCOPED_TRACE(k);
        ExpectRecord(Records()[k], kPlainRecords[k], installation.IconLibrary());
    }
}

TEST_F(MarkerMenuTest, ExtendedMenuOpensASubmenuOfThreeCommandsAndHasFourteenRecords)
{
    TestInstallation installation;
    CreateObject(installation.Dir());
    ASSERT_EQ(Count(14), m_pObject->QueryContextMenu(m_hHost, 3, kFirstId, kLastId, CMF_EXTENDEDVERBS | CMF_EXPLORE));

    HMENU hSubmenu = Submenu();
    ASSERT_EQ(14, ::GetMenuItemCount(hSubmenu));
    ExpectItems(hSubmenu, 0, kPlainItems, 12);
    ExpectItems(hSubmenu, 12, kExtendedTail, 2);
    HMENU hExtended = ::GetSubMenu(hSubmenu, 12);
    ASSERT_EQ(3, ::GetMenuItemCount(hExtended));
    ExpectItems(hExtended, 0, kExtendedSubmenuItems, 3);

    ASSERT_EQ(14u, Records().size());
    for (size_t k = 0; k < 10; ++k)
        ExpectRecord(Records()[k], kPlainRecords[k], installation.IconLibrary());
    for (size_t k = 10; k < 14; ++k)
    {
        SCOPED_TRACE(k);
        ExpectRecord(Records()[k], kExtendedRecordsFrom10[k - 10], installation.IconLibrary());
    }
}

TEST_F(MarkerMenuTest, SecondBuildReplacesRecordsAndPicturesOfTheFirst)
{
    TestInstallation installation;
    CreateObject(installation.Dir());
    ASSERT_EQ(Count(12), m_pObject->QueryContextMenu(m_hHost, 3, kFirstId, kLastId, CMF_NORMAL));
    const std::vector<HBITMAP> vecFirst = MenuBitmapsOfThisThread();
    ASSERT_EQ(11u, vecFirst.size());

    HMENU hSecondHost = CreateHostMenu(0);
    ASSERT_EQ(Count(14), m_pObject->QueryContextMenu(hSecondHost, 0, 1, kLastId, CMF_EXTENDEDVERBS));
    ASSERT_EQ(14u, Records().size());
    EXPECT_EQ(kItemMarkFile, Records()[10].nType);
    EXPECT_EQ(kItemMoreIcons, Records()[13].nType);

    const std::vector<HBITMAP> vecSecond = MenuBitmapsOfThisThread();
    ASSERT_EQ(11u, vecSecond.size());
    for (HBITMAP hOld : vecFirst)
    {
        EXPECT_FALSE(IsLiveBitmap(hOld));
        EXPECT_EQ(vecSecond.end(), std::find(vecSecond.begin(), vecSecond.end(), hOld));
    }
    for (HBITMAP hNew : vecSecond)
        EXPECT_TRUE(IsLiveBitmap(hNew));
    ::DestroyMenu(hSecondHost);
}

TEST_F(MarkerMenuTest, DefaultOnlyAddsNothingAndKeepsRecordsAndPictures)
{
    TestInstallation installation;
    CreateObject(installation.Dir());
    ASSERT_EQ(Count(12), m_pObject->QueryContextMenu(m_hHost, 3, kFirstId, kLastId, CMF_NORMAL));
    const std::vector<HBITMAP> vecBefore = MenuBitmapsOfThisThread();

    HMENU hOtherHost = CreateHostMenu(2);
    EXPECT_EQ(S_OK, m_pObject->QueryContextMenu(hOtherHost, 0, 500, kLastId, CMF_DEFAULTONLY | CMF_EXTENDEDVERBS));
    EXPECT_EQ(2, ::GetMenuItemCount(hOtherHost));
    EXPECT_EQ(12u, Records().size());
    EXPECT_EQ(kItemRestoreDefault, Records()[10].nType);
    EXPECT_EQ(vecBefore, MenuBitmapsOfThisThread());
    for (HBITMAP hBitmap : vecBefore)
        EXPECT_TRUE(IsLiveBitmap(hBitmap));
    ::DestroyMenu(hOtherHost);
}

TEST_F(MarkerMenuTest, PicturesShowTheLibraryIconsSwatchesAndLogo)
{
    MenuColourOverride menuColour;
    TestInstallation installation;
    CreateObject(installation.Dir());
    ASSERT_EQ(Count(12), m_pObject->QueryContextMenu(m_hHost, 3, kFirstId, kLastId, CMF_NORMAL));
    HMENU hSubmenu = Submenu();

    // Markers: composed on the menu colour; icons without alpha become an
    // all-opaque square in which the menu colour shows around the icon.
    const int anIconIndex[] = {0, 2, 3, 5, 6, 8};
    std::vector<HBITMAP> vecShown;
    for (UINT nPosition = 0; nPosition < 6; ++nPosition)
    {
        SCOPED_TRACE(nPosition);
        bool bSame = false;
        HBITMAP hBitmap = ItemBitmap(hSubmenu, nPosition, &bSame);
        EXPECT_TRUE(bSame);
        vecShown.push_back(hBitmap);
        DibPixels pixels;
        ASSERT_TRUE(ReadDibPixels(hBitmap, pixels));
        ASSERT_EQ(::GetSystemMetrics(SM_CXSMICON), pixels.nWidth);
        const int nIndex = anIconIndex[nPosition];
        EXPECT_EQ(kIclColours[nIndex], pixels.At(8, 8));
        if (kIclHasAlpha[nIndex])
        {
            EXPECT_EQ(0u, pixels.At(2, 2));
        }
        else
        {
            EXPECT_TRUE(pixels.AllOpaque());
            EXPECT_EQ(OpaqueOf(MenuColourOverride::kColour), pixels.At(2, 2));
            EXPECT_EQ(OpaqueOf(MenuColourOverride::kColour), pixels.At(8, 15));
        }
    }
    // Colours: the swatch resources' base shades, not the record colours.
    const uint32_t aSwatch[] = {Opaque(254, 48, 34), Opaque(5, 238, 28), Opaque(64, 128, 255),
                                Opaque(163, 163, 163)};
    for (UINT nPosition = 7; nPosition <= 10; ++nPosition)
    {
        SCOPED_TRACE(nPosition);
        HBITMAP hBitmap = ItemBitmap(hSubmenu, nPosition);
        vecShown.push_back(hBitmap);
        DibPixels pixels;
        ASSERT_TRUE(ReadDibPixels(hBitmap, pixels));
        EXPECT_TRUE(pixels.AllOpaque());
        EXPECT_EQ(aSwatch[nPosition - 7], pixels.At(8, 8));
    }
    EXPECT_EQ(nullptr, ItemBitmap(hSubmenu, 12));
    EXPECT_EQ(nullptr, ItemBitmap(hSubmenu, 13));
    EXPECT_EQ(nullptr, ItemBitmap(m_hHost, 2));
    HBITMAP hLogo = ItemBitmap(m_hHost, 3);
    EXPECT_NE(nullptr, hLogo);
    vecShown.push_back(hLogo);

    // The list holds exactly what the menu shows, in the order of the build.
    EXPECT_EQ(vecShown, MenuBitmapsOfThisThread());
}

TEST_F(MarkerMenuTest, WithoutIconLibraryMarkersStayButHaveNoPictures)
{
    TestInstallation installation(false);
    CreateObject(installation.Dir());
    ASSERT_EQ(Count(12), m_pObject->QueryContextMenu(m_hHost, 3, kFirstId, kLastId, CMF_NORMAL));
    HMENU hSubmenu = Submenu();
    ExpectItems(hSubmenu, 0, kPlainItems, 14);
    for (UINT nPosition = 0; nPosition < 6; ++nPosition)
    {
        EXPECT_EQ(nullptr, ItemBitmap(hSubmenu, nPosition)) << nPosition;
        EXPECT_EQ(installation.IconLibrary(), Records()[nPosition].szIconFile);
    }
    for (UINT nPosition = 7; nPosition <= 10; ++nPosition)
        EXPECT_NE(nullptr, ItemBitmap(hSubmenu, nPosition)) << nPosition;
    EXPECT_NE(nullptr, ItemBitmap(m_hHost, 3));
    EXPECT_EQ(5u, MenuBitmapsOfThisThread().size());
}

TEST_F(MarkerMenuTest, LibraryInTheHostsCurrentDirectoryWinsOverTheInstallation)
{
    TestInstallation installation(false);
    const std::wstring strCurrent = MakeTempFolder(L"cwd");
    ASSERT_TRUE(::CopyFileW(TestInstallation::TestIconLibrary().c_str(), (strCurrent + L"\\Main.icl").c_str(), FALSE));
    wchar_t szPrevious[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, szPrevious);
    ::SetCurrentDirectoryW(strCurrent.c_str());

    CreateObject(installation.Dir());
    HRESULT hr = m_pObject->QueryContextMenu(m_hHost, 3, kFirstId, kLastId, CMF_NORMAL);
    ::SetCurrentDirectoryW(szPrevious);
    ASSERT_EQ(Count(12), hr);
    for (UINT nPosition = 0; nPosition < 6; ++nPosition)
    {
        EXPECT_STREQ(L"Main.icl", Records()[nPosition].szIconFile);
        EXPECT_NE(nullptr, ItemBitmap(Submenu(), nPosition)) << nPosition;
    }
    DeleteFolderTree(strCurrent);
}

TEST_F(MarkerMenuTest, LibraryPathOfALongInstallationIsCutTo259Characters)
{
    // The registry value holds at most 259 characters; with "\icl\Main.icl"
    // the path would need up to 272.
    for (size_t cchDir : {size_t(240), size_t(246), size_t(247), size_t(258), size_t(259)})
    {
        SCOPED_TRACE(cchDir);
        const std::wstring strDir = L"C:\\" + std::wstring(cchDir - 3, L'd');
        CreateObject(strDir);
        ASSERT_EQ(Count(12), m_pObject->QueryContextMenu(m_hHost, 3, kFirstId, kLastId, CMF_NORMAL));
        const std::wstring strExpected = (strDir + L"\\icl\\Main.icl").substr(0, 259);
        for (size_t k = 0; k < 6; ++k)
            EXPECT_EQ(strExpected, Records()[k].szIconFile);
        // The cut path names no file: no pictures, and nothing else broken.
        EXPECT_EQ(nullptr, ItemBitmap(Submenu(), 0));
        EXPECT_EQ(0xFF915Bu, Records()[8].crColor);
        ::DeleteMenu(m_hHost, 3, MF_BYPOSITION);
        m_pObject->Release();
        m_pObject = nullptr;
    }
}

TEST_F(MarkerMenuTest, WithoutInstallationDirectoryTheLibraryIsUnderTheRoot)
{
    m_pObject = new CComObject<CSimpleShlExt>();
    m_pObject->AddRef();
    ASSERT_EQ(Count(12), m_pObject->QueryContextMenu(m_hHost, 0, kFirstId, kLastId, CMF_NORMAL));
    EXPECT_STREQ(L"\\icl\\Main.icl", Records()[0].szIconFile);
    EXPECT_EQ(L"Mark File", ItemText(m_hHost, 0));
}

TEST_F(MarkerMenuTest, TranslatedMarkFileNamesTheEntryAndTheFirstExtendedCommand)
{
    TestInstallation installation;
    WriteUtf16File(installation.LanguageFile(L"deutsch"),
                   L"[menu_items]\r\n#DEFITEM#_Mark_File=Datei markieren\r\n#DEFITEM#_Blue=\r\n"
                   L"#DEFITEM#_High_Priority=Hoch\r\n#DEFITEM#_Restore_Default=Zur\x00FC" L"cksetzen\r\n");
    CreateObject(installation.Dir(), L"deutsch");
    ASSERT_EQ(Count(14), m_pObject->QueryContextMenu(m_hHost, 3, kFirstId, kLastId, CMF_EXTENDEDVERBS));

    EXPECT_EQ(L"Datei markieren", ItemText(m_hHost, 3));
    HMENU hSubmenu = Submenu();
    EXPECT_EQ(L"Datei markieren", ItemText(::GetSubMenu(hSubmenu, 12), 0));
    EXPECT_EQ(L"Zur\x00FC" L"cksetzen", ItemText(hSubmenu, 12));
    EXPECT_EQ(L"", ItemText(hSubmenu, 9));  // present and empty
    EXPECT_EQ(108u, ::GetMenuItemID(hSubmenu, 9));
    EXPECT_EQ(L"High Priority", ItemText(hSubmenu, 0));  // underscore: no match
    EXPECT_EQ(L"Remove Marker && Color", ItemText(::GetSubMenu(hSubmenu, 12), 2));
}

TEST_F(MarkerMenuTest, IdentifierRangeTooSmallAddsNothing)
{
    TestInstallation installation;
    CreateObject(installation.Dir());
    ASSERT_EQ(Count(12), m_pObject->QueryContextMenu(m_hHost, 3, kFirstId, kLastId, CMF_NORMAL));
    ::DeleteMenu(m_hHost, 3, MF_BYPOSITION);

    struct RangeCase
    {
        UINT idCmdFirst;
        UINT idCmdLast;
        UINT uFlags;
        UINT nExpected;
    } cases[] = {
        {100, 111, CMF_NORMAL, 12},        {100, 110, CMF_NORMAL, 0},
        {100, 113, CMF_EXTENDEDVERBS, 14}, {100, 112, CMF_EXTENDEDVERBS, 0},
        {100, 0, CMF_NORMAL, 0},           {0xFFFFFFF8u, 0xFFFFFFFFu, CMF_NORMAL, 0},
    };
    for (const RangeCase& c : cases)
    {
        SCOPED_TRACE(c.idCmdLast);
        ASSERT_EQ(Count(c.nExpected), m_pObject->QueryContextMenu(m_hHost, 3, c.idCmdFirst, c.idCmdLast, c.uFlags));
        EXPECT_EQ(c.nExpected, Records().size());
        EXPECT_EQ(c.nExpected == 0 ? 4 : 5, ::GetMenuItemCount(m_hHost));
        if (c.nExpected != 0)
        {
            EXPECT_EQ(c.idCmdLast, ::GetMenuItemID(Submenu(), 13));
            ::DeleteMenu(m_hHost, 3, MF_BYPOSITION);
        }
    }
}

TEST_F(MarkerMenuTest, HostMenuThatRefusesTheEntryLeavesNothingBehind)
{
    TestInstallation installation;
    CreateObject(installation.Dir());
    HMENU hGone = ::CreatePopupMenu();
    ::DestroyMenu(hGone);
    EXPECT_EQ(Count(12), m_pObject->QueryContextMenu(hGone, 0, kFirstId, kLastId, CMF_NORMAL));
    EXPECT_EQ(12u, Records().size());

    // The submenu the parent did not take is destroyed, not leaked.
    CMenuHandle submenu(::CreatePopupMenu());
    const HMENU hSubmenu = submenu.Get();
    EXPECT_FALSE(InsertSubmenuEntry(hGone, 0, submenu, L"Mark File"));
    EXPECT_FALSE(submenu.IsValid());
    EXPECT_FALSE(::IsMenu(hSubmenu));

    CMenuHandle taken(::CreatePopupMenu());
    const HMENU hTaken = taken.Get();
    EXPECT_TRUE(InsertSubmenuEntry(m_hHost, 1, taken, L"Mark File"));
    EXPECT_FALSE(taken.IsValid());
    EXPECT_EQ(hTaken, ::GetSubMenu(m_hHost, 1));
}

}  // namespace
