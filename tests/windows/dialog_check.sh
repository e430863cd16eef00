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

# The source: a brand file, wrapped into brand.conf.wrp beside it.
mkdir -p "$work/fw"
printf '[brand]\nname=acme\n' >"$work/fw/brand.conf"

window() { # $1: name pattern; prints the newest visible window of that name
  local id
  for _ in $(seq 1 300); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | tail -1)
    [ -n "$id" ] && { echo "$id"; return; }
    sleep 0.2
  done
  return 1
}
keys() { # $1: window, then xdotool's words
  local id=$1
  shift
  xdotool windowfocus --sync "$id" "$@"
}
start() { (cd "$work/fw" && exec "$wine" "$program" "$@" >>"$work/out.log" 2>&1) & program_pid=$!; }
ended() { for _ in $(seq 1 150); do kill -0 "$program_pid" 2>/dev/null || return 0; sleep 0.2; done; return 1; }

# 1. No arguments: no company key file beside the program is said once in a box, then the main
#    dialog shows (its title carries the version from the program's version record).
start
box=$(window '^kestrane$') || fail "no message box about the missing company key file"
keys "$box" key Return
dialog=$(window '^Kestrane\(v') || fail "the main dialog did not open"
sleep 2
import -window root "$shot"
keys "$dialog" key --delay 300 alt+f e # File, Exit
ended || fail "the main dialog did not close"

# 2. One wrap through the dialogs: the version dialog asks, the version is typed, "Wrapping" is
#    pressed, and the two message boxes are answered.
start -wrapping brand brand.conf
dialog=$(window '^Input version$') || fail "the version dialog did not appear"
keys "$dialog" type 1.0
keys "$dialog" key Tab space
for message in "wrapping file success" "Wrapping success"; do
  box=$(window '^kestrane$') || fail "no message box: $message"
  keys "$box" key Return
  sleep 0.5
done
ended || fail "the program did not end after the wrap"

wrapped=$work/fw/brand.conf.wrp
[ -f "$wrapped" ] || fail "no brand.conf.wrp"
size=$(stat -c %s "$wrapped")
[ "$(head -c 8 "$wrapped")" = BRD0PLAN ] || fail "brand.conf.wrp: not a plain brand file"
[ "$(dd if="$wrapped" bs=1 skip=12 count=3 2>/dev/null)" = 1.0 ] || fail "brand.conf.wrp: not version 1.0"
[ "$(head -c $((size - 16)) "$wrapped" | md5sum | cut -c1-32)" = "$(tail -c 16 "$wrapped" | od -An -tx1 | tr -d ' \n')" ] ||
  fail "brand.conf.wrp: the MD5 trailer does not match"
echo "dialog check passed; screenshot of the main dialog: $shot"
