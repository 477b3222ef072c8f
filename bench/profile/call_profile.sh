#!/usr/bin/env bash
# Where the window's time goes, per exchange and per 4096-byte block: which platform and window
# calls VXTVannikorde.exe makes (counted from a Wine relay trace of real clicks), what one call of
# each kind costs under the same Wine on the same virtual display (bench/profile/wine_call_costs.cpp),
# and, black-box, what the progress display and the per-block pump add to the minimal client.
# Rerun it after a change to the window's path for the "after" figures.
#
#   bash bench/profile/call_profile.sh
#
# Counts: the program runs with WINEDEBUG=+pid,+relay; four clicks are driven (two with a
# 200-byte reply, one with 512 KiB, one with 1 MiB). "Per exchange" is the second 200-byte click;
# "per block" is the 1 MiB click less the 512 KiB click, divided by the 128 blocks between them.
# Only the program's own calls count as calls (return address inside its image); every other
# relayed call is charged to the program's call that encloses it ("nested"). The relay trace
# slows the program tenfold and more, so it gives counts only, never times.
set -uo pipefail
source "$(dirname "$0")/../wine_bench_lib.sh"
trap bench_cleanup EXIT
out=$bench_dir/profile

bench_build || { bench_log "build failed"; exit 1; }
mkdir -p "$out"
machine=$(bench_machine)
bench_start || exit 1
exe=$windows_build/src/win32/VXTVannikorde.exe

# --- 1. Relay counts ------------------------------------------------------------------------
# The prefix's default leaves critical sections, TLS and SetLastError out of the trace; here
# they are counted like the rest.
wine reg add 'HKCU\Software\Wine\Debug' /v RelayExclude /t REG_SZ /d "" /f >/dev/null 2>&1
wineserver -w
bench_log "relay trace: 4 clicks (slow: the trace makes every call a few times dearer)"
bench_start_server 200 || exit 1
bench_window_env="WINEDEBUG=+pid,+relay" bench_start_window relay "$exe"
small_line=$(bench_first_line 200)
bench_drive --caption "$window_caption" --runs 2 --warmup 0 --poll-ms 20 --line "$small_line" \
  --timeout-ms 600000 >"$out/relay-drive.txt" || exit 1
for size in 524288 1048576; do
  bench_start_server $size || exit 1
  bench_drive --caption "$window_caption" --runs 1 --warmup 0 --poll-ms 20 --line "$end_line" \
    --timeout-ms 600000 >>"$out/relay-drive.txt" || exit 1
done
bench_stop_server
bench_close_window "$window_caption"
for _ in $(seq 300); do kill -0 "${window_pids[-1]}" 2>/dev/null || break; sleep 0.1; done
trace=$bench_dir/relay/stderr.txt

read -r base size < <(x86_64-w64-mingw32-objdump -p "$exe" |
  awk '/^ImageBase/ { b = $2 } /^SizeOfImage/ { s = $2 } END { print b, s }')
lo=$(printf '%016x' $((0x$base)))
hi=$(printf '%016x' $((0x$base + 0x$size)))
for click in 2 3 4; do
  awk -v lo="$lo" -v hi="$hi" -v click=$click -f "$root/bench/profile/relay_counts.awk" "$trace" \
    >"$out/click$click.tsv"
done

# --- 2. The cost of one call of each kind ---------------------------------------------------
bench_log "call costs (about 20 s)"
wine "$bench_dir/tools/vxt_wine_call_costs.exe" "$(winepath -w "$out")" >"$out/costs.tsv" ||
  { bench_log "vxt_wine_call_costs failed"; exit 1; }

# --- 3. Black box: the minimal client with the progress display and the pump, and ours -------
bench_log "black box: 200 bytes and 8 MiB, minimal client variants and the program"
blackbox() {  # name, caption, runs for 8 MiB, exe, args...
  local name=$1 caption=$2 runs=$3 program=$4
  shift 4
  bench_start_window "$name" "$program" "$@"
  bench_start_server 200 || exit 1
  bench_drive --caption "$caption" --runs 10 --warmup 2 --line "$small_line" >"$out/$name-200.txt" ||
    exit 1
  bench_start_server $((8 << 20)) || exit 1
  bench_drive --caption "$caption" --runs "$runs" --warmup 0 --poll-ms 5 --line "$end_line" \
    >"$out/$name-8m.txt" || exit 1
  bench_close_window "$caption"
}
blackbox bb-minimal "$minimal_caption" 3 "$windows_build/bench/vxt_minimal_client.exe" \
  "$bench_address" 2 1
