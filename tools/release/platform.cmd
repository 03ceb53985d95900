@echo off
rem Which Windows this is, for install.cmd and uninstall.cmd (called by them
rem by name from this folder, never run alone): sets
rem   IS64            64-bit Windows (x64 or ARM64)
rem   ARM64           Windows on ARM64, whose Explorer loads only ARM64 code
rem   NATIVE          the folder of this Windows' own 64-bit programs
rem   DLL64           the DLL that the 64-bit registry view gets
rem   PACKAGE         the sparse package of this processor, and
rem   PACKAGE_FOLDER  the folder that holds the DLL that package names
rem   WIN11           Windows 11 (build 22000 or later), which has the
rem                   top-level menu of packaged handlers
set "IS64="
set "ARM64="
set "NATIVE=%SystemRoot%\System32"
rem A 32-bit prompt on 64-bit Windows names the machine's processor in
rem PROCESSOR_ARCHITEW6432 and sees the 64-bit system folder as Sysnative.
if /i "%PROCESSOR_ARCHITECTURE%"=="AMD64" set "IS64=1"
if defined PROCESSOR_ARCHITEW6432 (
    set "IS64=1"
    set "NATIVE=%SystemRoot%\Sysnative"
)
if /i "%PROCESSOR_ARCHITECTURE%"=="ARM64" set "ARM64=1"
if /i "%PROCESSOR_ARCHITEW6432%"=="ARM64" set "ARM64=1"
rem On ARM64 Windows a prompt started by an x64 program calls itself AMD64:
rem the machine's own value decides.
set "MACHINE="
for /f "tokens=1,3" %%a in ('%SystemRoot%\System32\reg.exe query "HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment" /v PROCESSOR_ARCHITECTURE 2^>nul') do (
    if /i "%%a"=="PROCESSOR_ARCHITECTURE" set "MACHINE=%%b"
)
if /i "%MACHINE%"=="ARM64" set "ARM64=1"
set "DLL64=OrvaneShlExt64F.dll"
set "PACKAGE=Orvane-ShellExt-@VERSION@.msix"
set "PACKAGE_FOLDER=Windows11"
if defined ARM64 (
    set "IS64=1"
    set "DLL64=OrvaneShlExtA64F.dll"
    set "PACKAGE=Orvane-ShellExt-@VERSION@-arm64.msix"
    set "PACKAGE_FOLDER=Windows11-ARM64"
)
set "WIN11="
set "BUILD=0"
for /f "tokens=1,3" %%a in ('%SystemRoot%\System32\reg.exe query "HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion" /v CurrentBuildNumber 2^>nul') do (
    if /i "%%a"=="CurrentBuildNumber" set "BUILD=%%b"
)
if %BUILD% GEQ 22000 set "WIN11=1"
exit /b 0
