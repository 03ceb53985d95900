#include "ShellExt/companion/StatusVerb.h"

#include <windows.h>

#include <new>

#include "ShellExt/companion/StatusFindings.h"
#include "ShellExt/companion/StatusProbe.h"
#include "ShellExt/companion/VerbOutput.h"
#include "ShellExt/companion/Verbs.h"

int RunStatusVerb(int nArgs, wchar_t** ppszArgs)
{
    bool bJson = false;
    for (int i = 0; i < nArgs; ++i)
    {
        if (::lstrcmpiW(ppszArgs[i], L"--json") != 0)
            return kCompanionUsage;
        bJson = true;
    }
    try
    {
        const std::vector<Finding> vecFindings = JudgeStatus(ProbeStatus());
        WriteVerbOutput(bJson ? FormatStatusJson(vecFindings) : FormatStatusText(vecFindings));
        return HasFault(vecFindings) ? kStatusFoundFaults : kCompanionDone;
    }
    catch (const std::bad_alloc&)
    {
        WriteVerbOutput(u"status: out of memory\r\n");
        return kStatusFailed;
    }
}
