#!/usr/bin/env bash
# Builds the program and starts it on a fresh copy of demo/, so the repository's sample lists stay as they are.
# The password is the name of the folder the program runs in; this script prints it.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

cd "$repo"
scripts/install-deps.sh run
# A build folder of its own, so the test command's folders keep their settings.
cmake --preset default -B build/run -DBUILD_TESTING=OFF -DVW_BENCH=OFF >/dev/null
cmake --build build/run --target veraway-edit

work="$(mktemp -d "${TMPDIR:-/tmp}/veraway-demo.XXXXXX")/DemoLists"
mkdir -p "$work"
cp "$repo"/demo/TrustFile_*.txt "$work"/

if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "No display here: the window needs one (run this on a desktop, or start Xvfb and set DISPLAY)." >&2
  exit 1
fi

echo "Lists copied to: $work"
echo "Password to type at the prompt: DemoLists   (or Quit / Exit to leave)"
cd "$work"
exec "$repo/build/run/src/veraway-edit"
