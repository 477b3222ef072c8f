#!/usr/bin/env bash
# Builds the users' package (cmake --build --preset windows --target package) and checks it as a
# user gets it: the zip's checksum file matches and names the zip alone, nothing else lies beside
# the two, the zip holds the program and the guide and nothing else, the program is byte for byte
# the one the Windows suites ran, hardened (stack protector, ASLR with high entropy, DEP),
# stripped, importing exactly KERNEL32, USER32, GDI32 and msvcrt (no CryptoAPI function) and
# dated at the source date, the zip's entries carry the source date, fixed permissions and no
# owner ids, the guide is plain ASCII with CR LF line ends, and the unpacked program starts under
# Wine, shows its window and ends cleanly on a close request, saving its settings beside itself.
# Last, the same sources are built again in another folder (a copy of the checkout, so that a
# folder name or a build time in the program or the zip shows) and must give the same program
# and the same zip, byte for byte; that build is configured with the tests, and its package step
# must have built the program alone.
# Needs an X display (the test command runs it under xvfb-run). Ends non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=$root/build/windows
tested_exe=$build/src/win32/VXTVannikorde.exe
title="BRAXO Tarnwell podaci uzivo"

log() { echo "check-package.sh: $*"; }
fail() { echo "check-package.sh: FAILED: $*" >&2; exit 1; }

# The DLLs that the program imports are exactly Windows' known DLLs that it needs from its start:
# the system loads them before WinMain's first line can restrict the DLL search, and each of them
# only from the system folder. Nothing of the compiler's run time (libstdc++, libgcc, winpthread)
# and no CryptoAPI function, whose DLLs would be looked for in the program's folder first.
check_imports() {
  local imports dlls expected crypt
  imports=$(x86_64-w64-mingw32-objdump -p "$1")
  dlls=$(sed -n 's/^\tDLL Name: //p' <<<"$imports" | LC_ALL=C sort | tr '\n' ' ')
  expected=$(printf '%s\n' KERNEL32.dll USER32.dll GDI32.dll msvcrt.dll | LC_ALL=C sort | tr '\n' ' ')
  [ "$dlls" = "$expected" ] || fail "$1 imports [${dlls% }], not exactly [${expected% }]"
  crypt=$(awk '/^\tDLL Name: / { dll = $3 } dll && $NF ~ /^Crypt/ { print dll "!" $NF }' <<<"$imports" |
    tr '\n' ' ')
  [ -z "$crypt" ] || fail "$1 imports CryptoAPI functions: ${crypt% }"
}

[ -n "${DISPLAY:-}" ] || fail "no X display (run it under xvfb-run -a)"
[ -f "$tested_exe" ] || fail "$tested_exe is missing: build and test the windows preset first"
tested_sum=$(sha256sum "$tested_exe" | cut -d' ' -f1)

cmake --build --preset windows -j"$(nproc)" --target package

# The package's name: the project's name and version, as the build was configured.
cache_value() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
version=$(cache_value CMAKE_PROJECT_VERSION)
[ -n "$version" ] || fail "no CMAKE_PROJECT_VERSION in $build/CMakeCache.txt"
name=VXTVannikorde-$version-win64
zip=$build/$name.zip
[ -f "$zip" ] || fail "the package $zip was not made"
[ -f "$zip.sha256" ] || fail "the checksum file $zip.sha256 was not made"
(cd "$build" && sha256sum --check --strict --quiet "$name.zip.sha256") ||
  fail "$zip.sha256 does not match $zip"
# Nothing else beside the zip: only the zip and its checksum file, which names the zip alone (no
# folder of the build machine).
beside=$(cd "$build" && ls -d "$name"* | tr '\n' ' ')
[ "$beside" = "$name.zip $name.zip.sha256 " ] || fail "beside the zip lie [$beside], not only the zip and its checksum"
grep -qx "[0-9a-f]\{64\}  $name.zip" "$zip.sha256" || fail "$zip.sha256 is not one line naming $name.zip alone"
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

