#!/usr/bin/env bash
# Benchmark: our client (native, and the .exe under Wine) side by side with nc and socat against
# the same loopback reply server, in one run. Prints one table of medians and ratios.
#
#   bash bench/run.sh [runs]      (default 200 exchanges for the small reply)
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
runs=${1:-200}
scripts/install-deps.sh hyperfine >/dev/null || exit 1
cmake --preset linux -DVXT_BUILD_BENCH=ON >/dev/null && cmake --build --preset linux -j"$(nproc)" --target vxt_fetch vxt_reply_server >/dev/null || exit 1
have_wine=0
if cmake --preset windows -DVXT_BUILD_BENCH=ON >/dev/null && cmake --build --preset windows -j"$(nproc)" --target vxt_fetch >/dev/null; then
  have_wine=1
fi

work=$root/build/bench
rm -rf "$work"; mkdir -p "$work/native" "$work/wine"
fetch=$root/build/linux/bench/vxt_fetch
fetch_exe=$root/build/windows/bench/vxt_fetch.exe
wine_run="$root/cmake/wine-run.sh $root/build/windows/.wine"
printf 'IZVJ 2 01-12-2026 31-12-2026 1 \r\n' > "$work/request"

servers=()
start_server() {  # size -> sets port
  "$root/build/linux/bench/vxt_reply_server" --port 0 --size "$1" > "$work/server-$1.txt" &
  servers+=($!)
  for _ in $(seq 50); do grep -q port "$work/server-$1.txt" && break; sleep 0.1; done
  port=$(awk '{print $2; exit}' "$work/server-$1.txt")
}
trap 'kill "${servers[@]}" 2>/dev/null; [ $have_wine = 1 ] && WINEPREFIX=$root/build/windows/.wine wineserver -k 2>/dev/null' EXIT

median() {  # hyperfine csv, command index -> median seconds
  # Counted from the row's end: a command that holds commas is quoted and spans several fields.
  awk -F, -v row=$(($2 + 2)) 'NR == row { print $(NF - 4) }' "$1"
}

# 1. A small text reply: the whole exchange, one process per exchange.
start_server 200; small=$port
if [ $have_wine = 1 ]; then
  # One Wine server for the whole run. Debian's wineserver ends as soon as its last process
  # does, so each process would start its own while the last one's is still going away: a
  # process then fails ("recvmsg: Connection reset by peer") once in some tens of runs, and the
  # timings would be Wine's server start-up as much as the exchange.
  WINEPREFIX=$root/build/windows/.wine wineserver -p >/dev/null 2>&1 &
  sleep 1
  $wine_run wineboot >/dev/null 2>&1  # the prefix exists before timing starts
fi
# Every command runs without a shell (-N): a shell's start would be most of a 3 ms exchange, and
# hyperfine can only estimate it. Debian 12's hyperfine (1.15) cannot feed a file to a command's
# standard input without a shell, so nc, whose input is empty there, sends no request: it closes
# its sending side at once, and the reply server answers the end of input as it answers the end
# of the request line. nc thus does a little less than our client, which sends its request.
cmds=("$fetch 127.0.0.1 $small 2 1 $work/native"
      "nc -N 127.0.0.1 $small")
[ $have_wine = 1 ] && cmds+=("$wine_run $fetch_exe 127.0.0.1 $small 2 1 Z:$work/wine")
hyperfine -N --warmup 10 --runs "$runs" --export-csv "$work/small.csv" "${cmds[@]}" >/dev/null ||
  exit 1
small_ours=$(median "$work/small.csv" 0); small_nc=$(median "$work/small.csv" 1)
[ $have_wine = 1 ] && small_wine=$(median "$work/small.csv" 2)

# 2. A large reply (64 MiB): throughput into a file.
size=$((64 * 1024 * 1024))
start_server $size; large=$port
# socat reads the request from its file and writes the reply into another itself, so that no
# shell stands between hyperfine and the exchange here either.
cmds=("$fetch 127.0.0.1 $large 2 1 $work/native"
      "socat -t 60 OPEN:$work/request,rdonly!!OPEN:$work/socat-large.out,wronly,creat,trunc TCP:127.0.0.1:$large")
[ $have_wine = 1 ] && cmds+=("$wine_run $fetch_exe 127.0.0.1 $large 2 1 Z:$work/wine")
hyperfine -N --warmup 1 --runs 10 --export-csv "$work/large.csv" "${cmds[@]}" >/dev/null || exit 1
mibps() { awk -v s="$1" 'BEGIN { printf "%.0f", 64 / s }'; }
large_ours=$(median "$work/large.csv" 0); large_socat=$(median "$work/large.csv" 1)
[ $have_wine = 1 ] && large_wine=$(median "$work/large.csv" 2)

# 3. Peak resident memory receiving 1 MiB and 256 MiB.
start_server $((1024 * 1024)); m1=$port
start_server $((256 * 1024 * 1024)); m256=$port
peak() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1; }
mem1=$(peak "$fetch" 127.0.0.1 $m1 2 1 "$work/native")
mem256=$(peak "$fetch" 127.0.0.1 $m256 2 1 "$work/native")
if [ $have_wine = 1 ]; then
  wmem1=$(peak $wine_run "$fetch_exe" 127.0.0.1 $m1 2 1 "Z:$work/wine")
  wmem256=$(peak $wine_run "$fetch_exe" 127.0.0.1 $m256 2 1 "Z:$work/wine")
fi

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
ms() { awk -v s="$1" 'BEGIN { printf "%.2f ms", s * 1000 }'; }
echo
echo "| Measure | Ours (native) | Ours (.exe under Wine) | Reference | Native vs reference | Target |"
echo "|---|---|---|---|---|---|"
echo "| 200-byte reply, whole exchange, median of $runs | $(ms "$small_ours") | ${small_wine:+$(ms "$small_wine")} | nc $(ms "$small_nc") (sends no request) | $(ratio "$small_ours" "$small_nc") x nc | <= 1.5 x |"
echo "| 64 MiB reply, throughput, median of 10 | $(mibps "$large_ours") MiB/s | ${large_wine:+$(mibps "$large_wine") MiB/s} | socat $(mibps "$large_socat") MiB/s | $(ratio "$large_socat" "$large_ours") of socat's throughput | >= 0.5 |"
echo "| peak RSS, 1 MiB reply | $((mem1)) KiB | ${wmem1:-} KiB | | | |"
echo "| peak RSS, 256 MiB reply | $((mem256)) KiB | ${wmem256:-} KiB | | growth $((mem256 - mem1)) KiB | <= 2048 KiB |"
