#!/usr/bin/env bash
# Runs every test: installs what it needs, builds the native and the Windows presets, runs the
# native suites, the same suites as .exe under Wine (on a virtual display), checks the users'
# package, and runs the native suites under the sanitizers. Ends non-zero when anything fails on
# either platform.
#
#   bash scripts/test.sh [STEP...]
#
# With steps named, only those run, and only their packages are installed: linux (the native
# suites), windows (the suites under Wine, one of them without a locale, the prefix's fonts, the
# users' package and the signed package), linux-asan,
# linux-tsan, fuzz. `bash scripts/test.sh linux` needs no Wine.
#
# Run it as the user who builds (it calls sudo for the package installs itself; as root it needs
# no sudo).
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
all_steps=(linux windows linux-asan linux-tsan fuzz)
steps=("$@")
((${#steps[@]})) || steps=("${all_steps[@]}")
groups=()
for step in "${steps[@]}"; do
  case $step in
    linux) groups+=(native) ;;
    windows) groups+=(windows) ;;
    linux-asan | linux-tsan | fuzz) groups+=(sanitizers) ;;
    *) echo "test.sh: unknown step $step (steps: ${all_steps[*]})" >&2; exit 2 ;;
  esac
done
chosen() { [[ " ${steps[*]} " == *" $1 "* ]]; }

bash scripts/check-build-owner.sh || exit 1
bash scripts/install-deps.sh "${groups[@]}" || exit 1
if chosen windows; then
  . cmake/wine-env.sh
  wine_locale_note
fi

jobs=$(nproc)
status=0
summaries=()

run_step() {  # name, command...
  local name=$1; shift
  echo "=== $name"
  local log="$root/build/logs/$name.log"
  mkdir -p "$root/build/logs"
  "$@" 2>&1 | tee "$log"
  local rc=${PIPESTATUS[0]}
  if [ "$rc" -ne 0 ]; then
    echo "=== $name FAILED (exit $rc)"
    status=1
  fi
  return "$rc"
}

summary_of() {  # name: the CTest summary lines of a step's log
  local log="$root/build/logs/$1.log"
  grep -E "tests passed|tests failed|Total Test time|\*\*\*Failed|\(Failed\)|\(Timeout\)|\(SEGFAULT\)|Not Run" "$log" |
    sed "s/^/[$1] /"
}

suite() {  # preset, ctest wrapper...; fails when the preset does not build
  local preset=$1; shift
  if run_step "$preset-configure" cmake --preset "$preset" &&
     run_step "$preset-build" cmake --build --preset "$preset" -j"$jobs"; then
    run_step "$preset-test" "$@" ctest --preset "$preset" -j"$jobs" --output-on-failure
    summaries+=("$(summary_of "$preset-test")")
  else
    summaries+=("[$preset] build failed")
    return 1
  fi
}

failure_of() {  # name: a failed step's own reason, else where its log is
  grep -m1 "FAILED" "$root/build/logs/$1.log" | sed "s/^/[$1] /" ||
    echo "[$1] FAILED (see build/logs/$1.log)"
}

