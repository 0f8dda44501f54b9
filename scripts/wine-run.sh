#!/usr/bin/env bash
# Runs a Windows program under Wine, in the prefix inside the Windows build folder. CTest
# calls it for every Windows test program; scripts/test.sh prepares the prefix and the X
# display first.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$root/build/windows/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# The program writes into files, not into CTest's pipes: a service that Wine starts on the
# program's behalf (device enumeration starts some lazily) inherits its output handles and
# outlives it, and would keep CTest waiting for the pipe to close long after the program
# ended.
out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
wine "$@" >"$out" 2>"$err" </dev/null
status=$?
# A test program always prints before it can fail. Nothing at all means Wine did not get it
# running (seen once in a few thousand starts on a loaded machine): start it once more.
if [ $status -ne 0 ] && [ ! -s "$out" ]; then
  echo "wine-run: $(basename "${1:-?}") printed nothing and exited with $status; starting it again" >&2
  cat "$err" >&2
  wine "$@" >"$out" 2>"$err" </dev/null
  status=$?
fi
cat "$out"
cat "$err" >&2
# A program that Wine could not start says nothing of its own: say what happened.
[ $status -eq 0 ] || echo "wine-run: $(basename "${1:-?}") exited with status $status" >&2
exit $status
