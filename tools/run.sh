#!/usr/bin/env bash
# Starts Kestrane as `make run` does:
#
#   tools/run.sh PROGRAM        (make run)
#
# With a display, PROGRAM opens its dialogs. Without one (no DISPLAY or WAYLAND_DISPLAY, Qt told
# to draw offscreen, or a display that does not answer) the dialogs cannot open: the command line
# is shown at work instead, in a temporary folder that is removed afterwards. Its exit status is
# that of the dialogs, or 0 when every step of the command line succeeded.
set -euo pipefail

program=${1:?usage: tools/run.sh PROGRAM}

has_display() {
    [[ -n ${DISPLAY:-} || -n ${WAYLAND_DISPLAY:-} ]] || return 1
    [[ ${QT_QPA_PLATFORM:-} != offscreen && ${QT_QPA_PLATFORM:-} != minimal ]]
}

# One step of the command line: what it does, the command as typed, its output.
step() {
    local what=$1
    shift
    printf '\n== %s\n$ %s\n' "$what" "$*"
    "$@"
}

show_command_line() {
    local kestrane
    kestrane=$(realpath "$program")
    # Global: the trap removes it when the script ends.
    folder=$(mktemp -d "${TMPDIR:-/tmp}/kestrane-run.XXXXXX")
    trap 'rm -rf "$folder"' EXIT
    cd "$folder"

    echo "No display: Kestrane's dialogs need one (a desktop, ssh -X, or a virtual one for"
    echo "screenshots: xvfb-run make run). Here is the command line at work instead, in $folder:"
    step "Generate a key file for the company Acme (random key digits)" \
        "$kestrane" -batch -genkey random -company Acme acme.wrp
    printf 'Camera tool 1.0\n' >tool.bin
    echo
    echo "(tool.bin: a sample file of $(stat -c %s tool.bin) bytes to wrap)"
    step "Wrap tool.bin into tool.bin.wrp (type RAW0, version 1.0) and encrypt it for Acme" \
        "$kestrane" -batch -wrapping raw -version 1.0 -key acme.wrp tool.bin
    step "Check the wrapped file: its header and MD5 trailer" \
        "$kestrane" -batch -info tool.bin.wrp
    step "Check the encrypted package: its header, body length and tag (with the company's key)" \
        "$kestrane" -batch -info tool.bin.wrp-Acme.enc -key acme.wrp
    echo
    echo "Every operation is listed by $program -help."
}

if has_display; then
    status=0
    "$program" || status=$?
    # 2: the dialogs did not open, as when the display does not answer.
    [[ $status -eq 2 ]] || exit "$status"
fi
show_command_line