# --- The program users get -----------------------------------------------------------------
# The source date: the builder's SOURCE_DATE_EPOCH, else the last commit's time (as the build
# takes it, read here on its own so that a build that stamps something else shows).
if [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
  epoch=$SOURCE_DATE_EPOCH
else
  epoch=$(git log -1 --format=%ct 2>/dev/null) || epoch=315532800
fi
exe=$folder/VXTVannikorde.exe
u16() { od -An -t u2 -j "$2" -N 2 "$1" | tr -d ' '; }
u32() { od -An -t u4 -j "$2" -N 4 "$1" | tr -d ' '; }
pe=$(u32 "$exe" 60)
[ "$(od -An -c -j "$pe" -N 4 "$exe" | tr -d ' ')" = 'PE\0\0' ] || fail "$exe has no PE header"
stamp=$(u32 "$exe" $((pe + 8)))
[ "$stamp" = "$epoch" ] ||
  fail "the program's PE time stamp is $stamp ($(date -u -d "@$stamp")), not the source date $epoch ($(date -u -d "@$epoch"))"
# DllCharacteristics: HIGH_ENTROPY_VA 0x20, DYNAMIC_BASE 0x40, NX_COMPAT 0x100.
dll_characteristics=$(u16 "$exe" $((pe + 24 + 70)))
for flag in 0x20:HIGH_ENTROPY_VA 0x40:DYNAMIC_BASE 0x100:NX_COMPAT; do
  (( dll_characteristics & ${flag%%:*} )) ||
    fail "the program lacks ${flag#*:} (DllCharacteristics $(printf 0x%x "$dll_characteristics"))"
done
# Stripped: no COFF symbol table and no debug sections.
[ "$(u32 "$exe" $((pe + 12)))" = 0 ] && [ "$(u32 "$exe" $((pe + 16)))" = 0 ] ||
  fail "the program has a symbol table (it is not stripped)"
debug_sections=$(x86_64-w64-mingw32-objdump -h "$exe" | awk '$2 ~ /^\.debug/ { print $2 }' | tr '\n' ' ')
[ -z "$debug_sections" ] || fail "the program has debug sections: $debug_sections"
# Every source of the program was compiled with the stack protector and, optimised, with the
# fortified functions (which add checks only where a buffer's size is known when compiling), and
# the guard and the failure handlers are the program's own: libssp's (which seeds the guard
# through CryptoAPI before WinMain) is not linked in.
commands=$build/compile_commands.json
[ -f "$commands" ] || fail "$commands is missing: the build does not say how it compiled"
unhardened=$(awk -v src="$root/src/" '
  /"command":/ { command = $0 }
  /"file":/ && index($0, src) {
    if (command !~ / -fstack-protector-strong / || command !~ / -D_FORTIFY_SOURCE=2 / ||
        command !~ / -O[1-3s] /) { sub(/.*"file": *"/, ""); sub(/".*/, ""); print } }' "$commands")
[ -z "$unhardened" ] ||
  fail "compiled without -fstack-protector-strong, -D_FORTIFY_SOURCE=2 or optimisation: $(echo $unhardened)"
grep -q "\"file\": \"$root/src/win32/WinMain.cpp\"" "$commands" ||
  fail "$commands does not list the program's sources"
exe_strings=$(strings -n 6 "$exe")
! grep -q 'stack smashing detected' <<<"$exe_strings" ||
  fail "the program holds libssp's stack protector (its guard is seeded through CryptoAPI)"
check_imports "$exe"
# No folder of the build machine (the checkout, the build folder, a home folder) in the program.
leaked=$(grep -F -e "$root" -e "$build" -e /home/ -e /root/ -e /tmp/ <<<"$exe_strings" | head -3 || true)
[ -z "$leaked" ] || fail "the program holds paths of the build machine: $leaked"
log "VXTVannikorde.exe: stack protector, DllCharacteristics $(printf 0x%x "$dll_characteristics") (high-entropy ASLR, DEP), stripped, importing KERNEL32, USER32, GDI32 and msvcrt only, dated at the source date $epoch"

# --- The zip's entries ---------------------------------------------------------------------
# Each entry: dated at the source date (zip keeps UTC here, in 2-second steps, rounded up), no
# extra fields in the central directory or the local header (they would hold the builder's
# user and group ids or the files' own times), permissions 755 for the folder, 644 for files.
zip_time=$(TZ=UTC date -d "@$(((epoch + 1) / 2 * 2))" '+%Y %b %-d %H:%M:%S')
entries=0
while IFS='|' read -r entry modified extra mode offset; do
  entries=$((entries + 1))
  [ "$modified" = "$zip_time" ] || fail "$zip: $entry is dated $modified, not the source date $zip_time"
  [ "$extra" = 0 ] || fail "$zip: $entry has an extra field of $extra bytes (owner ids or file times)"
  local_extra=$(u16 "$zip" $((offset + 28)))
  [ "$local_extra" = 0 ] || fail "$zip: $entry's local header has an extra field of $local_extra bytes"
  case $entry in
    */) expected_mode=040755 ;;
    *) expected_mode=100644 ;;
  esac
  [ "$mode" = "$expected_mode" ] || fail "$zip: $entry has permissions $mode, not $expected_mode"
