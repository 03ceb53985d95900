// The named object of one right-click's delayed hand-off, shared by every
// process of the user's session that takes part in it: the Explorer command
// (in a surrogate), the waiter that outlives it (OrvaneShellExt.exe
// handoff), and the classic handler (in Explorer).
//
// It is a small file mapping named "Local\Kelvoss.Orvane.HandOff.<key>"
// (SelectionKey.h) in the session's own namespace. Whoever starts a hand-off
// makes it and hands it on to the waiter, which holds it until it has
// started the main application: while it exists, a hand-off for that
// selection is pending and nobody starts another. It also carries the
// newest selection file the command has written for that right-click, which
// the waiter copies to the fixed copy as the in-process timer copied the
// newest selection file of its process.
//
// A slot that cannot be made costs only the deduplication: the hand-off
// goes ahead without it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ShellExt/core/Handles.h"

struct HandOffSlotData;

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

    HANDLE Mapping() const noexcept { return m_hMapping.Get(); }
    HANDLE DetachMapping() noexcept;

    // The newest selection file; a cut path is never stored.
    void StoreSelectionFile(const wchar_t* pszSelectionFile) noexcept;
    // Empty when the slot has none.
    void ReadSelectionFile(wchar_t (&szSelectionFile)[MAX_PATH]) const noexcept;
    // True for the first waiter of the slot only.
    bool ClaimWaiter() noexcept;

private:
    CKernelHandle m_hMapping;
    CMappedView m_view;
    HandOffSlotData* Data() const noexcept { return static_cast<HandOffSlotData*>(m_view.Get()); }
};

// Whether a hand-off of the selection is pending anywhere in the session.
bool IsHandOffPending(uint64_t nKey) noexcept;

// The key of a selection given as paths (the classic handler's, a chosen
// subcommand's).
uint64_t SelectionKeyOfPaths(const std::vector<std::wstring>& vecPaths) noexcept;

// Writes the newest selection file of this process into the pending slot of
// the selection, if there is one.
void RecordNewestSelectionFile(uint64_t nKey) noexcept;
