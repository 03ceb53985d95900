// The boundaries that nothing thrown inside may cross: every export of the
// DLL and every COM method of its classes runs its body through one of them,
// and the host sees an HRESULT instead (ExceptionHr.h says which).
#pragma once

#include <windows.h>

#include "ShellExt/core/ExceptionHr.h"

template <class Function>
HRESULT GuardComMethod(Function function) noexcept
{
    return CallNoThrow<Function, HRESULT>(function);
}

// Exports answer the same way as COM methods.
template <class Function>
HRESULT GuardExport(Function function) noexcept
{
    return GuardComMethod(function);
}
