@echo off
rem Registers the Orvane shell extension from this folder.
rem   install.cmd          for all users (run from an elevated prompt)
rem   install.cmd /user    for the current user only (install-user.cmd)
rem On 64-bit Windows two DLLs are registered: Explorer loads the one of the
rem machine's processor (x64 or ARM64), 32-bit programs' file dialogs the
rem 32-bit one. On Windows 11 the sparse package of the machine's processor,
rem which puts "Mark File" into the top-level menu, is then registered for
rem the current user (in either mode); older Windows has no such menu and
rem skips it without a word.
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
if not defined MODE (
    call :refuse_open_folder
    if errorlevel 1 exit /b 1
)
if defined IS64 (
    call :register "%NATIVE%\regsvr32.exe" %DLL64%
    call :register "%SystemRoot%\SysWOW64\regsvr32.exe" OrvaneShlExt32F.dll
) else (
    call :register "%SystemRoot%\System32\regsvr32.exe" OrvaneShlExt32F.dll
)
if defined WIN11 call :add_package
if "%STATUS%"=="0" (
    echo Orvane shell extension installed %SCOPE%.
) else (
    echo Orvane shell extension: installation failed; see the messages above.
    if not defined MODE echo Machine-wide installation needs an elevated command prompt.
)
exit /b %STATUS%

:refuse_open_folder
rem Machine-wide, Explorer in every session and administrators' programs load
rem the DLLs from this folder: one that anyone but SYSTEM, Administrators,
rem TrustedInstaller (or the owner of what they create) may change - write,
rem delete, change permissions or take over - would let them replace what
rem administrators run. PowerShell from the system folder judges it, never a
rem program from the folder itself. The folder reaches it as data.
set "ORVANE_FOLDER=!HERE!"
"%NATIVE%\WindowsPowerShell\v1.0\powershell.exe" -NoProfile -NonInteractive -ExecutionPolicy Bypass -Command ^
    "$ErrorActionPreference = 'Stop'; $trusted = 'S-1-5-18', 'S-1-5-32-544', 'S-1-3-0', 'S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464'; $items = @(Get-Item -LiteralPath $env:ORVANE_FOLDER -Force) + @(Get-ChildItem -LiteralPath $env:ORVANE_FOLDER -Recurse -Force); foreach ($item in $items) { foreach ($rule in (Get-Acl -LiteralPath $item.FullName).Access) { if ($rule.AccessControlType -eq 'Allow' -and ([long]$rule.FileSystemRights -band 0x500D0046) -and -not ([int]$rule.PropagationFlags -band 2) -and $trusted -notcontains $rule.IdentityReference.Translate([Security.Principal.SecurityIdentifier]).Value) { exit 3 } } }; exit 0"
if errorlevel 1 (
    echo !HERE!: users other than administrators can change this folder or a file in it; copy the folder to "%ProgramFiles%\Kelvoss\Orvane\ShellExt" and run install.cmd there, or use install-user.cmd.
    exit /b 1
)
exit /b 0

:add_package
rem The package lends its identity to the DLLs in this folder (the external
rem location); it must be signed by a certificate this machine trusts.
if not exist "!HERE!%PACKAGE%" (
    echo %PACKAGE%: missing from !HERE!
    set "STATUS=1"
    exit /b 0
)
rem The paths reach PowerShell through the environment, as data: no quoting
rem by hand (PowerShell also ends a quoted string at the typographic quotes).
rem The external location is the package's own folder, which holds only the
rem command DLL and the program the package names: registration changes its
rem permissions. Windows refuses to add the version it already has, so any
rem registered one is removed first.
set "ORVANE_PACKAGE_PATH=!HERE!!PACKAGE!"
set "ORVANE_PACKAGE_LOCATION=!HERE!!PACKAGE_FOLDER!"
"%NATIVE%\WindowsPowerShell\v1.0\powershell.exe" -NoProfile -NonInteractive -ExecutionPolicy Bypass -Command ^
    "Get-AppxPackage -Name '@PACKAGE_NAME@' | Remove-AppxPackage -ErrorAction Stop; Add-AppxPackage -Path $env:ORVANE_PACKAGE_PATH -ExternalLocation $env:ORVANE_PACKAGE_LOCATION -ErrorAction Stop"
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
rem Explorer picks up the new verb without a restart where it can; the
rem package's program is the one of this machine's processor.
set "COMPANION=!HERE!%PACKAGE_FOLDER%\OrvaneShellExt.exe"
if exist "!COMPANION!" "!COMPANION!" tell-explorer
exit /b 0

:register
if not exist "!HERE!%~2" (
    echo %~2: missing from !HERE!
    set "STATUS=1"
    exit /b 0
)
"%~1" /s %MODE% "!HERE!%~2"
if errorlevel 1 (
    echo %~2: regsvr32 failed with exit code %errorlevel%
    set "STATUS=1"
) else (
    echo %~2: registered %SCOPE%
)
exit /b 0
