#!/usr/bin/env bash
# What Wine's msiexec cannot show (file permissions, a standard user's repair, other sessions,
# replacement by version), checked in the package's tables.
#   check-package.sh MSI FILE-VERSION
set -euo pipefail
msi=$(realpath "$1") file_version=$2
failures=0
# msiinfo writes a table's streams (Binary, Icon) as files where it runs.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
table() { msiinfo export "$msi" "$1" | tr -d '\r' | tail -n +4; }
field() { table "$1" | awk -F'\t' -v k="$2" -v n="$3" '$1 == k { print $n }'; }
expect() {  # what, found, expected
  [[ $2 == "$3" ]] && return
  echo "check-package.sh: $1 is '$2', expected '$3'" >&2
  failures=$((failures + 1))
}
# Replaced by version, not by hash; every versioned file names its language (ICE60).
expect "the executable's version" "$(field File ControllerExe 5)" "$file_version"
expect "the executable's hash" "$(field MsiFileHash ControllerExe 1)" ""
expect "versioned files without a language" \
  "$(table File | awk -F'\t' '$5 != "" && $6 == "" { printf "%s ", $1 }')" ""
# The program folder locked to administrators and LocalSystem, readable and runnable by users.
expect "the program folder's lock" \
  "$(table MsiLockPermissionsEx | awk -F'\t' '$1 == "ProgramFolder" { print $2 "|" $3 "|" $4 }')" \
  'INSTALLDIR|CreateFolder|O:BAG:SYD:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)'
# Settings written only by a first installation, never by a repair a standard user may start.
for action in ApplyPropertiesRollback ApplyProperties ApplyPropertiesCommit \
  $(table CustomAction | awk -F'\t' '$1 ~ /^ApplyPropertiesItems/ { print $1 }'); do
  expect "$action's condition" "$(field InstallExecuteSequence $action 2)" "NOT Installed"
done
# The remembered folder binds a repair, an uninstall and an upgrade, never a first installation.
for sequence in InstallUISequence InstallExecuteSequence; do
  expect "$sequence's remembered folder" "$(field $sequence InstallDirRemembered 2)" \
    'REMEMBEREDDIR AND NOT INSTALLDIR AND (Installed OR WIX_UPGRADE_DETECTED)'
done
expect "the remembered folder's launch condition" \
  "$(table LaunchCondition | awk -F'\t' '$1 ~ /REMEMBEREDDIR/ { print $1 }')" \
  'NOT (Installed OR WIX_UPGRADE_DETECTED) OR NOT REMEMBEREDDIR OR INSTALLDIR ~= REMEMBEREDDIR OR INSTALLDIRSLASH ~= REMEMBEREDDIR'
# The controllers are closed inside the script, before any file is removed or replaced.
close=$(field InstallExecuteSequence CloseControllers 3)
expect "CloseControllers between InstallInitialize and RemoveFiles" \
  "$((close > $(field InstallExecuteSequence InstallInitialize 3) &&
      close < $(field InstallExecuteSequence RemoveFiles 3)))" 1
# A folder ordinary users can change is refused after its path is resolved, before anything is
# written, whoever shows the interface.
expect "the folder check's actions" \
  "$(table CustomAction | awk -F'\t' '$1 ~ /InstallFolder$/ { printf "%s|%s|%s;", $2, $3, $1 }')" \
  '1|FolderCheck|CheckInstallFolder;19||RefuseInstallFolder;'
for pair in InstallUISequence:ExecuteAction InstallExecuteSequence:InstallInitialize; do
  sequence=${pair%:*} next=${pair#*:}
  check=$(field $sequence CheckInstallFolder 3) refuse=$(field $sequence RefuseInstallFolder 3)
  expect "$sequence's folder check" \
    "$(field $sequence CheckInstallFolder 2)|$(field $sequence RefuseInstallFolder 2)" \
    'NOT Installed|UnsafeFolder'
  expect "$sequence's folder check between CostFinalize and $next" \
    "$((check > $(field $sequence CostFinalize 3) && refuse > check &&
        refuse < $(field $sequence $next 3)))" 1
done
# Every string fits its column (ICE03, an error in Windows Installer's validation, which packaging
# pipelines run): characters, not bytes, so UTF-8 continuation bytes are not counted.
for name in $(msiinfo tables "$msi"); do
  [[ $name == _* ]] && continue
  while IFS= read -r overflow; do
    echo "check-package.sh: $overflow" >&2
    failures=$((failures + 1))
  done < <(msiinfo export "$msi" "$name" | tr -d '\r' | awk -F'\t' -v table="$name" '
    NR == 1 { split($0, columns, "\t"); next }
    NR == 2 { count = split($0, types, "\t"); next }
    NR == 3 { next }
    {
      for (i = 1; i <= count; i++) {
        if (types[i] !~ /^[sSlL][0-9]+$/ || substr(types[i], 2) + 0 == 0) continue
        value = $i
        gsub(/[\200-\277]/, "", value)
        if (length(value) > substr(types[i], 2) + 0)
          printf "%s.%s of %s holds %d characters, its column holds %s\n", table, columns[i], $1,
                 length(value), substr(types[i], 2)
      }
    }')
done
# Every property is checked with the helper program's rule before anything is written, whoever
# shows the interface, and refused with a message naming it.
expect "the property check's actions" \
  "$(table CustomAction | awk -F'\t' '$1 ~ /Propert(y|ies)$/ && $1 !~ /^Apply/ { printf "%s|%s|%s;", $2, $3, $1 }')" \
  '1|FolderCheck|CheckProperties;19||RefuseProperty;'
for pair in InstallUISequence:ExecuteAction InstallExecuteSequence:InstallInitialize; do
  sequence=${pair%:*} next=${pair#*:}
  check=$(field $sequence CheckProperties 3) refuse=$(field $sequence RefuseProperty 3)
  expect "$sequence's property check" \
    "$(field $sequence CheckProperties 2)|$(field $sequence RefuseProperty 2)" \
    'NOT Installed|BadProperty'
  expect "$sequence's property check before $next" \
    "$((refuse > check && refuse < $(field $sequence $next 3)))" 1
done
((failures == 0)) && echo "check-package.sh: $msi is as expected"
exit $((failures > 0))
