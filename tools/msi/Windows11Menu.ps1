# Registers or removes the sparse package that gives the extension its entry
# in the Windows 11 context menu, for the user who runs it. OrvaneShellExt.exe
# runs it (register-user, unregister-user): for the installing user from the
# installer, for every other user from Active Setup at the next logon.
#
#   Windows11Menu.ps1 register PACKAGE.msix FOLDER PACKAGE_NAME
#                                  (FOLDER holds the command DLL)
#   Windows11Menu.ps1 remove PACKAGE_NAME
#
# Windows before build 22000 has no such menu: nothing is done there. A
# failure ends the script with 1, so that the installer's log records it,
# and its message is appended to %TEMP%\Orvane-ShellExt-Windows11Menu.log;
# the installer goes on, as the classic menu does not depend on this one.
param(
    [Parameter(Mandatory = $true)] [ValidateSet('register', 'remove')] [string] $Action,
    [Parameter(Mandatory = $true)] [ValidateNotNullOrEmpty()] [string] $Package,
    [ValidateNotNullOrEmpty()] [string] $Location,
    [ValidateNotNullOrEmpty()] [string] $Name
)
$ErrorActionPreference = 'Stop'
try {
    $build = [int] (Get-CimInstance Win32_OperatingSystem).BuildNumber
    if ($build -lt 22000) { exit 0 }
    if ($Action -eq 'register') {
        # Get-AppxPackage without a name lists every package of the user:
        # never let a missing name reach the removal below.
        if (-not $Location -or -not $Name) { throw 'register needs PACKAGE.msix, FOLDER and PACKAGE_NAME' }
        # Windows refuses to add a package of the version it already has:
        # that one goes first, then it is added again.
        Get-AppxPackage -Name $Name | Remove-AppxPackage
        # The installer passes "FOLDER\." so that no backslash precedes the
        # closing quote on its command line.
        Add-AppxPackage -Path $Package -ExternalLocation ([IO.Path]::GetFullPath($Location))
    } else {
        Get-AppxPackage -Name $Package | Remove-AppxPackage
    }
} catch {
    $message = "$(Get-Date -Format s) Orvane Windows 11 menu ($Action): $($_.Exception.Message)"
    Write-Warning $message
    Add-Content -Path (Join-Path $env:TEMP 'Orvane-ShellExt-Windows11Menu.log') -Value $message -ErrorAction SilentlyContinue
    exit 1
}
exit 0
