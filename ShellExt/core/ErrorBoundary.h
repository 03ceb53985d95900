// The boundaries that nothing thrown inside may cross: every export of the
// DLL and every COM method of its classes runs its body through one of them,
// and the host sees an HRESULT instead. Running out of memory is
// E_OUTOFMEMORY; any other stray exception is E_UNEXPECTED.
#pragma once

#include <windows.h>

#include <new>

// The HRESULT of the exception being handled; only valid inside a catch.
inline HRESULT CaughtExceptionHr() noexcept
{
    try
    {
        throw;
    }
    catch (const std::bad_alloc&)
    {
        return E_OUTOFMEMORY;
    }
    catch (...)
    {
        return E_UNEXPECTED;
    }
}

template <class Function>
HRESULT GuardComMethod(Function function) noexcept
{
    try
    {
        return function();
    }
    catch (...)
    {
        return CaughtExceptionHr();
    }
}

// Exports answer the same way as COM methods.
template <class Function>
HRESULT GuardExport(Function function) noexcept
{
    return GuardComMethod(function);
}
