// Owners for the Windows handles this module creates. One close policy per
// handle kind; each owner is non-copyable, movable, and releases its handle on
// every path out of the scope that made it.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <utility>

template <class Traits>
class CUniqueHandle
{
public:
    using HandleType = typename Traits::HandleType;

    CUniqueHandle() noexcept : m_h(Traits::Invalid()) {}
    explicit CUniqueHandle(HandleType h) noexcept : m_h(h) {}
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

    HandleType Get() const noexcept { return m_h; }
    bool IsValid() const noexcept { return m_h != Traits::Invalid(); }
    explicit operator bool() const noexcept { return IsValid(); }

    // For out-parameters of creating calls; the previous handle is released.
    HandleType* Receive() noexcept
    {
        Reset();
        return &m_h;
    }

    HandleType Detach() noexcept { return std::exchange(m_h, Traits::Invalid()); }

    void Reset(HandleType h = Traits::Invalid()) noexcept
    {
        HandleType old = std::exchange(m_h, h);
        if (old != Traits::Invalid())
            Traits::Close(old);
    }

private:
    HandleType m_h;
};

// Kernel objects whose creating call reports failure as null (threads,
// events, processes), unlike files, which report INVALID_HANDLE_VALUE.
struct KernelTraits
{
    using HandleType = HANDLE;
    static HandleType Invalid() noexcept { return nullptr; }
    static void Close(HandleType h) noexcept { ::CloseHandle(h); }
};

// A block from the process heap.
struct HeapBlockTraits
{
    using HandleType = void*;
    static HandleType Invalid() noexcept { return nullptr; }
    static void Close(HandleType p) noexcept { ::HeapFree(::GetProcessHeap(), 0, p); }
};

// Memory a Windows call allocated with LocalAlloc for its caller
// (CommandLineToArgvW, FormatMessageW).
struct LocalMemoryTraits
{
    using HandleType = void*;
    static HandleType Invalid() noexcept { return nullptr; }
    static void Close(HandleType p) noexcept { ::LocalFree(p); }
};

// A view of a file mapping.
struct MappedViewTraits
{
    using HandleType = void*;
    static HandleType Invalid() noexcept { return nullptr; }
    static void Close(HandleType p) noexcept { ::UnmapViewOfFile(p); }
};

using CThreadHandle = CUniqueHandle<KernelTraits>;
using CKernelHandle = CUniqueHandle<KernelTraits>;
using CMappedView = CUniqueHandle<MappedViewTraits>;
using CHeapBlock = CUniqueHandle<HeapBlockTraits>;
using CLocalBlock = CUniqueHandle<LocalMemoryTraits>;

struct RegKeyTraits
{
    using HandleType = HKEY;
    static HandleType Invalid() noexcept { return nullptr; }
    static void Close(HandleType h) noexcept { ::RegCloseKey(h); }
};

struct FileTraits
{
    using HandleType = HANDLE;
    static HandleType Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(HandleType h) noexcept { ::CloseHandle(h); }
};

// FindFirstFile's search handles.
struct FindTraits
{
    using HandleType = HANDLE;
    static HandleType Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(HandleType h) noexcept { ::FindClose(h); }
};

// Memory and display device contexts alike are released with DeleteDC.
struct DcTraits
{
    using HandleType = HDC;
    static HandleType Invalid() noexcept { return nullptr; }
    static void Close(HandleType h) noexcept { ::DeleteDC(h); }
};

struct BitmapTraits
{
    using HandleType = HBITMAP;
    static HandleType Invalid() noexcept { return nullptr; }
    static void Close(HandleType h) noexcept { ::DeleteObject(h); }
};

// Only for icons this module created; shared icons from LoadIconW belong to
// the system and must never be destroyed.
struct IconTraits
{
    using HandleType = HICON;
    static HandleType Invalid() noexcept { return nullptr; }
    static void Close(HandleType h) noexcept { ::DestroyIcon(h); }
};

// Only for menus that no other menu has taken over yet.
struct MenuTraits
{
    using HandleType = HMENU;
    static HandleType Invalid() noexcept { return nullptr; }
    static void Close(HandleType h) noexcept { ::DestroyMenu(h); }
};

struct LibraryTraits
{
    using HandleType = HMODULE;
    static HandleType Invalid() noexcept { return nullptr; }
    static void Close(HandleType h) noexcept { ::FreeLibrary(h); }
};

// A thread-local storage index: one value per thread, read and written
// without locks or allocation (so even while the loader lock is held).
struct TlsIndexTraits
{
    using HandleType = DWORD;
    static HandleType Invalid() noexcept { return TLS_OUT_OF_INDEXES; }
    static void Close(HandleType h) noexcept { ::TlsFree(h); }
};

using CRegKeyHandle = CUniqueHandle<RegKeyTraits>;
using CFileHandle = CUniqueHandle<FileTraits>;
using CFindHandle = CUniqueHandle<FindTraits>;
using CDcHandle = CUniqueHandle<DcTraits>;
using CBitmapHandle = CUniqueHandle<BitmapTraits>;
using CIconHandle = CUniqueHandle<IconTraits>;
using CMenuHandle = CUniqueHandle<MenuTraits>;
using CLibraryHandle = CUniqueHandle<LibraryTraits>;
using CTlsIndex = CUniqueHandle<TlsIndexTraits>;

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
