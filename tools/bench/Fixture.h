// The installation, settings, files and associations the measured calls
// find: what a user's machine holds when the extension is used. Made in the
// (private) Wine prefix the benchmark runs in.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct IconCase
{
    const char* pszName;
    std::wstring strFile;
    std::wstring strExpectedLocation;
    int nExpectedIndex;
};

struct BenchFixture
{
    std::wstring strRoot;          // C:\OrvaneBench, also the current directory
    std::wstring strInstallDir;    // OrvaneDir
    std::wstring strAppData;       // the AppData variable
    std::vector<std::wstring> vecSelection;  // two files, as a right-click on two files
    IconCase marked;               // a file with the ovx stream
    IconCase plain;                // a type with a plain default icon
    IconCase cached;               // a type with an indirect ("@") icon in the cache
};

// strIclSource: the icon library to place as <install>\icl\Main.icl.
bool SetUpFixture(const std::wstring& strIclSource, BenchFixture& fixture, std::wstring& strError);

// Names a program as the main application (HKCU OrvanePath); empty removes it.
void SetMainApplication(const std::wstring& strPath);

void TearDownFixture(const BenchFixture& fixture);
