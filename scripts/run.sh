#!/usr/bin/env bash
# Builds VXTVannikorde.exe and the demo report server and starts the program under Wine.
#
#   sudo bash scripts/run.sh
#
# Installs what it needs (Debian 12), builds the windows preset's program and the native demo
# report server, starts the demo server on 127.0.0.1:8026 unless something listens there
# already, and starts the program in a Wine virtual desktop (so that its frame is drawn).
#
# With a display the window simply opens; the script ends when the program does. Without one
# (DISPLAY unset) it starts a private X server, presses the report button once with a real mouse
# click, saves screenshots of the start and of the result under build/run/, closes the program
# and ends everything it started.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

desktop_width=800
desktop_height=600
run_dir=$root/build/run
exe=$root/build/windows/src/win32/VXTVannikorde.exe
demo=$root/build/linux/tools/demo_server/demo_report_server

log() { echo "run.sh: $*"; }

# --- Packages and build --------------------------------------------------------------------
bash scripts/install-deps.sh
command -v ss >/dev/null || bash scripts/install-deps.sh iproute2

log "building the program (windows preset) and the demo report server (linux preset)"
cmake --preset windows
cmake --build --preset windows --target VXTVannikorde -j2
cmake --preset linux
cmake --build --preset linux --target demo_report_server -j2

mkdir -p "$run_dir"
export WINEPREFIX=$run_dir/wineprefix
export WINEDEBUG=-all
# No Mono/Gecko installer dialogs and no desktop menu entries in the private prefix.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
WINE=$(command -v wine64 || command -v wine)

# --- Cleanup of what this script started ---------------------------------------------------
demo_pid=""
xvfb_pid=""
program_pid=""
cleanup() {
  set +e
  if [ -n "$program_pid" ] && kill -0 "$program_pid" 2>/dev/null; then
    wineserver -k 2>/dev/null
    wait "$program_pid" 2>/dev/null
  fi
  wineserver -w 2>/dev/null
  if [ -n "$demo_pid" ]; then
    kill "$demo_pid" 2>/dev/null
    wait "$demo_pid" 2>/dev/null
  fi
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
}
trap cleanup EXIT

# --- X display -----------------------------------------------------------------------------
headless=0
if [ -z "${DISPLAY:-}" ]; then
  headless=1
  display_number=99
  while [ -e "/tmp/.X11-unix/X$display_number" ] || [ -e "/tmp/.X$display_number-lock" ]; do
    display_number=$((display_number + 1))
  done
  export DISPLAY=:$display_number
  log "no display: starting Xvfb on $DISPLAY"
  Xvfb "$DISPLAY" -screen 0 "${desktop_width}x${desktop_height}x24" -nolisten tcp \
    >"$run_dir/xvfb.log" 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 50); do
    [ -e "/tmp/.X11-unix/X$display_number" ] && break
    sleep 0.1
  done
fi

# --- Demo report server --------------------------------------------------------------------
if ss -ltnH 'sport = :8026' 2>/dev/null | grep -q .; then
  log "something listens on port 8026 already; using it"
else
  log "starting the demo report server on 127.0.0.1:8026"
  "$demo" --address 127.0.0.1 --port 8026 >"$run_dir/demo_server.log" 2>&1 &
  demo_pid=$!
  for _ in $(seq 50); do
    ss -ltnH 'sport = :8026' 2>/dev/null | grep -q . && break
    sleep 0.1
  done
fi

# --- Wine prefix ---------------------------------------------------------------------------
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  log "creating the Wine prefix $WINEPREFIX (takes a few seconds once)"
  "$WINE" wineboot -i >/dev/null 2>&1
  wineserver -w
  # A received report opens through the shell; hand .pdf files to the host's viewer.
  "$WINE" reg add 'HKCU\Software\Classes\.pdf' /ve /d VXTVannikorde.Pdf /f >/dev/null 2>&1
  "$WINE" reg add 'HKCU\Software\Classes\VXTVannikorde.Pdf\shell\open\command' /ve \
    /d 'C:\windows\system32\winebrowser.exe "%1"' /f >/dev/null 2>&1
  wineserver -w
fi

response=$(dirname "$exe")/response.pdf
desktop="explorer /desktop=VXTVannikorde,${desktop_width}x${desktop_height}"

if [ "$headless" -eq 0 ]; then
  log "starting $exe on $DISPLAY"
  "$WINE" $desktop "$exe" &
  program_pid=$!
  wait "$program_pid" || true
  program_pid=""
  log "the program has ended; a received report is $response"
  exit 0
fi

# --- Headless: one report, two screenshots -------------------------------------------------
rm -f "$response"
"$WINE" $desktop "$exe" >"$run_dir/wine.log" 2>&1 &
program_pid=$!

# The first start of Wine in a prefix takes a while; the desktop window shows when it is up.
for _ in $(seq 300); do
  xdotool search --name "Wine desktop" >/dev/null 2>&1 && break
  sleep 0.1
done
sleep 4  # the program's own window appears inside the desktop a moment later

start_png=$run_dir/start.png
after_png=$run_dir/after-report.png
import -window root "$start_png"

# The window is centred in the desktop. The report button's centre lies 164 px right of the
# client area's left edge and 107 px below its top; the client area (349 x 275) sits below a
# title bar of about 22 px, so its centre is half a title bar below the desktop's centre.
caption=22
client_left=$(((desktop_width - 349) / 2))
client_top=$(((desktop_height - 275 + caption) / 2))
button_x=$((client_left + 127 + 75 / 2))
button_y=$((client_top + 95 + 25 / 2))
log "pressing \"Izvjestaj\" at $button_x,$button_y"
xdotool mousemove --sync "$button_x" "$button_y"
sleep 0.3
xdotool click 1

# The report is in when the response file has stopped growing.
last_size=-1
for _ in $(seq 100); do
  size=$(stat -c %s "$response" 2>/dev/null || echo -1)
  if [ "$size" -gt 0 ] && [ "$size" -eq "$last_size" ]; then break; fi
  last_size=$size
  sleep 0.3
done
sleep 2
import -window root "$after_png"

# Close the window as a user would (Alt+F4 reaches it as a close request), so the settings
# are saved; the cleanup ends Wine should the program still run.
xdotool mousemove --sync $((desktop_width / 2)) $((client_top - caption / 2)) click 1
sleep 0.3
xdotool key alt+F4
for _ in $(seq 100); do
  kill -0 "$program_pid" 2>/dev/null || break
  sleep 0.1
done

echo
log "screenshot at start:      $start_png"
log "screenshot after report:  $after_png"
if [ -s "$response" ]; then
  log "received report:          $response ($(stat -c %s "$response") bytes)"
else
  log "no report was received (see $run_dir/demo_server.log); the response file is $response"
fi
