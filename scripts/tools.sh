# Shared by the project's scripts (sourced, not run): installing what a Debian machine lacks
# for the native build and for the Windows lane, an X display of the script's own, and a
# Wine prefix. Expects $root.

say() { printf '== %s\n' "$*"; }

native_tools_present() {
  command -v g++ >/dev/null && command -v cmake >/dev/null && command -v make >/dev/null &&
    [ -f /usr/src/googletest/CMakeLists.txt ] && [ -f /usr/include/nlohmann/json.hpp ]
}

# The compiler, CMake, make, GoogleTest's sources and the JSON library of the native build;
# Ninja, which the presets use (make where it cannot be had), and clang-format, which checks
# the sources' formatting.
install_native_tools() {
  if ! command -v ninja >/dev/null || ! command -v clang-format >/dev/null; then
    install_packages "Ninja and clang-format" ninja-build clang-format ||
      say "Ninja or clang-format could not be installed"
  fi
  native_tools_present && return 0
  install_packages "the native build's tools" g++ cmake make googletest nlohmann-json3-dev ||
    return 1
  native_tools_present
}

# configure_preset PRESET [CMAKE ARGUMENT...]: cmake --preset PRESET with its generator, Ninja,
# or with make where Ninja is missing; a build folder made earlier with the other generator is
# configured anew (its cache and CMake's files removed, nothing else).
configure_preset() {
  local preset=$1 generator=Ninja folder="$root/build/$1" cached
  shift
  command -v ninja >/dev/null || generator="Unix Makefiles"
  if [ -f "$folder/CMakeCache.txt" ]; then
    cached=$(sed -n 's/^CMAKE_GENERATOR:INTERNAL=//p' "$folder/CMakeCache.txt")
    if [ "$cached" != "$generator" ]; then
      say "the $preset build folder was made for $cached: configuring it anew for $generator"
      rm -rf "$folder/CMakeCache.txt" "$folder/CMakeFiles" "$folder/host-tools"
    fi
  fi
  cmake --preset "$preset" -G "$generator" "$@"
}

# clang with libFuzzer's runtime, for the fuzzing lane.
fuzz_tools_present() {
  # Without the runtime, clang prints the bare file name back.
  command -v clang++ >/dev/null && command -v clang >/dev/null &&
    [ -f "$(clang++ -print-file-name=libclang_rt.fuzzer-x86_64.a 2>/dev/null)" ]
}

install_fuzz_tools() {
  # clang-tidy analyses the portable sources in the clang lane; without it that test is skipped.
  if ! command -v run-clang-tidy >/dev/null; then
    install_packages "clang-tidy" clang-tidy || say "clang-tidy could not be installed"
  fi
  fuzz_tools_present && return 0
  install_packages "clang and libFuzzer" clang libclang-rt-dev || return 1
  fuzz_tools_present
}

# A font with Chinese glyphs, so that Chinese texts are measured and drawn under Wine as on
# Windows, where the system has one.
cjk_font=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc

wine_tools_present() {
  command -v x86_64-w64-mingw32-g++-posix >/dev/null && command -v wine >/dev/null &&
    command -v Xvfb >/dev/null && command -v xauth >/dev/null && [ -e "$cjk_font" ]
}

# install_packages WHAT PACKAGE...: installs the Debian packages, or says why it cannot.
install_packages() {
  local what=$1
  shift
  if [ "$(id -u)" != 0 ] || ! command -v apt-get >/dev/null; then
    say "cannot install $what here (needs root and apt-get)"
    return 1
  fi
  say "installing $*"
  export DEBIAN_FRONTEND=noninteractive
  if ! apt-get update -q >/dev/null || ! apt-get install -y -q "$@" >/dev/null; then
    say "installing $what failed"
    return 1
  fi
}

install_wine_tools() {
  wine_tools_present && return 0
  install_packages "mingw-w64, Wine, Xvfb and a Chinese font" \
    g++-mingw-w64-x86-64-posix wine wine64 xvfb xauth fonts-wqy-microhei || return 1
  wine_tools_present
}

# NSIS, which makes the Windows installer; without it the Windows lane makes the ZIP only.
install_installer_tools() {
  command -v makensis >/dev/null && return 0
  install_packages "NSIS" nsis || return 1
  command -v makensis >/dev/null
}

# start_display WIDTHxHEIGHT: an Xvfb display on the first free number from 90, exported as
# DISPLAY once its socket is there (before the first Wine process: the first one fixes the
# display driver); its process id in xvfb_pid. When the server ends at once or its socket does
# not appear within 10 seconds it says why, exports nothing and fails, so that nothing goes on
# to run Wine without a display.
start_display() {
  local n log
  for n in $(seq 90 140); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] || break
  done
  log=$(mktemp)
  Xvfb ":$n" -screen 0 "${1}x24" -nolisten tcp >"$log" 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 1 100); do
    if [ -e "/tmp/.X11-unix/X$n" ]; then
      rm -f "$log"
      export DISPLAY=":$n"
      return 0
    fi
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$xvfb_pid" 2>/dev/null; then
    say "Xvfb on :$n did not open its socket /tmp/.X11-unix/X$n within 10 s"
    kill "$xvfb_pid" 2>/dev/null
  else
    say "Xvfb on :$n ended at its start; it said:"
    tail -n 5 "$log" | sed 's/^/   /'
  fi
  rm -f "$log"
  xvfb_pid=""
  return 1
}

# stop_wine: ends the Wine server of the prefix in use and the display start_display made.
stop_wine() {
  if [ -n "${xvfb_pid:-}" ]; then
    wineserver -k 2>/dev/null
    kill "$xvfb_pid" 2>/dev/null
  fi
}

# use_prefix FOLDER: the Wine prefix and a HOME inside FOLDER, created on first use. A null
# sound device gives Wine a capture endpoint and a mixer without any hardware.
use_prefix() {
  export WINEPREFIX="$1/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  export HOME="$1/home"
  mkdir -p "$HOME"
  echo 'pcm.!default { type null }' >"$HOME/.asoundrc"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    say "creating the Wine prefix"
    wineboot -i >/dev/null 2>&1
    wineserver -w
  fi
}
