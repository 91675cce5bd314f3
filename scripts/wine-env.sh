# Sourceable helper for running the Windows build under Wine on a headless machine.
#
#   . scripts/wine-env.sh
#   vw_wine_start build/mingw     # Xvfb if there is no display, a prefix of the build's own, wineboot once
#   ctest --preset mingw
#   vw_wine_stop                  # ends the wineserver of that prefix and the Xvfb started here, if any
#
# Everything stays inside the build folder (the prefix is <build>/wineprefix), so builds never share or spoil a
# prefix. Meant for bash; it changes nothing until a function is called.

# The Xvfb this helper started (empty when the display was there already).
VW_WINE_XVFB_PID="${VW_WINE_XVFB_PID:-}"

# Prints the number of the first display in :90..:199 with neither a lock file nor a socket.
vw_wine_free_display() {
  local n
  for ((n = 90; n < 200; n++)); do
    if [[ ! -e "/tmp/.X${n}-lock" && ! -e "/tmp/.X11-unix/X${n}" ]]; then
      echo "${n}"
      return 0
    fi
  done
  return 1
}

# True when $DISPLAY names an X server that answers.
vw_wine_display_alive() {
  [[ -n "${DISPLAY:-}" ]] || return 1
  if command -v xdpyinfo >/dev/null 2>&1; then
    xdpyinfo >/dev/null 2>&1
  else
    local n="${DISPLAY#:}"
    n="${n%%.*}"
    [[ -S "/tmp/.X11-unix/X${n}" ]]
  fi
}

# vw_wine_start <build folder>: exports DISPLAY, WINEPREFIX, WINEDEBUG and WINEDLLOVERRIDES.
vw_wine_start() {
  local build="${1:?usage: vw_wine_start <build folder>}"
  mkdir -p "${build}" || return 1
  build="$(cd "${build}" && pwd)" || return 1

  if ! vw_wine_display_alive; then
    local n tries
    n="$(vw_wine_free_display)" || {
      echo "wine-env: no free X display number" >&2
      return 1
    }
    Xvfb ":${n}" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    VW_WINE_XVFB_PID=$!
    export DISPLAY=":${n}"
    for ((tries = 0; tries < 100; tries++)); do
      [[ -S "/tmp/.X11-unix/X${n}" ]] && break
      if ! kill -0 "${VW_WINE_XVFB_PID}" 2>/dev/null; then
        echo "wine-env: Xvfb :${n} did not start" >&2
        VW_WINE_XVFB_PID=""
        return 1
      fi
      sleep 0.1
    done
  fi

  export WINEPREFIX="${build}/wineprefix"
  export WINEDEBUG=-all
  # No Mono or Gecko installer dialogs: the tests need neither.
  export WINEDLLOVERRIDES="mscoree,mshtml="
  if [[ ! -f "${WINEPREFIX}/.vw-booted" ]]; then
    mkdir -p "${WINEPREFIX}"
    if ! wineboot -i >/dev/null 2>&1; then
      echo "wine-env: wineboot -i failed for ${WINEPREFIX}" >&2
      return 1
    fi
    # Xvfb runs no window manager: Wine draws the title bars and frames itself, as Windows would, and
    # handles activation itself instead of waiting (two seconds a window) for a manager that never answers.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1 || true
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1 || true
    wineserver -w || true
    touch "${WINEPREFIX}/.vw-booted"
  fi
  vw_wine_small_drive "${build}" || true
  return 0
}

# The small drive's mount point (empty when none is mounted here).
VW_WINE_SMALL_DRIVE_DIR="${VW_WINE_SMALL_DRIVE_DIR:-}"

# vw_wine_small_drive <build folder>: a 256 KiB tmpfs mounted at <build>/small-drive and mapped to drive S: in
# the prefix, for the tests of a disk that fills up during a save; exports VW_SMALL_DRIVE=S:\. Needs the
# right to mount (root); without it the drive is not made and those tests say so and skip.
vw_wine_small_drive() {
  local dir="${1:?usage: vw_wine_small_drive <build folder>}/small-drive"
  mkdir -p "${dir}" || return 1
  if ! mountpoint -q "${dir}"; then
    mount -t tmpfs -o size=256k vw-small-drive "${dir}" 2>/dev/null || {
      echo "wine-env: no small drive (cannot mount a tmpfs here)" >&2
      return 1
    }
  fi
  VW_WINE_SMALL_DRIVE_DIR="${dir}"
  ln -sfn "${dir}" "${WINEPREFIX}/dosdevices/s:"
  export VW_SMALL_DRIVE="S:\\"
}

# vw_wine_stop: ends the prefix's wineserver (and its programs), then the Xvfb started by vw_wine_start.
# Never fails, so it is safe in an EXIT trap under `set -e` and leaves the script's own exit status alone.
vw_wine_stop() {
  if [[ -n "${WINEPREFIX:-}" ]]; then
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
  fi
  if [[ -n "${VW_WINE_SMALL_DRIVE_DIR:-}" ]]; then
    umount -l "${VW_WINE_SMALL_DRIVE_DIR}" 2>/dev/null || true
    VW_WINE_SMALL_DRIVE_DIR=""
    unset VW_SMALL_DRIVE
  fi
  if [[ -n "${VW_WINE_XVFB_PID:-}" ]]; then
    kill "${VW_WINE_XVFB_PID}" 2>/dev/null || true
    wait "${VW_WINE_XVFB_PID}" 2>/dev/null || true
    VW_WINE_XVFB_PID=""
  fi
  return 0
}
