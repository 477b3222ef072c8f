# Shared by bench/window.sh and bench/profile/call_profile.sh (sourced, not run): builds what the window
# benchmarks need, and starts and ends a private virtual display, a private Wine prefix, the
# loopback reply server on the window's fixed port 8026, and the windows under test. Everything
# started here is ended by its own process id (or, for Wine, by this prefix's own server).
#
# The reply server listens on a loopback address of its own (VXT_BENCH_ADDRESS, default
# 127.0.86.26), so that a demo server on 127.0.0.1:8026 or a test's server on another address of
# 127.0.0.0/8 neither answers the windows nor is disturbed by them.

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$root/cmake/wine-env.sh"
bench_dir=$root/build/bench-window
bench_address=${VXT_BENCH_ADDRESS:-127.0.86.26}
bench_port=8026
windows_build=$root/build/windows
reply_server=$root/build/linux/bench/vxt_reply_server
driver_exe=$bench_dir/tools/vxt_window_driver.exe
window_caption="BRAXO Tarnwell podaci uzivo"
minimal_caption="VXT minimal client"
begin_line="Pocetak prijema podataka...sacekajte kraj prenosa..."
end_line="Prijem podataka zavrsen"

xvfb_pid=""
server_pid=""
window_pids=()

bench_log() { echo "${0##*/}: $*" >&2; }

# Builds the program, the driver, the minimal client, the call-cost program (windows preset)
# and the reply server (linux preset); installs nothing beyond scripts/install-deps.sh.
bench_build() {
  bash "$root/scripts/install-deps.sh" hyperfine >/dev/null || return 1
  (cd "$root" &&
    cmake --preset windows -DVXT_BUILD_BENCH=ON >/dev/null &&
    cmake --build --preset windows -j2 --target VXTVannikorde vxt_window_driver \
      vxt_minimal_client vxt_wine_call_costs >/dev/null &&
    cmake --preset linux -DVXT_BUILD_BENCH=ON >/dev/null &&
    cmake --build --preset linux -j2 --target vxt_reply_server >/dev/null) || return 1
  mkdir -p "$bench_dir/tools"
  cp "$windows_build/bench/vxt_window_driver.exe" "$windows_build/bench/vxt_wine_call_costs.exe" \
    "$bench_dir/tools/"
}

bench_cleanup() {
  set +e
  if ((${#window_pids[@]})); then
    # A window that did not close when asked is ended with the rest of this prefix's processes.
    for pid in "${window_pids[@]}"; do
      for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    done
    for pid in "${window_pids[@]}"; do
      if kill -0 "$pid" 2>/dev/null; then wineserver -k; break; fi
    done
  fi
  [ -n "${WINEPREFIX:-}" ] && wineserver -w 2>/dev/null
  bench_stop_server
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
}

# A private X server on the first free display number from 90, and the Wine prefix.
bench_start() {
  local n=90
  while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
  export DISPLAY=:$n
  Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >"$bench_dir/xvfb.log" 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.05; done
  [ -e "/tmp/.X11-unix/X$n" ] || { bench_log "Xvfb did not start on $DISPLAY"; return 1; }
  wine_env "$bench_dir/prefix"
  wine_prefix_ready || bench_log "creating the Wine prefix $WINEPREFIX (once, about half a minute)"
  wine_prefix
}

# The reply server on bench_address:8026 with a reply of $1 bytes; refuses to start when
# something answers there already.
bench_start_server() {
  bench_stop_server
  if (exec 3<>"/dev/tcp/$bench_address/$bench_port") 2>/dev/null; then
    bench_log "something listens on $bench_address:$bench_port already; set VXT_BENCH_ADDRESS"
    return 1
  fi
  "$reply_server" --address "$bench_address" --port "$bench_port" --size "$1" \
    >"$bench_dir/server.txt" 2>&1 &
  server_pid=$!
  for _ in $(seq 100); do grep -q '^port' "$bench_dir/server.txt" && return 0; sleep 0.05; done
  bench_log "the reply server did not start: $(cat "$bench_dir/server.txt")"
  return 1
}

bench_stop_server() {
  if [ -n "$server_pid" ]; then
    kill "$server_pid" 2>/dev/null
    wait "$server_pid" 2>/dev/null
    server_pid=""
  fi
}

# bench_start_window NAME EXE [ARGS...]: a copy of EXE in a folder of its own, started under
# Wine with the display; the real program gets a settings file that points it at the server.
# Extra environment for the program (e.g. WINEDEBUG) comes from bench_window_env.
bench_start_window() {
  local name=$1 exe=$2
  shift 2
  local folder=$bench_dir/$name
  rm -rf "$folder"
  mkdir -p "$folder"
  cp "$exe" "$folder/"
  if [ "$(basename "$exe")" = VXTVannikorde.exe ]; then
    printf 'KUPAC_ID=2\r\nKUPAC_PIN=1\r\nVXTSERVER=%s\r\n' "$bench_address" \
      >"$folder/VXTVannikorde.ini"
  fi
  (cd "$folder" && exec env ${bench_window_env:-} wine "./$(basename "$exe")" "$@" \
    >"$folder/stdout.txt" 2>"$folder/stderr.txt") &
  window_pids+=($!)
}

bench_drive() {
  wine "$driver_exe" "$@"
}

bench_close_window() {
  bench_drive --caption "$1" --runs 0 --close
}

# The text the reply server's pattern reply of $1 bytes (at most 1 MiB) starts with, up to its
# first line end.
bench_first_line() {
  awk -v n="$1" 'BEGIN { for (i = 0; i < n - 1; ++i) printf "%c", 65 + i % 26 }'
}

# The request line the window sends for the current month, as the reference tools send it.
bench_request_line() {
  local first last
  first=$(date +01-%m-%Y)
  last=$(date -d "$(date +%Y-%m-01) +1 month -1 day" +%d-%m-%Y)
  printf 'IZVJ 2 %s %s 1 \r\n' "$first" "$last"
}

bench_machine() {
  local cpu
  cpu=$(awk -F': ' '/model name/ { print $2; exit }' /proc/cpuinfo)
  echo "$(nproc) cores, ${cpu:-unknown CPU}; $(. /etc/os-release && echo "$PRETTY_NAME"); $(wine --version 2>/dev/null); load average at start $(cut -d' ' -f1-3 /proc/loadavg)"
}