wine_fonts() {  # prefix: the window's text and caption buttons are drawn with Wine's own fonts
  local fonts=$1/drive_c/windows/Fonts missing=()
  for font in tahoma.ttf marlett.ttf; do
    [ -f "$fonts/$font" ] || missing+=("$font")
  done
  if ((${#missing[@]})); then
    echo "FAILED: the Wine prefix $1 has no ${missing[*]} in drive_c/windows/Fonts"
    return 1
  fi
  echo "the Wine prefix $1 has tahoma.ttf and marlett.ttf"
}

chosen linux && suite linux
no_locale=(env -u LANG -u LANGUAGE -u LC_ALL -u LC_CTYPE)
without_locale() {  # the platform suite under Wine as a login without a locale runs it
  # Its scratch folders' names hold letters outside ASCII, which Wine can name only under a
  # UTF-8 locale: the scripts' own fallback (cmake/wine-env.sh) must give it one.
  local note
  note=$("${no_locale[@]}" sh -c '. cmake/wine-env.sh && wine_locale_note')
  [ -n "$note" ] || { echo "FAILED: the locale is UTF-8 even without LANG; the fallback is not shown"; return 1; }
  echo "$note"
  # No Wine server of an earlier step, started under the caller's locale, serves this step.
  WINEPREFIX=$root/build/windows/.wine wineserver -w
  "${no_locale[@]}" ctest --preset windows -R '^platform$' --output-on-failure
}

# Windows: the same suites as .exe under Wine; the window tests need an X display. Then the
# users' package, whose program must be the one these suites ran, and the signed package.
if ! chosen windows; then
  :
elif ! run_step windows-configure cmake --preset windows ||
     ! run_step windows-build cmake --build --preset windows -j"$jobs"; then
  summaries+=("[windows] build failed" "[package] not made: the windows preset did not build")
else
  suites_passed=1
  run_step windows-test xvfb-run -a -s "-screen 0 1280x1024x24" \
    ctest --preset windows -j"$jobs" --output-on-failure || suites_passed=0
  summaries+=("$(summary_of windows-test)")
  if run_step windows-without-locale without_locale; then
    summaries+=("[windows-without-locale] the platform suite passed under Wine with no locale set (LANG unset)")
  else
    summaries+=("$(failure_of windows-without-locale)")
  fi
  if run_step wine-fonts wine_fonts "$root/build/windows/.wine"; then
    summaries+=("[wine-fonts] the tests' Wine prefix has Tahoma and Marlett")
  else
    summaries+=("$(failure_of wine-fonts)")
  fi
  # The package check compares the zip's program with the one the suites ran: when they
  # failed, its OK does not stand for a tested program, and the summary says so.
  untested=""
  ((suites_passed)) || untested=" (NOT checked against passing Windows suites: they failed)"
  if run_step package xvfb-run -a -s "-screen 0 1280x1024x24" bash scripts/check-package.sh; then
    summaries+=("[package] $(grep -m1 '^package: ' "$root/build/logs/package.log" | cut -c10-)$untested")
  else
    summaries+=("$(failure_of package)")
  fi
  if run_step signing xvfb-run -a -s "-screen 0 1280x1024x24" bash scripts/check-signing.sh; then
    summaries+=("[signing] $(grep -m1 '^signing: ' "$root/build/logs/signing.log" | cut -c10-)$untested")
  else
    summaries+=("$(failure_of signing)")
  fi
fi
chosen linux-asan && suite linux-asan

# The connection's tests (the connect and its time limit) under ThreadSanitizer.
if ! chosen linux-tsan; then
  :
elif run_step linux-tsan-configure cmake --preset linux-tsan &&
   run_step linux-tsan-build cmake --build --preset linux-tsan -j"$jobs" --target test_connection; then
  run_step linux-tsan-test ctest --preset linux-tsan -j"$jobs" -R '^connection$' --output-on-failure
  summaries+=("$(summary_of linux-tsan-test)")
else
  summaries+=("[linux-tsan] build failed")
fi

# Each fuzz target for a bounded time from the committed seed corpus.
if ! chosen fuzz; then
  :
elif run_step fuzz bash fuzz/run.sh "${VXT_FUZZ_SECONDS:-30}"; then
  summaries+=("[fuzz] all targets ran ${VXT_FUZZ_SECONDS:-30}s without a crash")
else
  summaries+=("[fuzz] FAILED (see build/logs/fuzz.log, inputs in build/fuzz/crashes)")
fi

echo
echo "================ Test summaries ================"
for s in "${summaries[@]}"; do echo "$s"; done
if [ "$status" -eq 0 ]; then echo "ALL TESTS PASSED"; else echo "SOME TESTS FAILED"; fi
exit "$status"
