#!/usr/bin/env bash
# kestrane.exe from the portable ZIP alone (no WINEPATH, no QT_PLUGIN_PATH) under Wine on a private
# Xvfb display: the main dialog opens, and one wrap is done through it with the keyboard (xdotool).
# The wrapped file is checked (type tag, version, MD5 trailer by md5sum). A screenshot of the main
# dialog is left beside the ZIP (dialog-check.png) for a person to look at.
#   tests/windows/dialog_check.sh build-windows/kestrane-<version>-win64.zip
set -euo pipefail
zip=$(readlink -f "$1")
shot=$(dirname "$zip")/dialog-check.png
work=$(mktemp -d /tmp/kestrane-dialog-check.XXXXXX)
xvfb_pid=
cleanup() {
  wineserver -k 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "dialog check: $*" >&2; import -window root "$shot" 2>/dev/null || true; exit 1; }

unzip -q "$zip" -d "$work"
program=$(find "$work" -name kestrane.exe)
export WINEPREFIX=$work/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset WINEPATH QT_PLUGIN_PATH QT_QPA_PLATFORM
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
PATH=$PATH:/usr/lib/wine

exec 3< <(Xvfb -displayfd 1 -screen 0 1280x1024x24 -noreset -nolisten tcp 2>/dev/null & echo "pid $!")
read -r _ xvfb_pid <&3
read -r display <&3 || fail "Xvfb did not start"
export DISPLAY=:$display
"$wine" wineboot -i >/dev/null 2>&1

# The source: a brand file, wrapped with version 1.0 into brand.conf.wrp beside it.
mkdir -p "$work/fw"
printf '[brand]\nname=acme\n' >"$work/fw/brand.conf"
source_path="Z:${work//\//\\}\\fw\\brand.conf"

(cd "$work/fw" && "$wine" "$program" >"$work/out.log" 2>&1) &

window() { # $1: name pattern; prints the newest visible window of that name
  for _ in $(seq 1 300); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | tail -1)
    [ -n "$id" ] && { echo "$id"; return; }
    sleep 0.2
  done
  return 1
}
keys() { xdotool windowactivate --sync "$1" 2>/dev/null || xdotool windowfocus --sync "$1"; shift; xdotool "$@"; }

# No company key file beside the program: said once in a box, then the main dialog shows.
box=$(window '^kestrane$') || fail "no message box about the missing company key file"
keys "$box" key Return
dialog=$(window '^Kestrane\(v') || fail "the main dialog did not open"
sleep 1
import -window root "$shot"
