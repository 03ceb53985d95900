@echo off
rem Removes the Orvane shell extension's registration.
rem   uninstall.cmd          the registration for all users (elevated prompt)
rem   uninstall.cmd /user    the current user's registration (uninstall-user.cmd)
rem On Windows 11 the sparse package is removed first (for the current user,
rem in either mode); older Windows skips it without a word.
rem Explorer keeps a loaded DLL until it restarts: sign out or restart
rem Explorer before deleting the files.
rem The folder's name is only ever expanded delayed (!HERE!), which takes
rem it as data: a name holding % ^ & ! ' or quotes runs nothing. It is taken
rem before delayed expansion is on, which would eat its "!".
setlocal DisableDelayedExpansion
set "HERE=%~dp0"
setlocal EnableDelayedExpansion
set "MODE="
set "SCOPE=for all users"
if /i "%~1"=="/user" (
    set "MODE=/n /i:user"
    set "SCOPE=for the current user"
)
set "STATUS=0"

rem Without it the 32-bit DLL would be registered for Explorer. Called by
rem name from this folder: a call of a path would expand the path twice.
if not exist "!HERE!platform.cmd" (
    echo platform.cmd: missing from !HERE!
    exit /b 1
)
pushd "!HERE!"
if /i not "!CD!\"=="!HERE!" if /i not "!CD!"=="!HERE!" exit /b 1
call .\platform.cmd
popd
if defined WIN11 call :remove_package
if defined IS64 (
    call :unregister "%NATIVE%\regsvr32.exe" %DLL64%
    call :unregister "%SystemRoot%\SysWOW64\regsvr32.exe" OrvaneShlExt32F.dll
) else (
    call :unregister "%SystemRoot%\System32\regsvr32.exe" OrvaneShlExt32F.dll
)
if "%STATUS%"=="0" (
    echo Orvane shell extension uninstalled %SCOPE%.
) else (
    echo Orvane shell extension: uninstallation failed; see the messages above.
)
exit /b %STATUS%

:remove_package
rem Nothing registered is not a failure: the pipeline then removes nothing.
"%NATIVE%\WindowsPowerShell\v1.0\powershell.exe" -NoProfile -NonInteractive -ExecutionPolicy Bypass -Command ^
    "Get-AppxPackage -Name '@PACKAGE_NAME@' | Remove-AppxPackage -ErrorAction Stop"
set "REMOVED=%errorlevel%"
set "COMPANION=!HERE!%PACKAGE_FOLDER%\OrvaneShellExt.exe"
if exist "!COMPANION!" "!COMPANION!" tell-explorer
if not "%REMOVED%"=="0" (
    echo @PACKAGE_NAME@: Remove-AppxPackage failed
    set "STATUS=1"
) else (
    echo @PACKAGE_NAME@: removed for the current user ^(Windows 11 menu^)
)
exit /b 0

:unregister
if not exist "!HERE!%~2" (
    echo %~2: missing from !HERE!
    set "STATUS=1"
    exit /b 0
)
"%~1" /s /u %MODE% "!HERE!%~2"
if errorlevel 1 (
    echo %~2: regsvr32 /u failed with exit code %errorlevel%
    set "STATUS=1"
) else (
    echo %~2: unregistered %SCOPE%
)
exit /b 0
