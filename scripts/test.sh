#!/usr/bin/env bash
# Runs every test: installs what it needs, builds the native and the Windows presets, runs the
# native suites, the same suites as .exe under Wine (on a virtual display), and the native suites
# under the sanitizers. Ends non-zero when anything fails on either platform.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/install-deps.sh || exit 1

jobs=2
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

suite() {  # preset, ctest wrapper...
  local preset=$1; shift
  if run_step "$preset-configure" cmake --preset "$preset" &&
     run_step "$preset-build" cmake --build --preset "$preset" -j"$jobs"; then
    run_step "$preset-test" "$@" ctest --preset "$preset" --output-on-failure
    summaries+=("$(summary_of "$preset-test")")
  else
    summaries+=("[$preset] build failed")
  fi
}

suite linux
# Windows: the same suites as .exe under Wine; the window tests need an X display.
suite windows xvfb-run -a -s "-screen 0 1280x1024x24"
suite linux-asan

# The connection's tests (the connect worker and its time limit) under ThreadSanitizer.
if run_step linux-tsan-configure cmake --preset linux-tsan &&
   run_step linux-tsan-build cmake --build --preset linux-tsan -j"$jobs" --target test_connection; then
  run_step linux-tsan-test ctest --preset linux-tsan -R '^connection$' --output-on-failure
  summaries+=("$(summary_of linux-tsan-test)")
else
  summaries+=("[linux-tsan] build failed")
fi

# Each fuzz target for a bounded time from the committed seed corpus.
if run_step fuzz bash fuzz/run.sh "${VXT_FUZZ_SECONDS:-30}"; then
  summaries+=("[fuzz] all targets ran ${VXT_FUZZ_SECONDS:-30}s without a crash")
else
  summaries+=("[fuzz] FAILED (see build/logs/fuzz.log, inputs in build/fuzz/crashes)")
fi

echo
echo "================ Test summaries ================"
for s in "${summaries[@]}"; do echo "$s"; done
if [ "$status" -eq 0 ]; then echo "ALL TESTS PASSED"; else echo "SOME TESTS FAILED"; fi
exit "$status"
