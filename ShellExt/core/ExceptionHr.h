// What an exception becomes where it must stop: at every COM method and
// export (ErrorBoundary.h) and at the entry points of the registry-script
// interpreter, which builds without Windows headers. One mapping for all:
//   std::bad_alloc  E_OUTOFMEMORY (0x8007000E)
//   anything else   E_UNEXPECTED (0x8000FFFF), std::length_error included:
//                   no amount of memory meets a request past a container's
//                   largest size, so the size itself was computed wrongly,
//                   a fault of ours like a bad position (std::out_of_range)
#pragma once

#include <cstdint>
#include <new>
#include <type_traits>

namespace ExceptionHr {
constexpr int32_t kOutOfMemory = static_cast<int32_t>(0x8007000Eu);
constexpr int32_t kUnexpected = static_cast<int32_t>(0x8000FFFFu);
} // namespace ExceptionHr

// The HRESULT of the exception being handled; only valid inside a catch.
inline int32_t CaughtExceptionHr() noexcept
{
    try
    {
        throw;
    }
    catch (const std::bad_alloc&)
    {
        return ExceptionHr::kOutOfMemory;
    }
    catch (...)
    {
        return ExceptionHr::kUnexpected;
    }
}

// The result of function(), or the HRESULT of what it threw.
template <class Function, class Result = std::invoke_result_t<Function&>>
Result CallNoThrow(Function function) noexcept
{
    try
    {
        return function();
    }
    catch (...)
    {
        return static_cast<Result>(CaughtExceptionHr());
    }
}
