#include "ShellExt/icons/MenuBitmaps.h"

#include <algorithm>
#include <cstdint>

#include "ShellExt/icons/MenuDibHeader.h"
#include "ShellExt/icons/IconSizes.h"
#include "ShellExt/core/Handles.h"
#include "ShellExt/module/Module.h"
#include "ShellExt/resources/resource.h"

namespace {

// ---------------------------------------------------------------------------
// The bitmaps handed to menus
// ---------------------------------------------------------------------------

// Apartment threads of one host may build and show menus at the same time, so
// every entry remembers the thread whose build made it, and a build deletes
// only its own thread's entries. The lock only guards the list itself; a
// thread's entries are never touched by another thread's build.
class CMenuBitmapList
{
public:
    CMenuBitmapList() = default;
    CMenuBitmapList(const CMenuBitmapList&) = delete;
    CMenuBitmapList& operator=(const CMenuBitmapList&) = delete;

    // The module is going away, and with it whatever menu could show these.
    ~CMenuBitmapList()
    {
        for (const Entry& entry : m_vecEntries)
            DeleteBitmap(entry.hBitmap);
    }

    // Deletes the thread's bitmaps, first to last, and drops them, together
    // with those of threads that have ended: their menus are gone, and no
    // later build on them would ever free the bitmaps (Explorer ends a
    // window's thread when the window closes). The storage is kept for the
    // next build.
    void ClearThread(DWORD dwThreadId) noexcept
    {
        CExclusiveLock lock(m_lock);
        DWORD dwLastOther = 0;
        bool bLastOtherEnded = false;
        size_t nKept = 0;
        for (size_t i = 0; i < m_vecEntries.size(); ++i)
        {
            const Entry entry = m_vecEntries[i];
            bool bFree = entry.dwThreadId == dwThreadId;
            if (!bFree)
            {
                // A build's entries lie together: one look per other thread.
                if (entry.dwThreadId != dwLastOther)
                {
                    dwLastOther = entry.dwThreadId;
                    bLastOtherEnded = ThreadHasEnded(entry.dwThreadId);
                }
                bFree = bLastOtherEnded;
            }
            if (bFree)
                DeleteBitmap(entry.hBitmap);
            else
                m_vecEntries[nKept++] = entry;
        }
        m_vecEntries.resize(nKept);
    }

    // False when the list cannot grow: the caller keeps ownership then.
    bool Append(DWORD dwThreadId, HBITMAP hBitmap) noexcept
    {
        CExclusiveLock lock(m_lock);
        try
        {
            m_vecEntries.push_back(Entry{dwThreadId, hBitmap});
            return true;
        }
        catch (...)
        {
            return false;
        }
    }

    std::vector<HBITMAP> OfThread(DWORD dwThreadId)
    {
        std::vector<HBITMAP> vecBitmaps;
        CExclusiveLock lock(m_lock);
        for (const Entry& entry : m_vecEntries)
            if (entry.dwThreadId == dwThreadId)
                vecBitmaps.push_back(entry.hBitmap);
        return vecBitmaps;
    }

private:
    struct Entry
    {
        DWORD dwThreadId;
        HBITMAP hBitmap;
    };

    class CExclusiveLock
    {
    public:
        explicit CExclusiveLock(SRWLOCK& lock) noexcept : m_lock(lock) { ::AcquireSRWLockExclusive(&m_lock); }
        ~CExclusiveLock() { ::ReleaseSRWLockExclusive(&m_lock); }
        CExclusiveLock(const CExclusiveLock&) = delete;
        CExclusiveLock& operator=(const CExclusiveLock&) = delete;

    private:
        SRWLOCK& m_lock;
    };

    // A thread that cannot be opened for another reason counts as running:
    // its bitmaps may be on screen.
    static bool ThreadHasEnded(DWORD dwThreadId) noexcept
    {
        CKernelHandle thread(::OpenThread(SYNCHRONIZE, FALSE, dwThreadId));
        if (!thread)
            return ::GetLastError() == ERROR_INVALID_PARAMETER;  // no such thread
        return ::WaitForSingleObject(thread.Get(), 0) == WAIT_OBJECT_0;
    }

