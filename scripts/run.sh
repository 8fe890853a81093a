#!/usr/bin/env bash
# Builds DurvinProofControl.exe and runs it under Wine as an operator would see it: in a virtual
# desktop with a tray, beside a demo install (settings file, product information, uninstall entry,
# settings ticket), with the stand-in "Durvin Proof Server" service installed and running.
# Uses the current DISPLAY, or its own Xvfb when there is none. Stays in the foreground until the
# controller exits (tray menu Exit) or Ctrl-C, then removes its private Wine prefix.
# DPC_RUN_SECONDS ends the demo after that many seconds (default: a day).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
windows_dir=${DPC_WINDOWS_DIR:-build/windows}
product_guid='{4B6C1E2A-7D35-4F0B-9A1C-2E8D5F3B7A61}'

bash scripts/setup.sh
mkdir -p build/logs
cmake --preset windows -B "$windows_dir" >build/logs/windows-configure.log 2>&1 ||
  { cat build/logs/windows-configure.log; exit 1; }
cmake --build "$windows_dir" -j "${DPC_JOBS:-2}" --target DurvinProofControl DurvinStandInService

# shellcheck source=wine-env.sh
source scripts/wine-env.sh
dpc_wine_setup run

# The demo install, as the product's installer would leave it.
install_dir="$WINEPREFIX/drive_c/Program Files/Durvin Proof"
control_dir="$install_dir/Control"
install_location='C:\Program Files\Durvin Proof'
mkdir -p "$control_dir/Tickets"
cp "$windows_dir/bin/DurvinProofControl.exe" "$control_dir/"
crlf() { sed 's/$/\r/'; }
crlf >"$control_dir/DurvinProofControl.ini" <<'INI'
[Control]
HideUpdater=0
HideServerConfiguration=0
HideClientStart=0
HidePopupMenu=0
[Restart]
ServerRestartEnabled=0
Day=0
Time=03:00:00
[Settings]
PMSettingsEnabled=1
WebProfilerEnabled=1
WebProfilerAddress=http://localhost:8080/
[Product]
Version=5.0
[Feedback]
Timer=0
INI
crlf >"$control_dir/DurvinProofControl.xml" <<XML
<?xml version="1.0" encoding="utf-8"?>
<product>
  <main>
    <productguid>$product_guid</productguid>
    <clientname>Durvin_Proof_Client.exe</clientname>
  </main>
</product>
XML
crlf >"$control_dir/Tickets/SYS_0000.xml" <<'XML'
<?xml version="1.0" encoding="windows-1252"?>
<Ticket>
  <System>
    <CountryCode type="int">1033</CountryCode>
  </System>
</Ticket>
XML

# The server's settings ticket, as the server keeps it: its five data folders (backslashes stored
# twice) and its application folder, which holds ProfileUpdater.xml with the product identifier.
# DPC_RUN_LANGUAGE picks the interface language (a locale identifier, e.g. 1031 or 1041).
server_dir="$WINEPREFIX/drive_c/Durvin Proof Server"
data_dir="$WINEPREFIX/drive_c/Durvin Data"
tickets_dir="$WINEPREFIX/drive_c/ProgramData/Durvin/Proof/Server/Tickets"
mkdir -p "$server_dir" "$tickets_dir"
for folder in "Reference Profiles" "Media Profiles" Jobs Output Temp; do
  mkdir -p "$data_dir/$folder"
  printf 'demo data of %s\r\n' "$folder" >"$data_dir/$folder/readme.txt"
done
mkdir -p "$data_dir/Jobs/2026-12" && printf 'job\r\n' >"$data_dir/Jobs/2026-12/job-0001.tif"
crlf >"$tickets_dir/SYS_0000.xml" <<XML
<?xml version="1.0" encoding="windows-1252"?>
<Ticket>
  <System>
    <CountryCode type="int">${DPC_RUN_LANGUAGE:-1033}</CountryCode>
    <ReferenceProfiles type="string">C:\\\\Durvin Data\\\\Reference Profiles</ReferenceProfiles>
    <PaperProfiles type="string">C:\\\\Durvin Data\\\\Media Profiles</PaperProfiles>
    <Job type="string">C:\\\\Durvin Data\\\\Jobs</Job>
    <Print type="string">C:\\\\Durvin Data\\\\Output</Print>
    <Temp type="string">C:\\\\Durvin Data\\\\Temp</Temp>
    <ApplicationFolder type="string">C:\\\\Durvin Proof Server</ApplicationFolder>
  </System>
</Ticket>
XML
crlf >"$server_dir/ProfileUpdater.xml" <<XML
<?xml version="1.0" encoding="windows-1252"?>
<ProfileUpdater>
  <productguid type="string">${product_guid:1:36}</productguid>
</ProfileUpdater>
XML
dpc_wine reg add "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$product_guid" \
  /v InstallLocation /d "$install_location" /f >/dev/null
dpc_wine reg add "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$product_guid" \
  /v DisplayName /d 'Durvin Proof' /f >/dev/null

standin="$windows_dir/bin/DurvinStandInService.exe"
dpc_wine "$standin" install normal
dpc_wine "$standin" start

cd "$control_dir"
timeout -k 5 "${DPC_RUN_SECONDS:-86400}" "$DPC_WINE_LOADER" ./DurvinProofControl.exe &
controller_pid=$!
cd "$root"

cat <<INFO

Durvin Proof Control is running in the Wine virtual desktop on DISPLAY=$DISPLAY.
  controller (wine) pid: $controller_pid${dpc_xvfb_pid:+
  Xvfb pid:              $dpc_xvfb_pid}
  prefix:                $WINEPREFIX
  demo install:          $control_dir
  screenshot:            DISPLAY=$DISPLAY import -window root shot.png
  server service:        WINEPREFIX=$WINEPREFIX $DPC_WINE_LOADER sc query "Durvin Proof Server"
Stop with Ctrl-C (or Exit in the tray menu); the prefix and the Xvfb go with it.

INFO
wait "$controller_pid" || true
