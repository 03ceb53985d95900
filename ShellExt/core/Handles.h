// Owners for the Windows handles this module creates. One close policy per
// handle kind; each owner is non-copyable, movable, and releases its handle on
// every path out of the scope that made it.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <oleauto.h>

#include <utility>

// The value that means "no handle" for most kinds: their creating calls
// report failure as null.
template <class H>
constexpr H NullHandle() noexcept
{
    return H();
}

// Owns one handle of type H, closed with pfnClose unless it is
// pfnInvalid()'s value.
template <class H, void (*pfnClose)(H) noexcept, H (*pfnInvalid)() noexcept = NullHandle<H>>
class CUniqueHandle
{
public:
    using HandleType = H;

    CUniqueHandle() noexcept : m_h(pfnInvalid()) {}
    explicit CUniqueHandle(H h) noexcept : m_h(h) {}
    ~CUniqueHandle() { Reset(); }

    CUniqueHandle(const CUniqueHandle&) = delete;
    CUniqueHandle& operator=(const CUniqueHandle&) = delete;
    CUniqueHandle(CUniqueHandle&& other) noexcept : m_h(other.Detach()) {}
    CUniqueHandle& operator=(CUniqueHandle&& other) noexcept
    {
        if (this != &other)
            Reset(other.Detach());
        return *this;
    }

    H Get() const noexcept { return m_h; }
    bool IsValid() const noexcept { return m_h != pfnInvalid(); }
    explicit operator bool() const noexcept { return IsValid(); }

    // For out-parameters of creating calls; the previous handle is released.
    H* Receive() noexcept
    {
        Reset();
        return &m_h;
    }

    H Detach() noexcept { return std::exchange(m_h, pfnInvalid()); }

    void Reset(H h = pfnInvalid()) noexcept
    {
        H old = std::exchange(m_h, h);
        if (old != pfnInvalid())
            pfnClose(old);
    }

private:
    H m_h;
};

// One close policy per handle kind.
namespace HandleClose {
inline void Kernel(HANDLE h) noexcept { ::CloseHandle(h); }
inline void HeapBlock(void* p) noexcept { ::HeapFree(::GetProcessHeap(), 0, p); }
inline void LocalMemory(void* p) noexcept { ::LocalFree(p); }
inline void MappedView(void* p) noexcept { ::UnmapViewOfFile(p); }
inline void RegKey(HKEY h) noexcept { ::RegCloseKey(h); }
inline void Find(HANDLE h) noexcept { ::FindClose(h); }
inline void Dc(HDC h) noexcept { ::DeleteDC(h); }
inline void Bitmap(HBITMAP h) noexcept { ::DeleteObject(h); }
inline void Icon(HICON h) noexcept { ::DestroyIcon(h); }
inline void Menu(HMENU h) noexcept { ::DestroyMenu(h); }
inline void Library(HMODULE h) noexcept { ::FreeLibrary(h); }
inline void TlsIndex(DWORD n) noexcept { ::TlsFree(n); }
inline void Bstr(BSTR bstr) noexcept { ::SysFreeString(bstr); }
} // namespace HandleClose

// Files and FindFirstFile's searches report failure as INVALID_HANDLE_VALUE,
// TlsAlloc as TLS_OUT_OF_INDEXES, the creating calls of the other kinds as null.
inline HANDLE InvalidFileHandle() noexcept { return INVALID_HANDLE_VALUE; }
inline DWORD InvalidTlsIndex() noexcept { return TLS_OUT_OF_INDEXES; }

// Kernel objects (threads, events, processes, file mappings), files and
// searches.
using CKernelHandle = CUniqueHandle<HANDLE, HandleClose::Kernel>;
using CFileHandle = CUniqueHandle<HANDLE, HandleClose::Kernel, InvalidFileHandle>;
using CFindHandle = CUniqueHandle<HANDLE, HandleClose::Find, InvalidFileHandle>;
using CHeapBlock = CUniqueHandle<void*, HandleClose::HeapBlock>;
using CLocalBlock = CUniqueHandle<void*, HandleClose::LocalMemory>;
using CMappedView = CUniqueHandle<void*, HandleClose::MappedView>;
using CRegKeyHandle = CUniqueHandle<HKEY, HandleClose::RegKey>;
// Memory and display device contexts alike are released with DeleteDC.
using CDcHandle = CUniqueHandle<HDC, HandleClose::Dc>;
using CBitmapHandle = CUniqueHandle<HBITMAP, HandleClose::Bitmap>;
// Only for icons this module created; shared icons from LoadIconW belong to
// the system and must never be destroyed.
using CIconHandle = CUniqueHandle<HICON, HandleClose::Icon>;
// Only for menus that no other menu has taken over yet.
using CMenuHandle = CUniqueHandle<HMENU, HandleClose::Menu>;
using CLibraryHandle = CUniqueHandle<HMODULE, HandleClose::Library>;
// A thread-local storage index: one value per thread, read and written
// without locks or allocation (so even while the loader lock is held).
using CTlsIndex = CUniqueHandle<DWORD, HandleClose::TlsIndex, InvalidTlsIndex>;
// Text from SysAllocString or handed out by an OLE Automation call.
using CBstr = CUniqueHandle<BSTR, HandleClose::Bstr>;

// A GlobalLock that is undone when the scope ends.
class CGlobalLock
{
public:
    explicit CGlobalLock(HGLOBAL hGlobal) noexcept
        : m_hGlobal(hGlobal), m_pData(hGlobal ? ::GlobalLock(hGlobal) : nullptr)
    {
    }
    ~CGlobalLock()
    {
        if (m_pData)
            ::GlobalUnlock(m_hGlobal);
    }
    CGlobalLock(const CGlobalLock&) = delete;
    CGlobalLock& operator=(const CGlobalLock&) = delete;

    void* Get() const noexcept { return m_pData; }

private:
    HGLOBAL m_hGlobal;
    void* m_pData;
};

// A storage medium received from a data object, released with
// ReleaseStgMedium when the scope ends.
class CStgMediumHolder
{
public:
    CStgMediumHolder() noexcept : m_medium{} {}
    ~CStgMediumHolder()
    {
        if (m_bFilled)
            ::ReleaseStgMedium(&m_medium);
    }
    CStgMediumHolder(const CStgMediumHolder&) = delete;
    CStgMediumHolder& operator=(const CStgMediumHolder&) = delete;

    STGMEDIUM* Receive() noexcept { return &m_medium; }
    void MarkFilled() noexcept { m_bFilled = true; }
    const STGMEDIUM& Get() const noexcept { return m_medium; }

private:
    STGMEDIUM m_medium;
    bool m_bFilled = false;
};

// Selects a GDI object into a device context and puts the previous selection
// back when the scope ends.
class CSelectObject
{
public:
    CSelectObject(HDC hdc, HGDIOBJ hObject) noexcept
        : m_hdc(hdc), m_hPrevious(::SelectObject(hdc, hObject))
    {
    }
    ~CSelectObject()
    {
        if (Succeeded())
            ::SelectObject(m_hdc, m_hPrevious);
    }
    CSelectObject(const CSelectObject&) = delete;
    CSelectObject& operator=(const CSelectObject&) = delete;

    bool Succeeded() const noexcept { return m_hPrevious != nullptr && m_hPrevious != HGDI_ERROR; }

private:
    HDC m_hdc;
    HGDIOBJ m_hPrevious;
};
