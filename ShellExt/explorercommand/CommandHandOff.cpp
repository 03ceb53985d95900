#include "ShellExt/explorercommand/CommandHandOff.h"

#include "ShellExt/core/BoundedText.h"
#include "ShellExt/core/WideText.h"
#include "ShellExt/explorercommand/ShellItemPaths.h"
#include "ShellExt/menu/CompanionStart.h"
#include "ShellExt/menu/PendingHandOff.h"
#include "ShellExt/menu/SelectionKey.h"

void StartSelectionHandOff(IShellItemArray* psiItemArray) noexcept
{
    const uint64_t nKey = SelectionKeyOfItems(psiItemArray);
    CHandOffSlot slot;
    if (slot.Create(nKey) == CHandOffSlot::Outcome::Existed)
        return;
    char16_t szKey[kSelectionKeyDigits + 1];
    FormatSelectionKey(nKey, szKey);
    wchar_t szArguments[16 + kSelectionKeyDigits];
    if (!JoinBounded(AsUtf16(szArguments), sizeof(szArguments) / sizeof(szArguments[0]), {u"handoff ", szKey}))
        return;
    // The waiter inherits the slot's handle and holds it from its first
    // instruction. Without a waiter nothing is pending: the slot closes with
    // this function, and the next request of the selection tries again.
    StartCompanion(szArguments, slot.Handle());
}
