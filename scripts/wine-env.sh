# Wine harness, sourced by scripts/test.sh and scripts/run.sh.
#
#   dpc_wine_setup NAME   a fresh private prefix build/wine/NAME.<pid>, a display (its own Xvfb when
#                         DISPLAY is unset), one persistent wine server, a virtual desktop "shell";
#                         exports WINEPREFIX, WINEDEBUG, WINEDLLOVERRIDES and DISPLAY, and tears
#                         everything down when the calling script exits
#   dpc_wine ARGS...      runs a Windows program in that prefix, bounded (DPC_WINE_CALL_TIMEOUT s)
#   dpc_wine_small_drive LETTER MB
#                         a tmpfs of MB megabytes linked as drive LETTER: of the prefix, for
#                         disk-full tests; exports DPC_SMALL_DRIVE ("S:"); fails where this user may
#                         not mount
#   dpc_wine_teardown     ends the prefix's server and the Xvfb, removes the prefix (keeps it when
#                         DPC_KEEP_PREFIX=1)
#
# Every prefix is private to one run, so two runs on one machine never share a service manager.

DPC_ROOT=${DPC_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
DPC_WINE_LOADER=/usr/lib/wine/wine64
DPC_WINESERVER=/usr/lib/wine/wineserver
dpc_xvfb_pid=
dpc_own_prefix=
dpc_small_drive_mount=

dpc_log() { printf '[wine] %s\n' "$*" >&2; }

dpc_wine() {
  timeout -k 5 "${DPC_WINE_CALL_TIMEOUT:-60}" "$DPC_WINE_LOADER" "$@"
}

dpc_wineserver() {
  timeout -k 5 30 "$DPC_WINESERVER" "$@"
}

# Starts Xvfb on a display it picks itself (-displayfd), so parallel runs never race for a number.
dpc_start_xvfb() {
  local numberfile
  numberfile=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$numberfile" >/dev/null 2>&1 &
  dpc_xvfb_pid=$!
  local tries=0
  while [[ ! -s $numberfile ]]; do
    if ((++tries > 100)) || ! kill -0 "$dpc_xvfb_pid" 2>/dev/null; then
      dpc_log "Xvfb did not start"
      rm -f "$numberfile"
      return 1
    fi
    sleep 0.1
  done
  export DISPLAY=":$(tr -d '[:space:]' <"$numberfile")"
  rm -f "$numberfile"
}

dpc_wine_setup() {
  local name=${1:?prefix name}
  export WINEDEBUG=-all
  # No Mono or Gecko offline; their download prompts would hold up the boot and the programs. No
  # menu builder: Start-menu entries that installers create must not reach the host's desktop.
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  export WINEPREFIX="$DPC_ROOT/build/wine/$name.$$"
  # Wine's recycle bin and menu entries live under XDG_DATA_HOME: keep them in the prefix.
  export XDG_DATA_HOME="$WINEPREFIX/xdg-data"
  dpc_own_prefix=$WINEPREFIX
  trap dpc_wine_teardown EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM

  if [[ -z ${DISPLAY:-} ]]; then
    dpc_start_xvfb || return 1
  fi

  mkdir -p "$(dirname "$WINEPREFIX")"
  rm -rf "$WINEPREFIX"
  local started=$SECONDS
  # The loader creates the prefix itself; a folder made beforehand, or a server started before
  # the boot, leaves two service managers answering in turn.
  if ! timeout -k 5 120 "$DPC_WINE_LOADER" wineboot -i >/dev/null 2>&1; then
    dpc_log "wineboot -i failed in $WINEPREFIX"
    return 1
  fi
  # Wine's shell makes its trash folder in XDG_DATA_HOME but not XDG_DATA_HOME itself; without
  # it there is no recycle bin, and the folder moves keep every old folder where it was.
  mkdir -p "$XDG_DATA_HOME"
  # Kana, hangul and both Chinese scripts: Wine's own fonts have none, and a program asking for a
  # dialog or menu font shows boxes. Linking each interface font to the CJK font that setup.sh
  # installs gives real glyphs; programs read the links when they start, after the restart below.
  local font
  for font in Tahoma 'MS Shell Dlg' 'MS Shell Dlg 2' 'Microsoft Sans Serif' 'Segoe UI'; do
    dpc_wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
      /v "$font" /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f >/dev/null || {
      dpc_log "could not link the CJK font to $font"
      return 1
    }
  done
  # The boot's server runs with -p0: it ends, killing every service, as soon as the last program
  # exits. End it now (it saves the registry; waiting for it to go by itself costs 5 s), then
  # keep one server for the whole run.
  dpc_wineserver -k || true
  dpc_wineserver -w || true
  if ! dpc_wineserver -p; then
    dpc_log "wineserver -p failed"
    return 1
  fi
  # One virtual desktop for every program of the prefix: it has a tray, and test programs find
  # the controller's windows and message boxes only on their own desktop.
  dpc_wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d shell /f >/dev/null &&
    dpc_wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v shell /d 1024x768 /f >/dev/null ||
    {
      dpc_log "could not set the virtual desktop"
      return 1
    }
  dpc_log "prefix $WINEPREFIX ready in $((SECONDS - started)) s, DISPLAY=$DISPLAY"
}

dpc_wine_small_drive() {
  local letter=${1:?drive letter} megabytes=${2:?size in MB}
  local mountpoint="$WINEPREFIX/small-drive-${letter,,}"
  mkdir -p "$mountpoint"
  if ! mount -t tmpfs -o "size=${megabytes}m" tmpfs "$mountpoint" 2>/dev/null; then
    dpc_log "cannot mount a tmpfs here: no small drive"
    rmdir "$mountpoint"
    return 1
  fi
  dpc_small_drive_mount=$mountpoint
  ln -sfn "$mountpoint" "$WINEPREFIX/dosdevices/${letter,,}:"
  export DPC_SMALL_DRIVE="${letter^^}:"
}

dpc_wine_teardown() {
  if [[ -n $dpc_small_drive_mount ]]; then
    umount "$dpc_small_drive_mount" 2>/dev/null || true
    dpc_small_drive_mount=
  fi
  if [[ -n $dpc_own_prefix ]]; then
    WINEPREFIX=$dpc_own_prefix dpc_wineserver -k >/dev/null 2>&1 || true
    if [[ ${DPC_KEEP_PREFIX:-0} != 1 ]]; then
      rm -rf "$dpc_own_prefix"
    else
      dpc_log "kept $dpc_own_prefix"
    fi
    dpc_own_prefix=
  fi
  if [[ -n $dpc_xvfb_pid ]]; then
    kill "$dpc_xvfb_pid" 2>/dev/null || true
    wait "$dpc_xvfb_pid" 2>/dev/null || true
    dpc_xvfb_pid=
  fi
}
