// The core's handle owners and error boundaries: the pieces every folder now
// shares, each of which could release a handle twice, never, or answer a
// host with an exception.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <stdexcept>
#include <utility>

#include "ShellExt/core/ErrorBoundary.h"
#include "ShellExt/core/Handles.h"

namespace {

bool IsOpen(HANDLE h)
{
    DWORD dwFlags = 0;
    return ::GetHandleInformation(h, &dwFlags) != FALSE;
}

HANDLE NewEvent()
{
    return ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

// Each creating call reports failure its own way; the owner built from that
// failure must hold nothing and close nothing.
TEST(HandlesTest, FailedCreationsGiveEmptyOwners)
{
    CFileHandle file(::CreateFileW(L"C:\\no such folder\\no such file", GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_EQ(INVALID_HANDLE_VALUE, file.Get());
    EXPECT_FALSE(file);
    CKernelHandle thread(::OpenThread(SYNCHRONIZE, FALSE, 0));
    EXPECT_EQ(nullptr, thread.Get());
    EXPECT_FALSE(thread);
    EXPECT_FALSE(CFileHandle());
    EXPECT_FALSE(CKernelHandle());
    EXPECT_FALSE(CHeapBlock(::HeapAlloc(::GetProcessHeap(), 0, SIZE_MAX / 2)));
}

TEST(HandlesTest, OwnershipMovesResetsAndDetaches)
{
    HANDLE hFirst = NewEvent();
    HANDLE hSecond = NewEvent();
    ASSERT_TRUE(hFirst != nullptr && hSecond != nullptr);
    {
        CKernelHandle owner(hFirst);
        CKernelHandle moved(std::move(owner));
        EXPECT_FALSE(owner);
        EXPECT_EQ(hFirst, moved.Get());

        CKernelHandle assigned;
        assigned = std::move(moved);
        EXPECT_FALSE(moved);
        EXPECT_TRUE(IsOpen(hFirst));

        assigned.Reset(hSecond);  // the first is closed, the second owned
        EXPECT_FALSE(IsOpen(hFirst));
        EXPECT_EQ(hSecond, assigned.Get());

        EXPECT_EQ(hSecond, assigned.Detach());
        EXPECT_FALSE(assigned);
    }
    EXPECT_TRUE(IsOpen(hSecond)) << "a detached handle is the caller's";
    ::CloseHandle(hSecond);

    HANDLE hThird = NewEvent();
    {
        CKernelHandle owner(hThird);
        owner = std::move(owner);  // a self-move keeps the handle
        EXPECT_TRUE(IsOpen(hThird));
    }
    EXPECT_FALSE(IsOpen(hThird)) << "the owner closes what it holds when its scope ends";
}

TEST(HandlesTest, FileOwnerClosesARealFileOnceAndReceiveReleasesThePrevious)
{
    wchar_t szTemp[MAX_PATH];
    ASSERT_GT(::GetTempPathW(MAX_PATH, szTemp), 0u);
    std::wstring strPath = std::wstring(szTemp) + L"orvane-handles-test.tmp";
    CFileHandle file(::CreateFileW(strPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    ASSERT_TRUE(file);
    HANDLE hFile = file.Get();
    file.Reset();
    EXPECT_FALSE(IsOpen(hFile));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(strPath.c_str())) << "closed, so deleted";

    HANDLE hEvent = NewEvent();
    CKernelHandle owner(hEvent);
    *owner.Receive() = NewEvent();
    EXPECT_FALSE(IsOpen(hEvent));
    EXPECT_TRUE(IsOpen(owner.Get()));
}

// Exports and COM methods answer a host the same way, whatever escapes.
TEST(ErrorBoundaryTest, StrayExceptionsBecomeOneDocumentedHResult)
{
    struct Case
    {
        const char* pszWhat;
        HRESULT (*pfnBody)();
        HRESULT hrExpected;
    } const cases[] = {
        {"result", [] { return S_FALSE; }, S_FALSE},
        {"failure", [] { return E_INVALIDARG; }, E_INVALIDARG},
        {"bad_alloc", []() -> HRESULT { throw std::bad_alloc(); }, E_OUTOFMEMORY},
        {"length_error", []() -> HRESULT { throw std::length_error("x"); }, E_UNEXPECTED},
        {"int", []() -> HRESULT { throw 7; }, E_UNEXPECTED},
    };
    for (const Case& c : cases)
    {
        EXPECT_EQ(c.hrExpected, GuardComMethod(c.pfnBody)) << c.pszWhat;
        EXPECT_EQ(c.hrExpected, GuardExport(c.pfnBody)) << c.pszWhat;
    }
}

}  // namespace
