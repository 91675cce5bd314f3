# shellcheck shell=bash
# Sourceable: vw_configure PRESET configures a preset the way the test command and the packages want it:
# warnings as errors, and the compiler called through ccache when ccache is installed (a fresh machine builds
# the same without it). scripts/test.sh and scripts/package.sh configure through it, so the package step finds
# the tree the tests ran in as it was configured and builds nothing again.
vw_configure() {
  local preset="${1:?usage: vw_configure <preset>}"
  local args=(-DVW_WERROR=ON)
  if command -v ccache >/dev/null 2>&1; then
    args+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  fi
  cmake --preset "$preset" "${args[@]}"
}
