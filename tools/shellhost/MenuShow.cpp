#include "tools/shellhost/MenuShow.h"

namespace {

const wchar_t kWindowClass[] = L"OrvaneShellHostWindow";
const int kWindowWidth = 440;
const int kWindowHeight = 340;
const POINT kMenuOrigin = {24, 72};  // screen position of the menu's top-left corner
const UINT kTickMs = 150;
const int kSettleTicks = 3;  // before the first key and after the last one

// The timer callback of the menu loop and the window procedure share this;
// one menu is shown at a time, on this thread only.
struct ShowState
{
    std::vector<WORD> vecKeys;
    size_t nNextKey = 0;
    int nTicks = 0;
    int nHoldTicks = 0;
    int nOpenedAtTick = -1;
    void (*pfnOpened)() = nullptr;
    UINT_PTR idTimer = 0;
    std::vector<std::wstring> vecNames;  // the files' names, painted in the owner window
};

ShowState g_show;

void PressKey(WORD wKey)
{
    ::keybd_event(static_cast<BYTE>(wKey), 0, 0, 0);
    ::keybd_event(static_cast<BYTE>(wKey), 0, KEYEVENTF_KEYUP, 0);
}

void CloseMenu()
{
    if (g_show.idTimer != 0)
        ::KillTimer(nullptr, g_show.idTimer);
    g_show.idTimer = 0;
    ::EndMenu();
}

void AdvanceShow()
{
    ++g_show.nTicks;
    if (g_show.nTicks <= kSettleTicks)
        return;
    if (g_show.nNextKey < g_show.vecKeys.size())
    {
        PressKey(g_show.vecKeys[g_show.nNextKey++]);
        return;
    }
    if (g_show.nOpenedAtTick < 0)
    {
        if (g_show.nTicks < kSettleTicks * 2 + static_cast<int>(g_show.vecKeys.size()))
            return;
        g_show.nOpenedAtTick = g_show.nTicks;
        if (g_show.pfnOpened != nullptr)
            g_show.pfnOpened();
        return;
    }
    if (g_show.nTicks - g_show.nOpenedAtTick >= g_show.nHoldTicks)
        CloseMenu();
}

// Runs from the menu's own message loop, which dispatches thread timers.
// Nothing may be thrown back into that loop.
void CALLBACK ShowTimerProc(HWND, UINT, UINT_PTR, DWORD)
{
    try
    {
        AdvanceShow();
    }
    catch (...)
    {
        CloseMenu();
    }
}

void PaintFileList(HWND hwnd)
{
    PAINTSTRUCT ps = {};
    HDC hdc = ::BeginPaint(hwnd, &ps);
    RECT rc = {};
    ::GetClientRect(hwnd, &rc);
    ::FillRect(hdc, &rc, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    ::SetBkMode(hdc, TRANSPARENT);
    int y = 12;
    const wchar_t kTitle[] = L"Orvane shell host - right-click on:";
    ::TextOutW(hdc, 12, y, kTitle, static_cast<int>(wcslen(kTitle)));
    y += 20;
    for (const std::wstring& strName : g_show.vecNames)
    {
        ::TextOutW(hdc, 24, y, strName.c_str(), static_cast<int>(strName.size()));
        y += 18;
    }
    ::EndPaint(hwnd, &ps);
}

LRESULT CALLBACK OwnerWindowProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    if (uMsg == WM_PAINT)
    {
        PaintFileList(hwnd);
        return 0;
    }
    return ::DefWindowProcW(hwnd, uMsg, wParam, lParam);
}

// The owner window of the menu; destroyed when the scope ends.
class COwnerWindow
{
public:
    COwnerWindow()
    {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = OwnerWindowProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = kWindowClass;
        ::RegisterClassW(&wc);  // fails harmlessly when already registered
        m_hwnd = ::CreateWindowExW(0, kWindowClass, L"Orvane shell host", WS_POPUP | WS_BORDER, 0, 0, kWindowWidth,
                                   kWindowHeight, nullptr, nullptr, wc.hInstance, nullptr);
    }
    ~COwnerWindow()
    {
        if (m_hwnd != nullptr)
            ::DestroyWindow(m_hwnd);
    }
    COwnerWindow(const COwnerWindow&) = delete;
    COwnerWindow& operator=(const COwnerWindow&) = delete;
    HWND Get() const { return m_hwnd; }

private:
    HWND m_hwnd = nullptr;
};

// Key presses that move from "nothing selected" (or the first item, once a
// submenu has opened) to the selectable item at nTarget.
void AppendMovesTo(const std::vector<MenuEntry>& vecMenu, UINT nTarget, bool bFirstSelected,
                   std::vector<WORD>& vecKeys)
{
    int nSelectable = 0;
    for (const MenuEntry& entry : vecMenu)
        if (entry.nPosition < nTarget && !entry.bSeparator)
            ++nSelectable;
    int nDowns = bFirstSelected ? nSelectable : nSelectable + 1;
    vecKeys.insert(vecKeys.end(), static_cast<size_t>(nDowns), VK_DOWN);
}

}  // namespace

