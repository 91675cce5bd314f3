#!/usr/bin/env bash
# Installs, with apt-get, whatever of the build and test tools is missing. Usage:
#   scripts/install-deps.sh run     # what building and running the program on Linux needs
#   scripts/install-deps.sh test    # everything the test command needs (both compilers, Qt, MinGW, Wine, Xvfb,
#                                   # and what builds and checks the packages: dpkg-dev, lintian, man-db, ...)
set -euo pipefail

run_packages=(g++ cmake ninja-build pkg-config qt6-base-dev libgl-dev libcli11-dev nlohmann-json3-dev libpsl-dev
  libidn2-dev publicsuffix libdtl-dev)
test_packages=("${run_packages[@]}" clang libclang-rt-14-dev clang-format googletest libbenchmark-dev
  mingw-w64 g++-mingw-w64-x86-64-posix wine wine64 xvfb xauth x11-utils
  dpkg-dev file lintian desktop-file-utils man-db xdotool
  squid curl python3 wrk  # the squid helper under a real Squid, and its load generator
  ccache)  # used by scripts/test.sh when present; CI builds the same without it

case "${1:-test}" in
  run) wanted=("${run_packages[@]}") ;;
  test) wanted=("${test_packages[@]}") ;;
  *) echo "usage: $0 run|test" >&2; exit 2 ;;
esac

missing=()
for package in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[[ $(id -u) -ne 0 ]] && sudo=(sudo)
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