blackbox bb-progress "$minimal_caption /progress" 3 "$windows_build/bench/vxt_minimal_client.exe" \
  "$bench_address" 2 1 /progress
blackbox bb-pump "$minimal_caption /progress /pump" 3 \
  "$windows_build/bench/vxt_minimal_client.exe" "$bench_address" 2 1 /progress /pump
blackbox bb-pump-only "$minimal_caption /pump" 3 "$windows_build/bench/vxt_minimal_client.exe" \
  "$bench_address" 2 1 /pump
blackbox bb-paced "$minimal_caption /progress60 /pump" 3 \
  "$windows_build/bench/vxt_minimal_client.exe" "$bench_address" 2 1 /progress60 /pump
blackbox bb-ours "$window_caption" 3 "$exe"
bench_stop_server

# --- Report ---------------------------------------------------------------------------------
# Relay name -> the cost row that prices it, and how many calls of that row one call is.
cat >"$out/prices.tsv" <<'EOF'
ws2_32.select	select 0 ms, data waiting	1
ws2_32.recv	recv 4096, data waiting	1
ws2_32.ioctlsocket	ioctlsocket FIONREAD, data waiting	1
ws2_32.socket	socket	1
ws2_32.connect	socket + bind + setsockopt + connect + getsockname + getpeername	1
ws2_32.shutdown	shutdown + closesocket	1
user32.PeekMessageA	PeekMessageA PM_REMOVE, empty queue	1
user32.GetQueueStatus	GetQueueStatus QS_ALLINPUT	1
user32.GetDlgItem	GetDlgItem	1
user32.SendMessageA[PBM_SETPOS]	SendMessage PBM_SETPOS, new position (the bar repaints at once)	1
user32.SendMessageA[PBM_GETRANGE]	SendMessage PBM_GETRANGE	1
user32.SendMessageA[PBM_SETRANGE32]	SendMessage PBM_SETRANGE32, same range	1
user32.SendMessageA[EM_REPLACESEL]	  of which EM_REPLACESEL	1
user32.SendMessageA[EM_SCROLLCARET]	  of which EM_SCROLLCARET	1
user32.GetWindowTextLengthW	GetWindowTextLengthW(log)	1
user32.EnableWindow	EnableWindow(button, TRUE)	1
user32.SetWindowTextA	ClearLog of a 3-line log: SetWindowTextA(log, "") + UpdateWindow	1
user32.GetFocus	GetFocus + GetActiveWindow	0.5
user32.GetActiveWindow	GetFocus + GetActiveWindow	0.5
KERNEL32.WriteFile	WriteFile 4096	1
KERNEL32.GetFileAttributesA	GetFileAttributesA	1
KERNEL32.CreateFileA	CreateFileA CREATE_ALWAYS + CloseHandle	1
KERNEL32.QueryPerformanceCounter	QueryPerformanceCounter	1
msvcrt._beginthreadex	std::thread start + join (the connect worker)	1
EOF