    static void DeleteBitmap(HBITMAP hBitmap) noexcept
    {
        if (hBitmap != nullptr)
            ::DeleteObject(hBitmap);
    }

    SRWLOCK m_lock = SRWLOCK_INIT;
    std::vector<Entry> m_vecEntries;
};

CMenuBitmapList s_menuBitmaps;

// ---------------------------------------------------------------------------
// Drawing helpers
// ---------------------------------------------------------------------------

struct SmallIconSize
{
    int cx;
    int cy;
};

// Read afresh every time: the metric follows the display's DPI.
SmallIconSize ReadSmallIconSize() noexcept
{
    return SmallIconSize{::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON)};
}

// A paint buffer over (0, 0, nWidth, nHeight) of hdc, in DIB format, whose
// pixels start cleared; closed with its update flag set, which copies what
// was drawn, alpha included, onto hdc's bitmap.
class CBufferedPaint
{
public:
    CBufferedPaint(HDC hdc, int nWidth, int nHeight) noexcept
    {
        RECT rcTarget = {0, 0, nWidth, nHeight};
        BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        BP_PAINTPARAMS params = {};
        params.cbSize = sizeof(params);
        params.dwFlags = BPPF_ERASE;
        params.prcExclude = nullptr;
        params.pBlendFunction = &blend;
        m_hBuffer = ::BeginBufferedPaint(hdc, &rcTarget, BPBF_DIB, &params, &m_hdcPaint);
    }
    ~CBufferedPaint()
    {
        if (m_hBuffer != nullptr)
            ::EndBufferedPaint(m_hBuffer, TRUE);
    }
    CBufferedPaint(const CBufferedPaint&) = delete;
    CBufferedPaint& operator=(const CBufferedPaint&) = delete;

    bool IsOpen() const noexcept { return m_hBuffer != nullptr; }
    HPAINTBUFFER Buffer() const noexcept { return m_hBuffer; }
    HDC PaintDc() const noexcept { return m_hdcPaint; }

private:
    HPAINTBUFFER m_hBuffer = nullptr;
    HDC m_hdcPaint = nullptr;
};

bool DrawIconAt(HDC hdc, HICON hIcon, int x, int y, int nWidth, int nHeight) noexcept
{
    return ::DrawIconEx(hdc, x, y, hIcon, nWidth, nHeight, 0, nullptr, DI_NORMAL) != FALSE;
}

// A monochrome bitmap of nWidth x nHeight with every bit clear, so that an
// icon made with it as mask is opaque everywhere. The bits are given
// explicitly: CreateBitmap leaves them undefined otherwise.
HBITMAP CreateClearMask(int nWidth, int nHeight) noexcept
{
    try
    {
        const size_t cbRow = ((static_cast<size_t>(nWidth) + 15) / 16) * 2;  // rows are WORD-aligned
        std::vector<BYTE> vecBits(cbRow * static_cast<size_t>(nHeight), 0);
        return ::CreateBitmap(nWidth, nHeight, 1, 1, vecBits.data());
    }
    catch (...)
    {
        return ::CreateBitmap(nWidth, nHeight, 1, 1, nullptr);
    }
}

// A new small-icon square: the menu colour, with hSource drawn on it at
// (x, y) and nWidth x nHeight, clipped to the square. Its mask is clear, so
// the menu colour around the source becomes part of the picture.
HICON ComposeOnMenuColour(HICON hSource, int nWidth, int nHeight, int x, int y) noexcept
{
    const SmallIconSize size = ReadSmallIconSize();
    CDcHandle dcScreen(::CreateDCW(L"DISPLAY", nullptr, nullptr, nullptr));
    CDcHandle dcMemory(::CreateCompatibleDC(dcScreen.Get()));
    CBitmapHandle colour(::CreateCompatibleBitmap(dcScreen.Get(), size.cx, size.cy));
    {
        CSelectObject select(dcMemory.Get(), colour.Get());
        RECT rcSquare = {0, 0, size.cx, size.cy};
        ::FillRect(dcMemory.Get(), &rcSquare, reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_MENU + 1)));
        DrawIconAt(dcMemory.Get(), hSource, x, y, nWidth, nHeight);
    }
    CBitmapHandle mask(CreateClearMask(size.cx, size.cy));

    ICONINFO info = {};
    info.fIcon = TRUE;
    info.hbmMask = mask.Get();
    info.hbmColor = colour.Get();
    // CreateIconIndirect copies both bitmaps; ours are released on return.
    return ::CreateIconIndirect(&info);
}

