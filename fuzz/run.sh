#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for a bounded time (default 30 s) from a copy
# of the committed seed corpus. A crash fails the run; its input is left in build/fuzz/crashes.
set -uo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
cmake --preset fuzz >/dev/null && cmake --build --preset fuzz -j"$(nproc)" --target fuzz_settings fuzz_first_line fuzz_input_buffer fuzz_dotted_address || exit 1
status=0
for target in settings first_line input_buffer dotted_address; do
  work=build/fuzz/work/$target
  mkdir -p "$work" build/fuzz/crashes
  cp -n fuzz/corpus/$target/* "$work"/ 2>/dev/null
  echo "=== fuzz_$target for ${seconds}s"
  build/fuzz/fuzz/fuzz_$target -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 \
    -artifact_prefix=build/fuzz/crashes/$target- "$work" 2>&1 | tail -n 12
  if [ "${PIPESTATUS[0]}" -ne 0 ]; then
    echo "=== fuzz_$target FAILED"
    status=1
  fi
done
exit $status
