#!/usr/bin/env bash
# Builds the users' package (cmake --build --preset windows --target package) and checks it as a
# user gets it: the zip's checksum file matches, the zip holds the program and the guide and
# nothing else, the program is byte for byte the one the Windows suites ran, the guide is plain
# ASCII with CR LF line ends, and the unpacked program starts under Wine, shows its window and
# ends cleanly on a close request, saving its settings beside itself.
# Needs an X display (the test command runs it under xvfb-run). Ends non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=$root/build/windows
tested_exe=$build/src/win32/VXTVannikorde.exe
title="BRAXO Tarnwell podaci uzivo"

log() { echo "check-package.sh: $*"; }
fail() { echo "check-package.sh: FAILED: $*" >&2; exit 1; }

[ -n "${DISPLAY:-}" ] || fail "no X display (run it under xvfb-run -a)"
[ -f "$tested_exe" ] || fail "$tested_exe is missing: build and test the windows preset first"
tested_sum=$(sha256sum "$tested_exe" | cut -d' ' -f1)

cmake --build --preset windows -j"$(nproc)" --target package

# The package's name as CPack was configured to write it.
name=$(sed -n 's/^set(CPACK_PACKAGE_FILE_NAME "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
[ -n "$name" ] || fail "no CPACK_PACKAGE_FILE_NAME in $build/CPackConfig.cmake"
zip=$build/$name.zip
[ -f "$zip" ] || fail "the package $zip was not made"
[ -f "$zip.sha256" ] || fail "the checksum file $zip.sha256 was not made"
(cd "$build" && sha256sum --check --strict --quiet "$name.zip.sha256") ||
  fail "$zip.sha256 does not match $zip"
log "$name.zip: checksum file matches"

# The program has not changed since the suites ran it (the package step rebuilds nothing).
[ "$(sha256sum "$tested_exe" | cut -d' ' -f1)" = "$tested_sum" ] ||
  fail "$tested_exe changed while the package was made"

unpacked=$build/package-check
rm -rf "$unpacked"
mkdir -p "$unpacked"
(cd "$unpacked" && cmake -E tar xf "$zip") || fail "$zip cannot be unpacked"
contents=$(cd "$unpacked" && find . -mindepth 1 | sort | tr '\n' ' ')
expected="./$name ./$name/UPUTSTVO.txt ./$name/VXTVannikorde.exe "
[ "$contents" = "$expected" ] || fail "$zip holds [$contents], not [$expected]"
folder=$unpacked/$name
cmp "$folder/VXTVannikorde.exe" "$tested_exe" ||
  fail "the program in $zip differs from the tested $tested_exe"
log "$name.zip: holds VXTVannikorde.exe, identical to the tested one, and UPUTSTVO.txt"

guide=$folder/UPUTSTVO.txt
[ -s "$guide" ] || fail "UPUTSTVO.txt is empty"
LC_ALL=C grep -q -P '[^\x20-\x7e\r\n]' "$guide" && fail "UPUTSTVO.txt holds bytes other than printable ASCII"
LC_ALL=C grep -q -P '(?<!\r)$' "$guide" && fail "UPUTSTVO.txt has a line that does not end with CR LF"
[ "$(tail -c 2 "$guide" | od -An -c | tr -d ' ')" = '\r\n' ] || fail "UPUTSTVO.txt does not end with CR LF"
log "UPUTSTVO.txt: plain ASCII, CR LF line ends"

# Started from its unpacked folder under Wine, the program shows its window; a close request
# (taskkill without /f posts WM_CLOSE, as the window's close button does) ends it with exit
# code 0 after it has saved its settings beside itself.
wine_run=$root/cmake/wine-run.sh
prefix=$build/.wine
"$wine_run" "$prefix" "$folder/VXTVannikorde.exe" >"$unpacked/wine.log" 2>&1 &
program_pid=$!
stop_program() {
  if kill -0 "$program_pid" 2>/dev/null; then
    WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
    wait "$program_pid" 2>/dev/null || true
  fi
}
trap stop_program EXIT

# xdotool matches names regardless of case; the caption itself is then compared exactly.
window=$(timeout 90 xdotool search --sync --onlyvisible --limit 1 --name "^$title\$" 2>/dev/null) ||
  fail "the unpacked program's window \"$title\" did not appear within 90 s (see $unpacked/wine.log)"
caption=$(xdotool getwindowname "$window")
[ "$caption" = "$title" ] || fail "the unpacked program's window is captioned \"$caption\", not \"$title\""
log "the unpacked program shows its window \"$title\" (X window $window)"

"$wine_run" "$prefix" taskkill /im VXTVannikorde.exe >>"$unpacked/wine.log" 2>&1 ||
  fail "taskkill could not send the close request (see $unpacked/wine.log)"
for _ in $(seq 300); do
  kill -0 "$program_pid" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$program_pid" 2>/dev/null && fail "the unpacked program did not end within 30 s of the close request"
rc=0
wait "$program_pid" || rc=$?
[ "$rc" -eq 0 ] || fail "the unpacked program ended with exit code $rc after the close request"
grep -q '^VXTSERVER=' "$folder/VXTVannikorde.ini" 2>/dev/null ||
  fail "the unpacked program did not save VXTVannikorde.ini beside itself when it closed"
log "the unpacked program closed cleanly (exit code 0, settings saved beside it)"
echo "package: $zip OK"
