#include "ShellExt/companion/StatusVerb.h"

#include <windows.h>

#include "ShellExt/companion/StatusProbe.h"
#include "ShellExt/companion/VerbOutput.h"
#include "ShellExt/companion/Verbs.h"
#include "ShellExt/core/ExceptionHr.h"

bool ReadJsonOption(int nArgs, wchar_t** ppszArgs, bool& bJson) noexcept
{
    bJson = false;
    for (int i = 0; i < nArgs; ++i)
    {
        if (::lstrcmpiW(ppszArgs[i], L"--json") != 0)
            return false;
        bJson = true;
    }
    return true;
}

int ReportStatus(bool bJson, std::vector<Finding> vecFindings) noexcept
{
    // Whatever is thrown on the way (out of memory, a size computed wrongly)
    // ends as one line and kStatusFailed, never as a crash.
    int nExit = kStatusFailed;
    const HRESULT hr = CallNoThrow([&]() -> HRESULT {
        const std::vector<Finding> vecStatus = JudgeStatus(ProbeStatus());
        const bool bFault = HasFault(vecStatus);
        vecFindings.insert(vecFindings.end(), vecStatus.begin(), vecStatus.end());
        WriteVerbOutput(bJson ? FormatStatusJson(vecFindings) : FormatStatusText(vecFindings));
        nExit = bFault ? kStatusFoundFaults : kCompanionDone;
        return S_OK;
    });
    if (FAILED(hr))
    {
        WriteVerbOutput(hr == E_OUTOFMEMORY ? u"status: failed: out of memory\r\n"
                                            : u"status: failed: an unexpected error inside the status check\r\n");
        return kStatusFailed;
    }
    return nExit;
}

int RunStatusVerb(int nArgs, wchar_t** ppszArgs)
{
    bool bJson = false;
    if (!ReadJsonOption(nArgs, ppszArgs, bJson))
        return kCompanionUsage;
    return ReportStatus(bJson, {});
}
