#!/usr/bin/env bash
# The one test command: installs what is missing, then builds every preset and runs every suite: native (g++,
# with the Qt back end offscreen), AddressSanitizer + UndefinedBehaviorSanitizer (clang, with the bounded fuzz
# run), and the Windows build under Wine; then builds and checks the .deb and the .zip (scripts/package.sh, which
# installs the .deb and removes it again). Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

scripts/install-deps.sh test

echo "== format"
files=$(git ls-files 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'bench/*.cpp' 'bench/*.h' 'fuzz/*.cpp' 2>/dev/null || true)
if [[ -n "$files" ]]; then
  # shellcheck disable=SC2086
  clang-format --dry-run --Werror $files
fi

for preset in default asan; do
  echo "== $preset"
  cmake --preset "$preset" -DVW_WERROR=ON
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done

echo "== headless only (VW_GUI=none): configured, and its build graph checked without compiling"
# Its targets are the default build's minus the Qt ones, compiled with the same commands, so only CMake can differ.
cmake --preset default -B build/none -DVW_GUI=none -DVW_WERROR=ON >/dev/null
cmake --build build/none -- -n >/dev/null

echo "== mingw (Windows build, tests under Wine)"
# shellcheck source=scripts/wine-env.sh
. scripts/wine-env.sh
cmake --preset mingw -DVW_WERROR=ON
cmake --build --preset mingw
vw_wine_start build/mingw
trap vw_wine_stop EXIT
ctest --preset mingw
vw_wine_stop
trap - EXIT

echo "== packages (.deb checked by lintian and installed, .zip run under Wine)"
scripts/package.sh
