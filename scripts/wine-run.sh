#!/usr/bin/env bash
# Runs a Windows program under Wine, in the prefix inside the Windows build folder. CTest
# calls it for every Windows test program; scripts/test.sh prepares the prefix and the X
# display first.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$root/build/windows/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
exec wine "$@"
