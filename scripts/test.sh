#!/usr/bin/env bash
# The one test command: installs what is missing, then builds every preset and runs every suite: native (g++,
# with the Qt back end offscreen, compiled with Debian's hardening flags), AddressSanitizer +
# UndefinedBehaviorSanitizer (clang, with the bounded fuzz run), and the Windows build under Wine; then checks
# the .deb and the .zip (scripts/package.sh, which installs the .deb and removes it again). Each configuration is
# compiled once: the .deb is made from the native tree, the .zip from the Windows one. Tests run two at a time
# (the test presets' jobs); those that share something (the Wine desktop, Squid) are kept apart by their
# RESOURCE_LOCK. The compiler is called through ccache when it is installed. Exits non-zero on any failure.
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

for preset in default asan; do
  stage "$preset"
  vw_configure "$preset"
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done

stage "headless only (VW_GUI=none): configured, and its build graph checked without compiling"
# Its targets are the default build's minus the Qt ones, compiled with the same commands, so only CMake can differ.
cmake --preset default -B build/none -DVW_GUI=none -DVW_WERROR=ON >/dev/null
cmake --build build/none -- -n >/dev/null

stage "mingw (Windows build, tests under Wine)"
# shellcheck source=scripts/wine-env.sh
. scripts/wine-env.sh
vw_configure mingw
cmake --build --preset mingw
vw_wine_start build/mingw
trap vw_wine_stop EXIT
ctest --preset mingw
vw_wine_stop
trap - EXIT

stage "packages (.deb from build/default checked by lintian and installed, .zip from build/mingw under Wine)"
scripts/package.sh
stage "all passed"