// Draws hIcon into the DIB section through a paint buffer, taking alpha
// from the mask for icons that bring none. Leaves the DIB unpainted when the
// selection or the paint buffer fails.
void PaintIconIntoDib(HICON hIcon, HDC hdcMemory, HBITMAP hDib, int nWidth, int nHeight) noexcept
{
    CSelectObject select(hdcMemory, hDib);
    if (!select.Succeeded())
        return;
    CBufferedPaint paint(hdcMemory, nWidth, nHeight);
    if (!paint.IsOpen())
        return;
    if (DrawIconAt(paint.PaintDc(), hIcon, 0, 0, nWidth, nHeight))
        FixAlphaFromMask(paint.Buffer(), hdcMemory, hIcon, nWidth, nHeight);
}

// The bitmap an item shows for hIcon: its DIB when the icon can be drawn,
// otherwise a never-painted placeholder, or null when not even that exists.
HBITMAP MakeItemBitmap(HICON hIcon, HDC hdcMemory, SmallIconSize size) noexcept
{
    CBitmapHandle placeholder(::CreateCompatibleBitmap(hdcMemory, size.cx, size.cy));
    if (!placeholder)
        return nullptr;
    bool bDrawn = false;
    HBITMAP hDib = nullptr;
    {
        CSelectObject select(hdcMemory, placeholder.Get());
        if (!select.Succeeded())
            return placeholder.Detach();
        // Proves that the icon draws before a DIB is made for it.
        CBufferedPaint paint(hdcMemory, size.cx, size.cy);
        if (!paint.IsOpen())
            return placeholder.Detach();
        if (DrawIconAt(paint.PaintDc(), hIcon, 0, 0, size.cx, size.cy))
        {
            bDrawn = true;
            hDib = IconToMenuDib(hIcon, size.cx, size.cy);
        }
    }
    return bDrawn ? hDib : placeholder.Detach();
}

}  // namespace

HRESULT FixAlphaFromMask(HPAINTBUFFER hPaintBuffer, HDC hdcMemory, HICON hIcon, int nWidth, int nHeight) noexcept
{
    RGBQUAD* pBits = nullptr;
    int cxRow = 0;
    HRESULT hr = ::GetBufferedPaintBits(hPaintBuffer, &pBits, &cxRow);
    if (FAILED(hr))
        return hr;
    // The buffer covers nWidth x nHeight; never walk beyond a row.
    if (pBits == nullptr || nWidth <= 0 || nHeight <= 0 || cxRow < nWidth)
        return E_UNEXPECTED;
    uint32_t* pPixels = reinterpret_cast<uint32_t*>(pBits);

    for (int r = 0; r < nHeight; ++r)
        for (int c = 0; c < nWidth; ++c)
            if (pPixels[static_cast<size_t>(r) * cxRow + c] & 0xFF000000u)
                return S_OK;  // the icon brought its own alpha

    ICONINFO info = {};
    if (!::GetIconInfo(hIcon, &info))
        return S_OK;
    CBitmapHandle colour(info.hbmColor);
    CBitmapHandle mask(info.hbmMask);
    if (!mask)
        return S_OK;

    const size_t nPixels = static_cast<size_t>(nWidth) * static_cast<size_t>(nHeight);
    if (nPixels > SIZE_MAX / sizeof(uint32_t))
        return E_OUTOFMEMORY;
    CHeapBlock maskBlock(::HeapAlloc(::GetProcessHeap(), 0, nPixels * sizeof(uint32_t)));
    if (!maskBlock)
        return E_OUTOFMEMORY;
    const uint32_t* pMask = static_cast<const uint32_t*>(maskBlock.Get());

    // Both are bottom-up: the mask as read with a positive height, the buffer
    // as a BPBF_DIB buffer is laid out, so rows pair in memory order.
    BITMAPINFO bmi = MakeMenuDibHeader(nWidth, nHeight);
    hr = E_UNEXPECTED;
    if (::GetDIBits(hdcMemory, mask.Get(), 0, static_cast<UINT>(nHeight), maskBlock.Get(), &bmi, DIB_RGB_COLORS) ==
        nHeight)
    {
        for (int r = 0; r < nHeight; ++r)
        {
            for (int c = 0; c < nWidth; ++c)
            {
                uint32_t& pixel = pPixels[static_cast<size_t>(r) * cxRow + c];
                if (pMask[static_cast<size_t>(r) * nWidth + c] != 0)
                    pixel = 0;
                else
                    pixel |= 0xFF000000u;
            }
        }
        hr = S_OK;
    }
    return hr;
}

