#!/usr/bin/env bash
# The Windows tests under Wine: the core's tests (CTest, with the build's wine-run as emulator), then
# kestrane-cli.exe against the Linux program (same bytes).
#   tests/windows/run_tests.sh WINDOWS_BUILD_DIR LINUX_BUILD_DIR
set -euo pipefail
windows=$(cd "$1" && pwd)
linux=$(cd "$2" && pwd)
export WINEPREFIX=${WINEPREFIX:-$windows/wine}
wineserver=$(command -v /usr/lib/wine/wineserver64 wineserver | head -1)

# The prefix is made once (its first start is slow); its System32 gets the tar.exe stand-in.
[ -f "$WINEPREFIX/system.reg" ] || "$windows/wine-run" wineboot -i
cp "$windows/tests/windows/tar.exe" "$WINEPREFIX/drive_c/windows/system32/tar.exe"
# One Wine server for all the test programs, in place of any left in this prefix, ended at the end.
# Wine's own services are started first, away from CTest's pipes: a service that held a test
# program's output open would keep CTest waiting for its end.
"$wineserver" -k 2>/dev/null || true
"$wineserver" -p
"$windows/wine-run" wineboot >/dev/null 2>&1 </dev/null
trap '"$wineserver" -k || true' EXIT

# One test program at a time: on Windows the profile is the registry, which every test program in
# the prefix shares (on Linux each test has a profile folder of its own), so that a test that sets
# the encrypt mode would change the mode of another running beside it.
ctest --test-dir "$windows" --output-on-failure --no-tests=error
cmake --build "$linux" --target windows_same_bytes_test
KESTRANE_WINDOWS_BUILD=$windows "$linux/tests/windows/windows_same_bytes_test"
