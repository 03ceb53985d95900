@echo off
rem Registers the Orvane shell extension from this folder.
rem   install.cmd          for all users (run from an elevated prompt)
rem   install.cmd /user    for the current user only (install-user.cmd)
rem On 64-bit Windows both DLLs are registered: Explorer loads the 64-bit
rem one, 32-bit programs' file dialogs the 32-bit one.
setlocal
set "HERE=%~dp0"
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
