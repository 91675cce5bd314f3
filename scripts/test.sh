#!/usr/bin/env bash
# The one test command: installs what is missing, then builds every preset and runs every suite: native (g++,
# with the Qt back end offscreen, compiled with Debian's hardening flags), AddressSanitizer +
# UndefinedBehaviorSanitizer (clang, with the bounded fuzz run), and the Windows build under Wine; then checks
# the .deb and the .zip (scripts/package.sh, which installs the .deb and removes it again). Each configuration is
# compiled once: the .deb is made from the native tree, the .zip from the Windows one. Tests run two at a time
# (the test presets' jobs); those that share something (the Wine desktop, Squid) are kept apart by their
# RESOURCE_LOCK. The native suite runs while the Windows tree compiles, and the Windows suite (which mostly
# waits on Wine and the X server) while the sanitizer tree compiles; each log is printed when it ends. The
# compiler is called through ccache when it is installed. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

# Each stage is announced with the seconds since the start, so a slow stage shows in the log.
stage() { echo "== $* (at ${SECONDS} s)"; }

scripts/install-deps.sh test

stage format
files=$(git ls-files 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'bench/*.cpp' 'bench/*.h' 'fuzz/*.cpp' 2>/dev/null || true)
if [[ -n "$files" ]]; then
  # shellcheck disable=SC2086
  clang-format --dry-run --Werror $files
fi

# shellcheck source=scripts/configure.sh
. scripts/configure.sh

# A suite that mostly waits (on Squid's reloads, on Wine and the X server) runs in the background while the
# next tree compiles; its log is printed when it is waited for, and a failure there fails the run.
background=()
trap 'for pid in "${background[@]}"; do kill "$pid" 2>/dev/null || true; done' EXIT
finish_suite() {
  local name=$1 pid=$2 log=$3 status=0
  stage "$name tests: waiting for them"
  wait "$pid" || status=$?
  cat "$log"
  if [[ $status -ne 0 ]]; then
    echo "The $name tests failed (exit status $status); the log is above and in $log." >&2
    exit "$status"
  fi
}

stage "default (its tests run while the Windows build compiles)"
vw_configure default
cmake --build --preset default
default_log=build/default/ctest.log
ctest --preset default >"$default_log" 2>&1 &
default_tests=$!
background+=("$default_tests")

stage "mingw (Windows build; its tests under Wine run while the asan tree builds)"
# shellcheck source=scripts/wine-env.sh
. scripts/wine-env.sh
vw_configure mingw
cmake --build --preset mingw
vw_wine_start build/mingw
wine_log=build/mingw/ctest-under-wine.log
ctest --preset mingw >"$wine_log" 2>&1 &
wine_tests=$!
background+=("$wine_tests")
# A later failure ends the suites in the background, and then Wine.
trap 'for pid in "${background[@]}"; do kill "$pid" 2>/dev/null || true; done; vw_wine_stop' EXIT

stage asan
vw_configure asan
cmake --build --preset asan
# Both native suites start a real Squid: one at a time.
finish_suite default "$default_tests" "$default_log"
ctest --preset asan

finish_suite "mingw (under Wine)" "$wine_tests" "$wine_log"
vw_wine_stop
trap - EXIT

stage "headless only (VW_GUI=none): configured, and its build graph checked without compiling"
# Its targets are the default build's minus the Qt ones, compiled with the same commands, so only CMake can differ.
cmake --preset default -B build/none -DVW_GUI=none -DVW_WERROR=ON >/dev/null
cmake --build build/none -- -n >/dev/null

stage "packages (.deb from build/default checked by lintian and installed, .zip from build/mingw under Wine)"
scripts/package.sh
stage "all passed"