report() {
  awk -F'\t' -v mode="$1" '
    FILENAME ~ /costs.tsv$/ { cost[$1] = $2; next }
    FILENAME ~ /prices.tsv$/ { row[$1] = $2; factor[$1] = $3; next }
    FILENAME ~ /click2.tsv$/ { c2[$1 "\t" $2] = $3; next }
    FILENAME ~ /click3.tsv$/ { c3[$1 "\t" $2] = $3; next }
    FILENAME ~ /click4.tsv$/ { c4[$1 "\t" $2] = $3; next }
    # Calls that never leave user mode (the C runtime, heap, critical sections, TLS) are one row.
    function group(name) {
      if (name ~ /_(begin|end)threadex$/) return name
      if (name ~ /^(msvcrt|ucrtbase)\./ || name ~ /CriticalSection$/ || name ~ /\.Tls[GS]etValue$/)
        return "C runtime, heap, critical sections, TLS (user mode only)"
      return name
    }
    function per_block(k) { return ((k in c4 ? c4[k] : 0) - (k in c3 ? c3[k] : 0)) / 128 }
    function price(name) {
      if (!(name in row) || !(row[name] in cost)) return -1
      return cost[row[name]] * factor[name]
    }
    END {
      if (mode == "block" || mode == "exchange") {
        for (k in c2) if (k ~ /^(direct|nested)\t/) keys[k] = 1
        for (k in c3) if (k ~ /^(direct|nested)\t/) keys[k] = 1
        for (k in c4) if (k ~ /^(direct|nested)\t/) keys[k] = 1
        for (k in keys) {
          kind = k ~ /^direct/ ? "direct" : "nested"
          name = substr(k, length(kind) + 2)
          n = mode == "block" ? per_block(k) : (k in c2 ? c2[k] : 0)
          g = group(name)
          total[kind, g] += n
          if (kind == "direct") {
            names[g] = 1
            p = price(name)
            if (p >= 0) { priced[g] += p * n; has_price[g] = 1 }
          }
        }
        for (g in names) {
          n = total["direct", g]
          if (n < 0.05) continue
          printf "%s\t%s\t%s\t%s\t%.0f\n", g,
                 mode == "block" ? sprintf("%.2f", n) : sprintf("%d", n + 0.5),
                 has_price[g] ? sprintf("%.2f", priced[g] / n) : "",
                 has_price[g] ? sprintf("%.1f", priced[g]) : "", total["nested", g] / n
        }
      } else if (mode == "paint") {
        for (k in c2) if (k ~ /^paint\t/) roles[substr(k, 7)] = 1
        for (k in c4) if (k ~ /^paint\t/) roles[substr(k, 7)] = 1
        for (r in roles) {
          k = "paint\t" r
          printf "%s\t%d\t%.2f\n", r, (k in c2 ? c2[k] : 0), per_block(k)
        }
      }
    }' "$out/costs.tsv" "$out/prices.tsv" "$out/click2.tsv" "$out/click3.tsv" "$out/click4.tsv"
}
table() {  # header line, then rows sorted by the 4th column (us per block / exchange)
  echo "$1"
  echo "$2"
  sort -t$'\t' -k4,4gr -k2,2gr | awk -F'\t' '{ printf "| %s | %s | %s | %s | %s |\n", $1, $2, $3, $4, $5 }'
}
done_median() { awk '/^median/ { print $5 }' "$1"; }
block_us() {  # name: (8 MiB - 200 B) / 2047 blocks, in microseconds
  awk -v a="$(done_median "$out/$1-8m.txt")" -v b="$(done_median "$out/$1-200.txt")" \
    'BEGIN { printf "%.0f", (a - b) * 1000 / 2047 }'
}

echo
echo "Command: bash bench/profile/call_profile.sh"
echo "Machine: $machine"
echo
echo "Per 4096-byte block, the program's own calls (relay counts; price: the median of one call"
echo "of that kind in isolation, below):"
echo
report block | table "| Call | Calls per block | us per call | us per block | relayed calls nested per call |" \
  "|---|---|---|---|---|"
echo
echo "Per exchange (200-byte reply), the program's own calls:"
echo
report exchange | table "| Call | Calls | us per call | us per exchange | relayed calls nested per call |" \
  "|---|---|---|---|---|"
echo
echo "Repaints (WM_PAINT handled), by control:"
echo
echo "| Control | per exchange (200 B) | per block |"
echo "|---|---|---|"
report paint | sort | awk -F'\t' '{ printf "| %s | %s | %s |\n", $1, $2, $3 }'
echo
echo "Black box, the same driver (medians; per block = (8 MiB - 200 B) / 2047 blocks):"
echo
echo "| Client | 200 B click | 8 MiB click | us per block |"
echo "|---|---|---|---|"
for v in "bb-minimal:minimal client" "bb-progress:minimal + PBM_SETPOS per block" \
  "bb-pump:minimal + PBM_SETPOS + pump per block" "bb-pump-only:minimal + pump per block" \
  "bb-paced:minimal + PBM_SETPOS at most every 16 ms + pump per block" \
  "bb-ours:VXTVannikorde.exe"; do
  name=${v%%:*}
  echo "| ${v#*:} | $(done_median "$out/$name-200.txt") ms | $(done_median "$out/$name-8m.txt") ms | $(block_us "$name") |"
done
echo
echo "One call of each kind under this Wine (median of the samples, and their 10th percentile:"
echo "about what the call costs on an idle machine):"
echo
echo "| Call | us per call, median | 10th percentile |"
echo "|---|---|---|"
awk -F'\t' 'NR > 1 { printf "| %s | %s | %s |\n", $1, $2, $3 }' "$out/costs.tsv"
echo
echo "Raw counts: $out/click{2,3,4}.tsv; trace: $trace"
