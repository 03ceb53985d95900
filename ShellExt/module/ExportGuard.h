// The boundary of every export: nothing thrown inside may reach the host.
#pragma once

#include <windows.h>

#include <new>

template <class Function>
HRESULT GuardExport(Function function) noexcept
{
    try
    {
        return function();
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
