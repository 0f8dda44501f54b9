#!/usr/bin/env bash
# The Win32 backend through clang's thread safety analysis, with mingw-w64's headers: no Linux
# lane compiles it, and the Windows lane's gcc does not check the annotations. The flags are
# the Windows lane's (CMakeLists.txt). Usage: win32-lock-check.sh CLANG++ SOURCE_ROOT.
# Exits 2 (skipped) where mingw-w64 is missing.
set -u
clang=$1
root=$2
gxx=$(command -v x86_64-w64-mingw32-g++-posix || command -v x86_64-w64-mingw32-g++) || {
  echo "mingw-w64 is missing: the Win32 backend is not checked"
  exit 2
}
# mingw-w64's C++ search list, less gcc's private headers: clang brings its own, and they go
# before the C library's so that libstdc++'s #include_next finds the C headers after them.
cxx=()
c=()
while read -r dir; do
  dir=$(realpath -m "$dir")
  case $dir in
  */include/c++ | */include/c++/*) cxx+=(-isystem "$dir") ;;
  */lib/gcc/*/include | */lib/gcc/*/include-fixed) ;;
  *) c+=(-isystem "$dir") ;;
  esac
done < <("$gxx" -x c++ -E -v /dev/null 2>&1 >/dev/null |
  sed -n '/^#include <...> search starts here:/,/^End of search list./{//!p}')
if [ ${#cxx[@]} -eq 0 ] || [ ${#c[@]} -eq 0 ]; then
  echo "cannot tell mingw-w64's include folders from $gxx"
  exit 1
fi
status=0
for source in "$root"/src/backend/win32/*.cpp; do
  "$clang" --target=x86_64-w64-mingw32 -nostdinc "${cxx[@]}" \
    -isystem "$("$clang" -print-resource-dir)/include" "${c[@]}" -fsyntax-only -std=c++20 \
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion -Wthread-safety -Werror \
    -DUNICODE -D_UNICODE -D_WIN32_WINNT=0x0601 -DWIN32_LEAN_AND_MEAN -DNOMINMAX \
    -I"$root/src" "$source" || status=1
done
exit $status
