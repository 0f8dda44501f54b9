#!/usr/bin/env bash
# Runs a Windows program under Wine, in the prefix inside the Windows build folder. CTest
# calls it for every Windows test program; scripts/test.sh prepares the prefix and the X
# display first.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$root/build/windows/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
wine "$@"
status=$?
# A program that Wine could not start says nothing of its own: say what happened.
[ $status -eq 0 ] || echo "wine-run: $(basename "${1:-?}") exited with status $status" >&2
exit $status
