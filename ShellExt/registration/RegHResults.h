#pragma once

// HRESULT values used by the registry-script interpreter, as plain 32-bit
// integers so that the interpreter builds without Windows headers. The names
// live in a namespace and avoid the spelling of the <winerror.h> macros, so this
// header can be included next to <windows.h>.

#include <cstdint>

namespace RegHr {

constexpr int32_t MakeHr(uint32_t nBits) noexcept
{
    return static_cast<int32_t>(nBits);
}

constexpr int32_t kOk = 0;
constexpr int32_t kNotImpl = MakeHr(0x80004001u);
constexpr int32_t kFail = MakeHr(0x80004005u);
constexpr int32_t kOutOfMemory = MakeHr(0x8007000Eu);
constexpr int32_t kInvalidArg = MakeHr(0x80070057u);
constexpr int32_t kDispException = MakeHr(0x80020009u);
constexpr int32_t kDispTypeMismatch = MakeHr(0x80020005u);
constexpr int32_t kDispOverflow = MakeHr(0x8002000Au);

constexpr bool Failed(int32_t hr) noexcept
{
    return hr < 0;
}

constexpr bool Succeeded(int32_t hr) noexcept
{
    return hr >= 0;
}

// A positive Win32 error code c becomes 0x80070000 | (c & 0xFFFF); zero and
// values that are already HRESULTs (negative) pass unchanged.
constexpr int32_t FromWin32(int32_t nError) noexcept
{
    return nError > 0 ? MakeHr(0x80070000u | (static_cast<uint32_t>(nError) & 0xFFFFu)) : nError;
}

} // namespace RegHr