HBITMAP IconToMenuDib(HICON hIcon, int nWidth, int nHeight) noexcept
{
    if (hIcon == nullptr)
        return nullptr;
    CDcHandle dcMemory(::CreateCompatibleDC(nullptr));
    if (!dcMemory)
        return nullptr;
    BITMAPINFO bmi = MakeMenuDibHeader(nWidth, nHeight);
    CBitmapHandle dib(::CreateDIBSection(dcMemory.Get(), &bmi, DIB_RGB_COLORS, nullptr, nullptr, 0));
    if (!dib)
        return nullptr;
    PaintIconIntoDib(hIcon, dcMemory.Get(), dib.Get(), nWidth, nHeight);
    return dib.Detach();
}

void SetMenuItemIcon(HICON hIcon, HMENU hMenu, UINT nPosition) noexcept
{
    CDcHandle dcMemory(::CreateCompatibleDC(nullptr));
    if (!dcMemory)
        return;
    CBitmapHandle bitmap(MakeItemBitmap(hIcon, dcMemory.Get(), ReadSmallIconSize()));
    dcMemory.Reset();

    // Recorded first: a bitmap the list could not take would outlive every
    // build, so it is not shown at all.
    if (!s_menuBitmaps.Append(::GetCurrentThreadId(), bitmap.Get()))
        return;
    HBITMAP hBitmap = bitmap.Detach();
    ::SetMenuItemBitmaps(hMenu, nPosition, MF_BYPOSITION | MF_BITMAP, hBitmap, hBitmap);
}

HICON LoadIclIcon(const wchar_t* pszLibrary, int nIndex) noexcept
{
    if (pszLibrary == nullptr)
        return nullptr;
    const SmallIconSize size = ReadSmallIconSize();
    const int nSize = PickIconSize(size.cx, g_IclIconSizes);

    HICON hExtracted = nullptr;
    UINT nResourceId = 0;
    const UINT nCount = ::PrivateExtractIconsW(pszLibrary, nIndex, nSize, nSize - 1, &hExtracted, &nResourceId, 1,
                                               LR_LOADTRANSPARENT);
    CIconHandle extracted(nCount == 0 || nCount == 0xFFFFFFFF ? nullptr : hExtracted);
    if (!extracted)
        return nullptr;
    // Extracted one pixel wider than high, and placed one pixel left of the
    // centre of the square.
    return ComposeOnMenuColour(extracted.Get(), nSize, nSize - 1, (size.cx - nSize + 1) / 2 - 1,
                               (size.cy - nSize + 1) / 2);
}

void SetSubmenuLogo(HMENU hMenu, UINT nPosition) noexcept
{
    const SmallIconSize size = ReadSmallIconSize();
    const int nSize = PickIconSize(size.cx, g_LogoIconSizes);
    // Not LR_SHARED: this copy is ours and destroyed once composed.
    CIconHandle logo(static_cast<HICON>(
        ::LoadImageW(g_hInstance, MAKEINTRESOURCEW(IDI_LOGO), IMAGE_ICON, nSize, nSize, LR_DEFAULTCOLOR)));
    if (!logo)
        return;
    CIconHandle composed(
        ComposeOnMenuColour(logo.Get(), nSize, nSize, (size.cx - nSize) / 2, (size.cy - nSize) / 2));
    logo.Reset();
    if (composed)
        SetMenuItemIcon(composed.Get(), hMenu, nPosition);
}

void ClearMenuBitmapList() noexcept
{
    s_menuBitmaps.ClearThread(::GetCurrentThreadId());
}

std::vector<HBITMAP> MenuBitmapsOfThisThread()
{
    return s_menuBitmaps.OfThread(::GetCurrentThreadId());
}
