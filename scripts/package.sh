#!/usr/bin/env bash
# Makes the two packages from the presets' own build trees (configured and built here if scripts/test.sh has not
# done it already, so nothing is compiled twice) and checks them the way a user meets them:
#   deb  build/default: the native preset, compiled with Debian's hardening flags (VW_DEB_FLAGS), stripped by
#        CPack, then veraway-edit_*.deb. lintian must report no error; the package must hold the programs, manual
#        pages, icons, desktop entry and launcher; it is installed with dpkg -i, the installed programs, pages
#        and desktop entry are tried from /usr, and it is removed again with dpkg -r.
#   zip  build/mingw: the MinGW cross build (Release), then veraway-edit-*-win64.zip. It must hold exactly the two
#        .exe files, README.txt and LICENSE, the programs may import only DLLs that Windows has, and the zip's
#        veraway-check.exe must run under Wine.
# Usage: scripts/package.sh [deb|zip|all]     (default all). The packages are left in build/packages/.
# Installing the .deb changes the machine: run it where that is wanted (CI, a developer's own machine, as root or
# with sudo). Exits non-zero on the first failed check.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root="$(pwd)"
what="${1:-all}"
case "$what" in
  deb | zip | all) ;;
  *) echo "usage: $0 [deb|zip|all]" >&2; exit 2 ;;
esac

scripts/install-deps.sh test

version="$(sed -n 's/^project(veraway_edit VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"
[[ -n "$version" ]] || { echo "package: no version in CMakeLists.txt" >&2; exit 1; }
out="$root/build/packages"
mkdir -p "$out"
sudo=()
[[ $(id -u) -ne 0 ]] && sudo=(sudo)

fail() {
  echo "package: FAILED: $*" >&2
  exit 1
}

# Whatever fails, nothing started here keeps running and the package does not stay installed.
started_pids=()
deb_installed=no
wine_started=no
stop_started() {
  local pid
  for pid in "${started_pids[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  started_pids=()
  if [[ $wine_started == yes ]]; then
    vw_wine_stop
  fi
  wine_started=no
}
cleanup() {
  stop_started
  if [[ $deb_installed == yes ]]; then
    "${sudo[@]}" dpkg -r veraway-edit >/dev/null 2>&1 || true
  fi
  deb_installed=no
}
trap cleanup EXIT
# shellcheck source=scripts/wine-env.sh
. scripts/wine-env.sh
# shellcheck source=scripts/configure.sh
. scripts/configure.sh
step() { echo "-- $*"; }

# Sample lists in a fresh folder named "$2" under "$1"; prints the folder.
make_lists() {
  local folder="$1/$2"
  mkdir -p "$folder"
  printf 'example.org\r\nnews.example.net\r\n' >"$folder/TrustFile_SafeSites.txt"
  printf 'https://example.com/docs/\r\n' >"$folder/TrustFile_SafeLinks.txt"
  echo "$folder"
}

# man renders the page "$1" (a name or a file for -l) without a warning from groff.
check_man_page() {
  local rendered warnings
  rendered="$(MANPAGER=cat MANWIDTH=80 man "$@" 2>/dev/null)" || fail "man $* does not render"
  warnings="$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -Tutf8 -Z "$@" 2>&1 >/dev/null)" || true
  [[ -z "$warnings" ]] || fail "man $*: $warnings"
  grep -q '^NAME' <<<"$rendered" || fail "man $*: no NAME section"
}