std::vector<WORD> KeysToOpen(const std::vector<MenuEntry>& vecHostMenu, UINT nIndexMenu, int nLevel)
{
    std::vector<WORD> vecKeys;
    if (nLevel < 1 || nIndexMenu >= vecHostMenu.size())
        return vecKeys;
    // A menu shown by TrackPopupMenu starts with nothing selected.
    AppendMovesTo(vecHostMenu, nIndexMenu, false, vecKeys);
    vecKeys.push_back(VK_RIGHT);
    if (nLevel < 2)
        return vecKeys;
    const std::vector<MenuEntry>& vecSubmenu = vecHostMenu[nIndexMenu].vecChildren;
    for (const MenuEntry& entry : vecSubmenu)
    {
        if (entry.hSubmenu != nullptr)
        {
            // A submenu opened from the keyboard selects its first item.
            AppendMovesTo(vecSubmenu, entry.nPosition, true, vecKeys);
            vecKeys.push_back(VK_RIGHT);
            break;
        }
    }
    return vecKeys;
}

ShowResult ShowMenu(HMENU hMenu, const std::vector<std::wstring>& vecFiles, const std::vector<WORD>& vecKeys,
                    DWORD dwHoldMs, void (*pfnOpened)())
{
    ShowResult result;
    g_show = ShowState();
    g_show.vecKeys = vecKeys;
    g_show.nHoldTicks = static_cast<int>((dwHoldMs + kTickMs - 1) / kTickMs);
    g_show.pfnOpened = pfnOpened;
    for (const std::wstring& strFile : vecFiles)
    {
        size_t nSlash = strFile.find_last_of(L"\\/");
        g_show.vecNames.push_back(nSlash == std::wstring::npos ? strFile : strFile.substr(nSlash + 1));
    }

    COwnerWindow owner;
    if (owner.Get() == nullptr)
    {
        result.strError = "cannot create the owner window";
        return result;
    }
    ::ShowWindow(owner.Get(), SW_SHOWNORMAL);
    ::UpdateWindow(owner.Get());
    // Keyboard input goes to the foreground thread; the menu only sees our
    // keys when the owner is in front.
    ::SetForegroundWindow(owner.Get());

    g_show.idTimer = ::SetTimer(nullptr, 0, kTickMs, ShowTimerProc);
    if (g_show.idTimer == 0)
    {
        result.strError = "cannot start the timer that closes the menu";
        return result;
    }
    UINT nChosen = static_cast<UINT>(::TrackPopupMenu(hMenu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON |
                                                                 TPM_RETURNCMD,
                                                      kMenuOrigin.x, kMenuOrigin.y, 0, owner.Get(), nullptr));
    DWORD dwError = ::GetLastError();
    if (g_show.idTimer != 0)
        ::KillTimer(nullptr, g_show.idTimer);
    // The documented way to let the menu's owner settle after the menu ends.
    ::PostMessageW(owner.Get(), WM_NULL, 0, 0);

    result.bShown = g_show.nOpenedAtTick >= 0 || nChosen != 0;
    result.nChosenId = nChosen;
    if (!result.bShown)
        result.strError = "TrackPopupMenu ended before the menu was open (error " + std::to_string(dwError) + ")";
    g_show = ShowState();
    return result;
}
