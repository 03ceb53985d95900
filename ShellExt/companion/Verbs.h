// The verbs of OrvaneShellExt.exe, the extension's small companion program in
// the install folder. Each verb lives in a file of its own and is listed once,
// in the table of CompanionMain.cpp.
#pragma once

// What a verb answers is the program's exit code.
using VerbFunction = int (*)(int nArgs, wchar_t** ppszArgs);

struct CompanionVerb
{
    const wchar_t* pszName;
    VerbFunction pfnRun;
};

// Exit codes every verb shares; a verb may add its own above these.
enum CompanionExitCode
{
    kCompanionDone = 0,
    kCompanionUsage = 2,
};
