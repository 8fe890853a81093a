#!/usr/bin/env bash
# Builds the Windows Installer package from DurvinProofControl.wxs with wixl, then adds with
# msibuild what wixl 0.101 cannot express. Run by the CMake targets (installer/CMakeLists.txt),
# which pass the version and codes from the project version.
#
#   build-msi.sh --version X.Y.Z --product-code {GUID} --upgrade-code {GUID} \
#                --controller EXE --file-version A.B.C.D --helper EXE --folder-check DLL \
#                --icon ICO --output MSI
#
# --file-version is the version resource the controller carries.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
while (($#)); do
  case $1 in
    --version) version=$2 ;;
    --product-code) product_code=$2 ;;
    --upgrade-code) upgrade_code=$2 ;;
    --controller) controller=$2 ;;
    --file-version) file_version=$2 ;;
    --helper) helper=$2 ;;
    --folder-check) folder_check=$2 ;;
    --icon) icon=$2 ;;
    --output) output=$2 ;;
    *) echo "build-msi.sh: unknown option $1" >&2; exit 2 ;;
  esac
  shift 2
done
# The settings file's product version is the one the tray hint shows: major.minor.
short_version=$(cut -d. -f1,2 <<<"$version")

mkdir -p "$(dirname "$output")"
output=$(cd "$(dirname "$output")" && pwd)/$(basename "$output")
partial="$output.partial"
rm -f "$partial"
# wixl takes only relative source paths: gather the inputs under the names the .wxs uses.
staging=$(mktemp -d)
trap 'rm -rf "$staging"' EXIT
cp "$here/DurvinProofControl.wxs" "$staging/"
cp "$controller" "$staging/DurvinProofControl.exe"
cp "$helper" "$staging/DurvinProofSetupHelper.exe"
cp "$folder_check" "$staging/DurvinProofFolderCheck.dll"
cp "$icon" "$staging/DurvinProofControl.ico"
(cd "$staging" &&
  wixl -a x86 -o "$partial" \
    -D Version="$version" -D ProductCode="$product_code" -D UpgradeCode="$upgrade_code" \
    DurvinProofControl.wxs)

queries=()
add() { queries+=(-q "$1"); }

# --- Properties ------------------------------------------------------------------------------
# The settings each property writes; the helper program (setup_helper.h) knows the same names.
settings=(RESTARTENABLED RESTARTDAY RESTARTTIME MAINTENANCE WEBPROFILER WEBPROFILERADDRESS
  HIDEUPDATER HIDESERVERCONFIGURATION HIDECLIENTSTART HIDEPOPUPMENU NOTIFICATIONS)
public=(AUTOSTART PRODUCTGUID CLIENTNAME INSTALLDIR "${settings[@]}")
# Public properties given to an elevated or managed installation reach its server side only when
# they are listed here.
secure=$(msiinfo export "$partial" Property | awk -F'\t' '$1 == "SecureCustomProperties" { print $2 }')
secure="$secure;$(IFS=';'; echo "${public[*]}")"
add "UPDATE \`Property\` SET \`Value\` = '$secure' WHERE \`Property\` = 'SecureCustomProperties'"

condition() {
  add "INSERT INTO \`LaunchCondition\` (\`Condition\`, \`Description\`) VALUES ('$1', '$2')"
}
# An upgrade, repair or removal works in the installed version's folder (set below, before these
# conditions); another one given on the command line is refused rather than leaving the old
# folder's program, settings and log behind. Written with and without its closing backslash. A
# first installation is bound by nothing an earlier product may have left in the registry.
readonly bound_to_installed='(Installed OR WIX_UPGRADE_DETECTED)'
condition "NOT $bound_to_installed OR NOT REMEMBEREDDIR OR INSTALLDIR ~= REMEMBEREDDIR OR INSTALLDIRSLASH ~= REMEMBEREDDIR" \
  'Durvin Proof Control is installed in [REMEMBEREDDIR] and stays there: install without INSTALLDIR, or uninstall it first to choose another folder.'

