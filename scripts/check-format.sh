#!/usr/bin/env bash
# Fails when a C++ source of the project is not as clang-format (with .clang-format) would
# write it, and names each such file. Run by the test command; mend with clang-format -i.
set -u
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root" || exit 2
format=${CLANG_FORMAT:-clang-format}
if ! command -v "$format" >/dev/null 2>&1; then
  echo "check-format: $format is not installed" >&2
  exit 2
fi
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t files < <(git ls-files -co --exclude-standard -- '*.cpp' '*.h')
else
  mapfile -t files < <(find src tests tools fuzz -name '*.cpp' -o -name '*.h' | sort)
fi
# One run over every file; each file that would change is named in the warnings.
output=$("$format" --dry-run --Werror "${files[@]}" 2>&1)
status=$?
mapfile -t unformatted < <(printf '%s\n' "$output" |
  sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: error: code should be clang-formatted.*/\1/p' | sort -u)
if [ "$status" -ne 0 ] && [ "${#unformatted[@]}" -eq 0 ]; then
  printf '%s\n' "$output" | head -n 5
  echo "check-format: $format failed"
  exit 2
fi
for file in "${unformatted[@]}"; do
  echo "not formatted: $file (clang-format -i $file)"
done
if [ "$status" -ne 0 ] || [ "${#unformatted[@]}" -gt 0 ]; then
  echo "${#unformatted[@]} of ${#files[@]} files are not formatted"
  exit 1
fi
echo "all ${#files[@]} files are formatted"
