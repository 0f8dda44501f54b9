#!/usr/bin/env bash
# Runs clang-tidy (the checks of .clang-tidy) over the portable sources of a clang build
# folder's compile commands: everything in src/ that the native lanes compile, which leaves
# out only the Win32 backend, the Windows programs' entries and the hook DLL. Exit 0 when
# clean, 1 with the findings, 2 when clang-tidy is missing.
#   scripts/check-analysis.sh BUILD-FOLDER
set -u
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:?usage: check-analysis.sh BUILD-FOLDER}
tidy=$(command -v run-clang-tidy || command -v run-clang-tidy-14 || true)
if [ -z "$tidy" ] || ! command -v clang-tidy >/dev/null; then
  echo "check-analysis: clang-tidy is not installed" >&2
  exit 2
fi
if [ ! -f "$build/compile_commands.json" ]; then
  echo "check-analysis: $build has no compile_commands.json" >&2
  exit 2
fi
jobs=$(nproc 2>/dev/null || echo 2)
out=$(mktemp)
trap 'rm -f "$out"' EXIT
"$tidy" -p "$build" -j "$jobs" -quiet "^$root/src/.*\\.cpp\$" >"$out" 2>&1
status=$?
# Findings, one line each, without the colours and the notes' context.
findings=$(sed 's/\x1b\[[0-9;]*m//g' "$out" | grep -E ': (warning|error): ' | sort -u)
if [ "$status" -ne 0 ] || [ -n "$findings" ]; then
  printf '%s\n' "$findings"
  [ -n "$findings" ] || tail -n 20 "$out"
  echo "clang-tidy: $(printf '%s\n' "$findings" | grep -c . ) finding(s) in the portable sources"
  exit 1
fi
echo "clang-tidy: the portable sources are clean"
