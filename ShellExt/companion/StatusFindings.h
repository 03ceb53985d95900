// The judgement of `OrvaneShellExt.exe status`: what the machine has, what
// is wrong with it and how to mend it, from the plain record the probe
// filled. Platform-free, so that every rule can be tried from a table.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ShellExt/companion/StatusRecord.h"

enum class Severity : uint8_t
{
    kOk,    // what the machine has
    kNote,  // worth knowing, but Mark File works
    kFault, // a reason for Mark File to be missing or broken
};

struct Finding
{
    Severity severity = Severity::kOk;
    std::u16string strId;   // short and stable, for scripts and support tickets
    std::u16string strText;
    std::u16string strFix;  // one line; empty when there is nothing to do
};

std::vector<Finding> JudgeStatus(const StatusRecord& record);

bool HasFault(const std::vector<Finding>& vecFindings) noexcept;

// "0x0000002A": a code as the findings write it.
std::u16string HexText(uint32_t n);

// One finding per line, "FAULT [id] text  Fix: fix", CR LF line ends, and a
// closing count. Control characters of registry garbage show as '?'.
std::u16string FormatStatusText(const std::vector<Finding>& vecFindings);

// The same findings as one JSON object, for a support ticket.
std::u16string FormatStatusJson(const std::vector<Finding>& vecFindings);

// The body of a JSON string literal (without its quotes): quote, backslash
// and control characters escaped; unpaired surrogates as \uXXXX escapes.
std::u16string EscapeJson(std::u16string_view strText);

// The PE machine of an image from its first bytes (the DOS header, then the
// "PE\0\0" signature and the file header); kMachineUnknown when the bytes are
// not an image or end too early.
uint16_t PeMachineOf(const uint8_t* pBytes, size_t cbBytes) noexcept;
