@echo off
rem Registers the Orvane shell extension from this folder.
rem   install.cmd          for all users (run from an elevated prompt)
rem   install.cmd /user    for the current user only (install-user.cmd)
rem On 64-bit Windows both DLLs are registered: Explorer loads the 64-bit
rem one, 32-bit programs' file dialogs the 32-bit one. On Windows 11 the
rem sparse package that puts "Mark File" into the top-level menu is then
rem registered for the current user (in either mode); older Windows has no
rem such menu and skips it without a word.
setlocal
set "HERE=%~dp0"
set "PACKAGE=Orvane-ShellExt-@VERSION@.msix"
set "MODE="
set "SCOPE=for all users"
if /i "%~1"=="/user" (
    set "MODE=/n /i:user"
    set "SCOPE=for the current user"
)
set "STATUS=0"

call :platform
if defined IS64 (
    call :register "%NATIVE%\regsvr32.exe" OrvaneShlExt64F.dll
    call :register "%SystemRoot%\SysWOW64\regsvr32.exe" OrvaneShlExt32F.dll
) else (
    call :register "%SystemRoot%\System32\regsvr32.exe" OrvaneShlExt32F.dll
)
call :windows11
if defined WIN11 call :add_package
if "%STATUS%"=="0" (
    echo Orvane shell extension installed %SCOPE%.
) else (
    echo Orvane shell extension: installation failed; see the messages above.
    if not defined MODE echo Machine-wide installation needs an elevated command prompt.
)
exit /b %STATUS%

:platform
rem A 32-bit prompt on 64-bit Windows sees the 64-bit system folder as Sysnative.
set "IS64="
set "NATIVE=%SystemRoot%\System32"
if /i "%PROCESSOR_ARCHITECTURE%"=="AMD64" set "IS64=1"
if /i "%PROCESSOR_ARCHITECTURE%"=="ARM64" set "IS64=1"
if defined PROCESSOR_ARCHITEW6432 (
    set "IS64=1"
    set "NATIVE=%SystemRoot%\Sysnative"
)
exit /b 0

:windows11
rem The top-level menu of packaged handlers exists from build 22000 on.
set "WIN11="
set "BUILD=0"
for /f "tokens=1,3" %%a in ('reg query "HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion" /v CurrentBuildNumber 2^>nul') do (
    if /i "%%a"=="CurrentBuildNumber" set "BUILD=%%b"
)
if %BUILD% GEQ 22000 set "WIN11=1"
exit /b 0

:add_package
rem The package lends its identity to the DLLs in this folder (the external
rem location); it must be signed by a certificate this machine trusts.
if not exist "%HERE%%PACKAGE%" (
    echo %PACKAGE%: missing from %HERE%
    set "STATUS=1"
    exit /b 0
)
rem PowerShell quotes: a ' in the folder name is written twice. The
rem external location is the Windows11 folder, which holds only the command
rem DLL and the program the package names: registration changes its
rem permissions. Windows refuses to add the version it already has, so any
rem registered one is removed first.
set "PS_HERE=%HERE:'=''%"
"%NATIVE%\WindowsPowerShell\v1.0\powershell.exe" -NoProfile -NonInteractive -ExecutionPolicy Bypass -Command ^
    "Get-AppxPackage -Name '@PACKAGE_NAME@' | Remove-AppxPackage -ErrorAction Stop; Add-AppxPackage -Path '%PS_HERE%%PACKAGE%' -ExternalLocation '%PS_HERE%Windows11' -ErrorAction Stop"
set "ADDED=%errorlevel%"
call :tell_explorer
if not "%ADDED%"=="0" (
    echo %PACKAGE%: Add-AppxPackage failed; is its certificate trusted? See INSTALL.txt.
    set "STATUS=1"
) else (
    echo %PACKAGE%: registered for the current user ^(Windows 11 menu^)
)
exit /b 0

:tell_explorer
rem Explorer picks up the new verb without a restart where it can.
if exist "%HERE%OrvaneShellExt.exe" "%HERE%OrvaneShellExt.exe" tell-explorer
exit /b 0

:register
if not exist "%HERE%%~2" (
    echo %~2: missing from %HERE%
    set "STATUS=1"
    exit /b 0
)
"%~1" /s %MODE% "%HERE%%~2"
if errorlevel 1 (
    echo %~2: regsvr32 failed with exit code %errorlevel%
    set "STATUS=1"
) else (
    echo %~2: registered %SCOPE%
)
exit /b 0
