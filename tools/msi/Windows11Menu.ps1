# Registers or removes the sparse package that gives the extension its entry
# in the Windows 11 context menu, for the user who runs the installer. The
# installer calls this after installing and before removing its files.
#
#   Windows11Menu.ps1 register PACKAGE.msix FOLDER   (FOLDER holds the command DLL)
#   Windows11Menu.ps1 remove PACKAGE_NAME
#
# Windows before build 22000 has no such menu: nothing is done there. Every
# failure is reported as a warning and the script still ends with 0, so the
# classic menu's installation never fails because of this one.
param(
    [Parameter(Mandatory = $true)] [ValidateSet('register', 'remove')] [string] $Action,
    [Parameter(Mandatory = $true)] [string] $Package,
    [string] $Location
)
$ErrorActionPreference = 'Stop'
try {
    $build = [int] (Get-CimInstance Win32_OperatingSystem).BuildNumber
    if ($build -lt 22000) { exit 0 }
    if ($Action -eq 'register') {
        # The installer passes "FOLDER\." so that no backslash precedes the
        # closing quote on its command line.
        Add-AppxPackage -Path $Package -ExternalLocation ([IO.Path]::GetFullPath($Location))
    } else {
        Get-AppxPackage -Name $Package | Remove-AppxPackage
    }
} catch {
    Write-Warning "Orvane Windows 11 menu ($Action): $($_.Exception.Message)"
}
exit 0