done < <(LC_ALL=C zipinfo -v "$zip" | awk '
  /^Central directory entry #/ { want_name = 1; next }
  want_name && NF && !/^-+$/ { name = $1; want_name = 0 }
  /offset of local header from start of archive:/ { offset = $NF }
  /file last modified on \(DOS date\/time\):/ { sub(/.*time\): */, ""); modified = $0 }
  /length of extra field:/ { extra = $5 }
  /Unix file attributes \(/ { mode = $4; gsub(/[()]/, "", mode)
    print name "|" modified "|" extra "|" mode "|" offset }')
[ "$entries" = 3 ] || fail "$zip: read $entries entries from zipinfo, not 3"
log "$name.zip: every entry dated $zip_time UTC, no extra fields (no owner ids), permissions fixed"

guide=$folder/UPUTSTVO.txt
[ -s "$guide" ] || fail "UPUTSTVO.txt is empty"
LC_ALL=C grep -q -P '[^\x20-\x7e\r\n]' "$guide" && fail "UPUTSTVO.txt holds bytes other than printable ASCII"
LC_ALL=C grep -q -P '(?<!\r)$' "$guide" && fail "UPUTSTVO.txt has a line that does not end with CR LF"
[ "$(tail -c 2 "$guide" | od -An -c | tr -d ' ')" = '\r\n' ] || fail "UPUTSTVO.txt does not end with CR LF"
log "UPUTSTVO.txt: plain ASCII, CR LF line ends"

# Started from its unpacked folder under Wine, the program shows its window and closes cleanly.
. scripts/program-window.sh
check_program_window "$folder" "$build/.wine"

# --- The same package from another folder, built later -------------------------------------
# A copy of the checkout (what git tracks or would track, as it is now, without .git: the copy
# takes the source date from SOURCE_DATE_EPOCH, as any builder without the history does) is
# configured like this build, and only the program and the package are built. A folder name,
# a build time or a file's own time that creeps into the program or the zip makes them differ.
repro=$root/build/reproduce
rm -rf "$repro"
mkdir -p "$repro/source"
git ls-files -z --cached --others --exclude-standard |
  tar --null --files-from=- --ignore-failed-read -cf - 2>/dev/null | tar -xf - -C "$repro/source" ||
  fail "the checkout could not be copied to $repro/source"
(
  cd "$repro/source"
  export SOURCE_DATE_EPOCH=$epoch
  # Configured with the tests, as a builder's clone is: the package step builds the program alone.
  cmake --preset windows \
    "-DVXT_DEFAULT_SERVER=$(cache_value VXT_DEFAULT_SERVER)" \
    "-DVXT_DEFAULT_PIN=$(cache_value VXT_DEFAULT_PIN)" >"$repro/build.log" 2>&1 &&
    cmake --build --preset windows -j"$(nproc)" --target package >>"$repro/build.log" 2>&1
) || fail "the copy in $repro/source did not build its package (see $repro/build.log)"
repro_build=$repro/source/build/windows
# The package step built what the zip holds and nothing else: no test program, no demo server.
built=$(cd "$repro_build" && find . -path ./CMakeFiles -prune -o \( -name '*.exe' -o -name '*.dll' \) -print | sort | tr '\n' ' ')
[ "$built" = "./src/win32/VXTVannikorde.exe " ] ||
  fail "the package step built more than the program: $built"
if ! cmp -s "$repro_build/src/win32/VXTVannikorde.exe" "$tested_exe"; then
  differing=$(cmp -l "$repro_build/src/win32/VXTVannikorde.exe" "$tested_exe" 2>&1 | head -5 | tr '\n' ';')
  fail "the program built again in $repro_build differs from $tested_exe (bytes: $differing)"
fi
cmp -s "$repro_build/$name.zip" "$zip" ||
  fail "the package built again in $repro_build differs from $zip"
log "built again from a copy in $repro: the same program and the same zip ($(cut -d' ' -f1 "$zip.sha256"))"
echo "package: $zip OK"
