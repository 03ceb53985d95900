#include "ShellExt/companion/StatusVerb.h"

#include <windows.h>

#include <new>

#include "ShellExt/companion/StatusProbe.h"
#include "ShellExt/companion/VerbOutput.h"
#include "ShellExt/companion/Verbs.h"

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
    try
    {
        const std::vector<Finding> vecStatus = JudgeStatus(ProbeStatus());
        const bool bFault = HasFault(vecStatus);
        vecFindings.insert(vecFindings.end(), vecStatus.begin(), vecStatus.end());
        WriteVerbOutput(bJson ? FormatStatusJson(vecFindings) : FormatStatusText(vecFindings));
        return bFault ? kStatusFoundFaults : kCompanionDone;
    }
    catch (const std::bad_alloc&)
    {
        WriteVerbOutput(u"status: out of memory\r\n");
        return kStatusFailed;
    }
}

int RunStatusVerb(int nArgs, wchar_t** ppszArgs)
{
    bool bJson = false;
    if (!ReadJsonOption(nArgs, ppszArgs, bJson))
        return kCompanionUsage;
    return ReportStatus(bJson, {});
}
