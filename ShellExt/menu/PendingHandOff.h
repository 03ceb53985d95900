// The named object of one right-click's delayed hand-off, shared by every
// process of the user's session that takes part in it: the Explorer command
// (in a surrogate), the waiter that outlives it (OrvaneShellExt.exe
// handoff), and the classic handler (in Explorer).
//
// It is a named event, "Local\Kelvoss.Orvane.HandOff.<key>" (SelectionKey.h),
// in the session's own namespace, carrying nothing but its existence: while
// it exists, a hand-off of that selection is pending and nobody starts
// another. Whoever starts a hand-off makes it: the classic handler holds it
// until its timer has fired, the Explorer command passes its handle on to
// the waiter, which holds it until it has started the main application.
//
// Only the user's own slot counts. It is made with a descriptor that grants
// access to the user and SYSTEM alone, and one that exists already under
// another owner (any program in the session may make an object of that
// name first) is treated as absent: the next of a few names is tried, in the
// same order by every process, so the hand-off still comes, once.
//
// A slot that cannot be made costs only the deduplication: the hand-off
// goes ahead without it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ShellExt/core/Handles.h"

class CHandOffSlot
{
public:
    enum class Outcome
    {
        Created,    // this call made the slot: the hand-off is ours to start
        Existed,    // another hand-off of this selection is pending
        Failed,     // no slot; the hand-off goes ahead without one
    };
    Outcome Create(uint64_t nKey) noexcept;

    HANDLE Handle() const noexcept { return m_hSlot.Get(); }
    HANDLE Detach() noexcept { return m_hSlot.Detach(); }

private:
    CKernelHandle m_hSlot;
};

// The key of a selection given as paths (the classic handler's, a chosen
// subcommand's).
uint64_t SelectionKeyOfPaths(const std::vector<std::wstring>& vecPaths) noexcept;