# --- Custom actions --------------------------------------------------------------------------
action() {  # name type source target
  add "INSERT INTO \`CustomAction\` (\`Action\`, \`Type\`, \`Source\`, \`Target\`) VALUES ('$1', $2, '$3', '$4')"
}
sequence() {  # name condition number [table]
  add "INSERT INTO \`${4:-InstallExecuteSequence}\` (\`Action\`, \`Condition\`, \`Sequence\`) VALUES ('$1', '$2', $3)"
}
# Type 51 sets a property; type 2 runs a program from the Binary table, here +1024 deferred (in
# the installation script) +2048 with the installer's rights, +64 ignoring its exit code, +256
# only when the installation rolls back, +512 only when it has succeeded (commit).
readonly set_property=51 helper_checked=3074 helper_ignored=3138
readonly helper_rollback=3394 helper_commit=3650

# The remembered folder, in both sequences: with a user interface, the interface's sequence
# resolves the folders and hands INSTALLDIR on. After AppSearch (50), before the conditions (100).
action InstallDirRemembered $set_property INSTALLDIR '[REMEMBEREDDIR]'
action InstallDirSlash $set_property INSTALLDIRSLASH '[INSTALLDIR]\'
for table in InstallUISequence InstallExecuteSequence; do
  sequence InstallDirRemembered "REMEMBEREDDIR AND NOT INSTALLDIR AND $bound_to_installed" 62 $table
  sequence InstallDirSlash 'INSTALLDIR' 63 $table
done

# AUTOSTART when not given: on, except on an upgrade where the operator had switched it off (the
# autostart value was missing before this installation began). Between AppSearch (50) and
# LaunchConditions (100), so the conditions see it; the helper program acts on it.
action AutostartKept $set_property AUTOSTART 1
action AutostartLeftOff $set_property AUTOSTART 0
sequence AutostartKept 'NOT Installed AND NOT AUTOSTART AND (NOT WIX_UPGRADE_DETECTED OR AUTOSTARTFOUND)' 60
sequence AutostartLeftOff 'NOT Installed AND NOT AUTOSTART' 61

# The install folder in the uninstall entry, as administrators' tools expect it.
action SetInstallLocation $set_property ARPINSTALLLOCATION '[INSTALLDIR]'
sequence SetInstallLocation '' 1001

exe='[INSTALLDIR]DurvinProofControl.exe'
# The helper's items, gathered into properties of at most 255 characters each (type 51, formatted
# when they run, after the folders are resolved): no CustomAction.Target may hold more.
items=("\"EXE=$exe\"" "\"VERSION=$short_version\"")
for property in AUTOSTART PRODUCTGUID CLIENTNAME "${settings[@]}"; do
  items+=("\"$property=[$property]\"")