package_deb() {
  local build="$root/build/default"
  echo "== deb"
  vw_configure default >/dev/null
  cmake --build --preset default
  rm -f "$build"/*.deb
  (cd "$build" && cpack -G DEB >/dev/null)
  local debs=("$build"/veraway-edit_"$version"-*.deb)
  [[ ${#debs[@]} -eq 1 && -f "${debs[0]}" ]] || fail "cpack made no single .deb in $build"
  local deb="${debs[0]}"
  cp "$deb" "$out/"
  deb="$out/$(basename "$deb")"
  echo "built $deb"

  step "lintian"
  local report
  report="$(lintian --info --pedantic "$deb" 2>&1 | grep -v 'running with root privileges is not recommended' || true)"
  [[ -n "$report" ]] && echo "$report"
  if grep -q '^E:' <<<"$report"; then fail "lintian reports errors"; fi

  step "contents"
  local contents
  contents="$(dpkg-deb -c "$deb" | awk '{ print $6 }')"
  local want=(./usr/bin/veraway-edit ./usr/bin/veraway-edit-open ./usr/bin/veraway-check
    ./usr/share/man/man1/veraway-edit.1.gz ./usr/share/man/man1/veraway-edit-open.1.gz
    ./usr/share/man/man1/veraway-check.1.gz ./usr/share/applications/veraway-edit.desktop
    ./usr/share/doc/veraway-edit/copyright ./usr/share/doc/veraway-edit/changelog.Debian.gz
    ./usr/share/doc/veraway-edit/README.md.gz)
  local size
  for size in 16 32 48 64 128 256; do
    want+=("./usr/share/icons/hicolor/${size}x${size}/apps/veraway-edit.png")
  done
  local path
  for path in "${want[@]}"; do
    grep -qxF "$path" <<<"$contents" || fail "the package lacks $path"
  done
  dpkg-deb -f "$deb" Depends | grep -q 'libqt6widgets6' || fail "Depends lacks the Qt libraries (shlibdeps)"

  step "dpkg -i"
  if dpkg-query -W -f='${Status}' veraway-edit 2>/dev/null | grep -q "install ok installed"; then
    echo "note: veraway-edit was installed already; it is replaced, and removed at the end"
  fi
  deb_installed=yes
  "${sudo[@]}" dpkg -i "$deb"

  local tmp
  tmp="$(mktemp -d)"
  local lists
  lists="$(make_lists "$tmp" "fresh lists")"

  step "veraway-check from /usr/bin"
  [[ "$(command -v veraway-check)" == /usr/bin/veraway-check ]] || fail "veraway-check is not /usr/bin's"
  local text status
  text="$(/usr/bin/veraway-check --version)" || fail "veraway-check --version exits $?"
  grep -qF "$version" <<<"$text" || fail "veraway-check --version says '$text', not $version"
  echo "veraway-check --version: $text"
  # Approved by the site entry in line 1: exit 0, and the entry is named.
  text="$(cd "$lists" && /usr/bin/veraway-check test --format jsonl https://www.example.org/page)" ||
    fail "veraway-check test of an approved address exits $?"
  if ! { grep -Eq '"approved": ?true' <<<"$text" && grep -Eq '"line": ?1\b' <<<"$text" &&
    grep -Eq '"entry": ?"example\.org"' <<<"$text"; }; then
    fail "veraway-check test: unexpected verdict $text"
  fi
  # Not approved: exit 1.
  status=0
  (cd "$lists" && /usr/bin/veraway-check test https://elsewhere.invalid/) >/dev/null || status=$?
  [[ $status -eq 1 ]] || fail "veraway-check test of an unapproved address exits $status, not 1"
  # A folder with neither list (a typo, say) is an error that names both paths, not an empty verdict.
  status=0
  text="$(/usr/bin/veraway-check test --dir "$tmp" https://www.example.org/ 2>&1 >/dev/null)" || status=$?
  [[ $status -eq 2 ]] || fail "veraway-check test on a folder without lists exits $status, not 2"
  grep -qF "TrustFile_SafeSites.txt" <<<"$text" && grep -qF "TrustFile_SafeLinks.txt" <<<"$text" ||
    fail "veraway-check test on a folder without lists says '$text'"
  # The README ships with the section on enforcing the lists through Squid.
  zgrep -q '^## Enforce the lists on a network' /usr/share/doc/veraway-edit/README.md.gz ||
    fail "the installed README lacks \"Enforce the lists on a network\""
  # The Squid example ships under the documentation folder, and Squid's own parser takes it.
  local example=/usr/share/doc/veraway-edit/examples/squid-veraway.conf
  [[ -f "$example" ]] || fail "the Squid example $example is not installed"
  if command -v squid >/dev/null 2>&1; then
    printf 'acl localnet src 127.0.0.1/32\nhttp_port 127.0.0.1:3128\ninclude %s\n' "$example" >"$tmp/squid.conf"
    squid -k parse -f "$tmp/squid.conf" >"$tmp/squid-parse.log" 2>&1 ||
      fail "squid -k parse refuses the installed example: $(tail -3 "$tmp/squid-parse.log")"
  fi

  step "manual pages"
  local page
  for page in veraway-edit veraway-edit-open veraway-check; do
    [[ "$(man -w "$page")" == "/usr/share/man/man1/$page.1.gz" ]] || fail "man finds no installed $page(1)"
    check_man_page "$page"
  done

  step "desktop entry, icons, launcher"
  desktop-file-validate /usr/share/applications/veraway-edit.desktop || fail "desktop-file-validate"
  local exec_line
  exec_line="$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' /usr/share/applications/veraway-edit.desktop)"
  [[ "$(command -v "$exec_line")" == "/usr/bin/$exec_line" ]] || fail "the desktop entry runs $exec_line"
  for size in 16 32 48 64 128 256; do
    file "/usr/share/icons/hicolor/${size}x${size}/apps/veraway-edit.png" | grep -q "PNG image data, $size x $size," ||
      fail "the ${size}x${size} icon is not a $size-pixel PNG"
  done
  ! ldd /usr/bin/veraway-edit | grep -q 'not found' || fail "veraway-edit lacks a library: $(ldd /usr/bin/veraway-edit)"
  # On an X display of its own: the launcher starts the installed editor in the list file's folder, the folder's
  # name passes the password prompt, the lists are loaded (their first-load backups appear) and the editor
  # waits for the administrator.
  local display
  display="$(vw_wine_free_display)" || fail "no free X display number"
  Xvfb ":$display" -screen 0 1024x800x24 -nolisten tcp >/dev/null 2>&1 &
  started_pids+=($!)
  for _ in $(seq 100); do
    [[ -S "/tmp/.X11-unix/X$display" ]] && break
    sleep 0.1
  done
  DISPLAY=":$display" /usr/bin/veraway-edit-open "$lists/TrustFile_SafeSites.txt" >/dev/null 2>&1 &
  local editor_pid=$!
  started_pids+=("$editor_pid")
  # The prompt's window is looked up again for every try: a window found while Qt is still setting the prompt up
  # may be gone by the time it is typed into.
  local prompt="" checked=no
  for _ in $(seq 10); do
    for _ in $(seq 50); do
      prompt="$(DISPLAY=":$display" xdotool search --onlyvisible --name '^Please Enter Password' 2>/dev/null |
        tail -n 1)" || true
      [[ -n "$prompt" ]] && break
      sleep 0.1
    done
    [[ -n "$prompt" ]] || fail "the installed editor shows no password prompt"
    if [[ $checked == no ]]; then
      [[ "$(readlink "/proc/$editor_pid/exe")" == /usr/bin/veraway-edit ]] ||
        fail "veraway-edit-open started $(readlink "/proc/$editor_pid/exe"), not /usr/bin/veraway-edit"
      [[ "$(readlink "/proc/$editor_pid/cwd")" == "$lists" ]] ||
        fail "the editor runs in $(readlink "/proc/$editor_pid/cwd"), not in the list file's folder"
      checked=yes
    fi
    DISPLAY=":$display" timeout 5 xdotool windowfocus --sync "$prompt" 2>/dev/null || true
    DISPLAY=":$display" timeout 5 xdotool type --window "$prompt" "$(basename "$lists")" 2>/dev/null || true
    DISPLAY=":$display" timeout 5 xdotool key --window "$prompt" Return 2>/dev/null || true
    for _ in $(seq 30); do
      [[ -f "$lists/TrustFile_SafeLinks-BK.txt" ]] && break 2
      sleep 0.1
    done
  done
  if ! cmp -s "$lists/TrustFile_SafeSites.txt" "$lists/TrustFile_SafeSites-BK.txt" ||
    ! cmp -s "$lists/TrustFile_SafeLinks.txt" "$lists/TrustFile_SafeLinks-BK.txt"; then
    fail "the editor made no backups: the password was refused or the lists were not loaded"
  fi
  sleep 0.5
  kill -0 "$editor_pid" 2>/dev/null || fail "the editor ended after the password instead of waiting"
  stop_started

  step "dpkg -r"
  "${sudo[@]}" dpkg -r veraway-edit
  deb_installed=no
  for path in /usr/bin/veraway-edit /usr/bin/veraway-edit-open /usr/bin/veraway-check \
    /usr/share/applications/veraway-edit.desktop /usr/share/man/man1/veraway-check.1.gz; do
    [[ ! -e $path ]] || fail "$path is left after dpkg -r"
  done
  rm -rf "$tmp"
  echo "deb: all checks passed"
}

package_zip() {
  local build="$root/build/mingw"
  echo "== zip"
  vw_configure mingw >/dev/null
  cmake --build --preset mingw
  local name="veraway-edit-$version-win64"
  rm -f "$build/$name.zip"
  (cd "$build" && cpack -G ZIP >/dev/null)
  [[ -f "$build/$name.zip" ]] || fail "cpack made no $name.zip"
  cp "$build/$name.zip" "$out/"
  local zip="$out/$name.zip"
  echo "built $zip"

  step "contents"
  local unpacked="$build/unpacked"
  rm -rf "$unpacked"
  mkdir -p "$unpacked"
  (cd "$unpacked" && cmake -E tar xf "$zip")
  local listing
  listing="$(cd "$unpacked" && find . -type f | sort)"
  local expected
  expected="$(printf './%s/%s\n' "$name" LICENSE "$name" README.txt "$name" veraway-check.exe "$name" veraway-edit.exe)"
  [[ "$listing" == "$expected" ]] || fail "the zip holds
$listing
instead of
$expected"

  step "no DLL beside the programs"
  local exe dll
  for exe in veraway-edit.exe veraway-check.exe; do
    while read -r dll; do
      case "${dll,,}" in
        kernel32.dll | user32.dll | gdi32.dll | comctl32.dll | uxtheme.dll | msvcrt.dll | advapi32.dll | \
          shell32.dll | ole32.dll | comdlg32.dll | api-ms-win-*.dll) ;;
        *) fail "$exe needs $dll, which Windows does not have" ;;
      esac
    done < <(x86_64-w64-mingw32-objdump -p "$unpacked/$name/$exe" | sed -n 's/^\s*DLL Name: //p')
  done

  step "veraway-check.exe under Wine"
  wine_started=yes
  vw_wine_start "$build"
  local text
  text="$(wine "$unpacked/$name/veraway-check.exe" --version | tr -d '\r')" ||
    fail "veraway-check.exe --version exits $?"
  grep -qF "$version" <<<"$text" || fail "veraway-check.exe --version says '$text', not $version"
  echo "veraway-check.exe --version: $text"
  local tmp lists status=0
  tmp="$(mktemp -d)"
  lists="$(make_lists "$tmp" lists)"
  (cd "$lists" && wine "$unpacked/$name/veraway-check.exe" test https://www.example.org/page) >/dev/null ||
    status=$?
  [[ $status -eq 0 ]] || fail "veraway-check.exe test of an approved address exits $status"
  rm -rf "$tmp"
  stop_started
  echo "zip: all checks passed"
}

[[ "$what" == zip ]] || package_deb
[[ "$what" == deb ]] || package_zip
echo "packages in $out:"
ls -l "$out"