done
pieces=() piece=''
for item in "${items[@]}"; do
  if ((${#piece} + 1 + ${#item} > 255)); then
    pieces+=("$piece")
    piece=''
  fi
  piece+=${piece:+ }$item
done
pieces+=("$piece")
helper_items=''
for index in "${!pieces[@]}"; do
  action "ApplyPropertiesItems$index" $set_property "ApplyPropertiesItems$index" "${pieces[index]}"
  sequence "ApplyPropertiesItems$index" 'NOT Installed' $((6490 + index))
  helper_items+="${helper_items:+ }[ApplyPropertiesItems$index]"
done
# Late in the script, after the files and the registration, so a failure rolls back everything.
# Only a first installation writes the settings (a major upgrade is the first installation of the
# newer product): a repair or modification, which a standard user may start, runs nothing.
# The helper program keeps what it changes until the installation has succeeded: the rollback
# action puts it back, the commit action lets it go. A rollback action comes before its action.
action ApplyPropertiesRollback $helper_rollback SetupHelper "rollback \"EXE=$exe\""
action ApplyProperties $helper_checked SetupHelper "install $helper_items"
action ApplyPropertiesCommit $helper_commit SetupHelper "commit \"EXE=$exe\""
sequence ApplyPropertiesRollback 'NOT Installed' 6499
sequence ApplyProperties 'NOT Installed' 6500
sequence ApplyPropertiesCommit 'NOT Installed' 6501
# Ignored result: a value that cannot be removed must not keep the product from being removed.
# Windows tells an upgrade's removal of the older version by UPGRADINGPRODUCTCODE; Wine does not
# set it, and the helper program asks whether another version stays installed as well.
action RemoveAutostart $helper_ignored SetupHelper \
  "uninstall \"EXE=$exe\" \"UPGRADECODE=[UpgradeCode]\" \"PRODUCTCODE=[ProductCode]\""
sequence RemoveAutostart 'REMOVE~="ALL" AND NOT UPGRADINGPRODUCTCODE' 2610
# A removal that fails later puts the value back, if it was there (AppSearch found it) and is gone.
action RestoreAutostart $helper_rollback SetupHelper "restore-autostart \"EXE=$exe\""
sequence RestoreAutostart 'REMOVE~="ALL" AND NOT UPGRADINGPRODUCTCODE AND AUTOSTARTFOUND' 2609

# Every running controller, in every session, closes before the files are replaced or removed:
# the helper program raises the controllers' close signal and waits a bounded time for them to
# end. One still running then holds its file, and Windows Installer replaces it at the next restart
# (which /norestart defers). After InstallValidate, so the restart manager has already closed the
# installing user's controller itself and brings it back afterwards.
action CloseControllers $helper_ignored SetupHelper "close \"EXE=$exe\""
sequence CloseControllers '(WIX_UPGRADE_DETECTED AND NOT Installed) OR (REMOVE~="ALL" AND NOT UPGRADINGPRODUCTCODE)' 1501

# A first installation or an upgrade refuses a folder ordinary users can change, or one on its
# path (folder_trust.h), before anything is written: the DLL action sets UnsafeFolder and
# UnsafeFolderReason, the error action (type 19) stops with the formatted text of its row in the
# Error table, whose column takes any length. After CostFinalize (1000), which resolves INSTALLDIR
# to the full path; in both sequences, so the interface refuses before it hands on.
readonly dll_immediate=1 error_message=19
error() {  # number text
  add "INSERT INTO \`Error\` (\`Error\`, \`Message\`) VALUES ($1, '$2')"
}
action CheckInstallFolder $dll_immediate FolderCheck CheckInstallFolder
action RefuseInstallFolder $error_message '' 25001
error 25001 'Durvin Proof Control cannot be installed in [INSTALLDIR]: ordinary users can change the folder [UnsafeFolder] ([UnsafeFolderReason]), and the program, which runs with administrator rights, would trust what they put there. Choose a folder in Program Files, or one where only administrators can change it and the folders above it.'
for table in InstallUISequence InstallExecuteSequence; do
  sequence CheckInstallFolder 'NOT Installed' 1002 $table
  sequence RefuseInstallFolder 'UnsafeFolder' 1003 $table
done

# Every property an administrator gives is checked the same way, with the helper program's rule
# (setup_helper.h), so a value it would refuse stops the installation here, saying which and why,
# and not after the files are copied. The DLL action sets BadProperty and BadPropertyReason.
action CheckProperties $dll_immediate FolderCheck CheckProperties
action RefuseProperty $error_message '' 25002
error 25002 '[BadProperty] cannot be used as given: [BadPropertyReason]. Durvin Proof Control was not installed, and nothing was changed.'
for table in InstallUISequence InstallExecuteSequence; do
  sequence CheckProperties 'NOT Installed' 1004 $table
  sequence RefuseProperty 'BadProperty' 1005 $table
done

# --- Upgrades --------------------------------------------------------------------------------
# The older version is removed after the newer one is in place. Their components share ids, so
# what both hold (the program and the files listed below) stays, and the older helper program
# sees the newer version installed and leaves the autostart value alone; removing the older
# version first would delete the administrator's settings file along with it.
add "UPDATE \`InstallExecuteSequence\` SET \`Sequence\` = 6601 WHERE \`Action\` = 'RemoveExistingProducts'"

# --- Files to remove -------------------------------------------------------------------------
# With the controller's component, on removal only (install mode 2): the files written beside it.
remove() {  # key file
  add "INSERT INTO \`RemoveFile\` (\`FileKey\`, \`Component_\`, \`FileName\`, \`DirProperty\`, \`InstallMode\`) VALUES ('$1', 'Controller', '$2', 'INSTALLDIR', 2)"
}
remove SettingsFile DurvinProofControl.ini
remove ProductInfoFile DurvinProofControl.xml
remove TraceLog DurvinProofControl.log
remove RotatedTraceLog DurvinProofControl.log.1
remove SetupBackup DurvinProofControl.setup-backup

# --- The program's folder ---------------------------------------------------------------------
# The elevated controller trusts the files beside it, so its folder gets the permissions of
# Program Files wherever it is: administrators and LocalSystem full control, users read and
# execute, owned by administrators, nothing inherited from a parent ordinary users may change.
add "CREATE TABLE \`MsiLockPermissionsEx\` (\`MsiLockPermissionsEx\` CHAR(72) NOT NULL, \`LockObject\` CHAR(72) NOT NULL, \`Table\` CHAR(32) NOT NULL, \`SDDL\` LONGCHAR NOT NULL, \`Condition\` CHAR(255) PRIMARY KEY \`MsiLockPermissionsEx\`)"
add "INSERT INTO \`CreateFolder\` (\`Directory_\`, \`Component_\`) VALUES ('INSTALLDIR', 'Controller')"
sequence RemoveFolders '' 3600
sequence CreateFolders '' 3700
add "INSERT INTO \`MsiLockPermissionsEx\` (\`MsiLockPermissionsEx\`, \`LockObject\`, \`Table\`, \`SDDL\`) VALUES ('ProgramFolder', 'INSTALLDIR', 'CreateFolder', 'O:BAG:SYD:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)')"

# --- The executable's version ----------------------------------------------------------------
# wixl leaves it out and hashes the file instead; with its version Windows Installer replaces the
# program by version, as it does every versioned file.
# Its language is that of its version resource (resources/DurvinProofControl.rc): a versioned file
# without one fails validation (ICE60).
add "UPDATE \`File\` SET \`Version\` = '$file_version', \`Language\` = '1033' WHERE \`File\` = 'ControllerExe'"
add "DELETE FROM \`MsiFileHash\` WHERE \`File_\` = 'ControllerExe'"
# A component of its own for "Durvin Proof" (its folder is the key path), so the folder goes with
# the product when nothing else is left in it; the product's other parts may still be there.
add "INSERT INTO \`Component\` (\`Component\`, \`ComponentId\`, \`Directory_\`, \`Attributes\`) VALUES ('ProductFolder', '{A66C4307-CE51-4E53-A833-E040390BDD7B}', 'ProductFolder', 0)"
add "INSERT INTO \`FeatureComponents\` (\`Feature_\`, \`Component_\`) VALUES ('Control', 'ProductFolder')"
# Only when the program goes into its default folder: a custom folder leaves no empty "Durvin
# Proof" behind in Program Files. Its folder is listed to remove as INSTALLDIR is below, so it goes
# after it.
action DefaultInstallDir $set_property DEFAULTINSTALLDIR '[ProgramFilesFolder]Durvin Proof\Control\'
for table in InstallUISequence InstallExecuteSequence; do
  sequence DefaultInstallDir '' 64 $table
done
add "UPDATE \`Component\` SET \`Condition\` = 'NOT INSTALLDIR OR INSTALLDIR ~= DEFAULTINSTALLDIR OR INSTALLDIRSLASH ~= DEFAULTINSTALLDIR' WHERE \`Component\` = 'ProductFolder'"
add "INSERT INTO \`CreateFolder\` (\`Directory_\`, \`Component_\`) VALUES ('ProductFolder', 'ProductFolder')"

msibuild "$partial" "${queries[@]}"
mv -f "$partial" "$output"
