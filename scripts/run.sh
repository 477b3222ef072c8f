#!/usr/bin/env bash
# Builds VXTVannikorde.exe and the demo report server and starts the program under Wine.
#
#   bash scripts/run.sh
#
# Run it as the user who builds (it calls sudo for the package installs itself; as root it needs
# no sudo). Installs what it needs (Debian 12), builds the windows preset's program and the native demo
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
bash scripts/check-build-owner.sh
bash scripts/install-deps.sh
command -v ss >/dev/null || bash scripts/install-deps.sh iproute2

log "building the program (windows preset) and the demo report server (linux preset)"
cmake --preset windows
cmake --build --preset windows --target VXTVannikorde -j"$(nproc)"
cmake --preset linux
cmake --build --preset linux --target demo_report_server -j"$(nproc)"

mkdir -p "$run_dir"
. cmake/wine-env.sh
wine_locale_note
wine_env "$run_dir/wineprefix"

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
# The program connects to localhost's IPv4 address; listeners on other loopback addresses (test
# servers, for instance) do not answer it.
listening() { ss -ltnH '( src 127.0.0.1 or src 0.0.0.0 ) and sport = :8026' 2>/dev/null | grep -q .; }
if listening; then
  log "something listens on port 8026 already; using it"
else
  log "starting the demo report server on 127.0.0.1:8026"
  "$demo" --address 127.0.0.1 --port 8026 >"$run_dir/demo_server.log" 2>&1 &
  demo_pid=$!
  for _ in $(seq 50); do
    listening && break
    sleep 0.1
  done
fi

# --- Wine prefix ---------------------------------------------------------------------------
[ -f "$WINEPREFIX/system.reg" ] || log "creating the Wine prefix $WINEPREFIX (takes a few seconds once)"
wine_prefix
if ! grep -q 'VXTVannikorde\.Pdf' "$WINEPREFIX/user.reg" 2>/dev/null; then
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
fail() { log "$*"; exit 1; }
rm -f "$response"
# winebrowser hands the report to the host's xdg-open: here one that only notes what it was
# asked to open, so that the script can say whether the program asked for the viewer.
viewer_asked=$run_dir/viewer-asked.txt
rm -f "$viewer_asked"
mkdir -p "$run_dir/viewer"
printf '#!/bin/sh\nprintf "%%s\\n" "$*" >>"%s"\n' "$viewer_asked" >"$run_dir/viewer/xdg-open"
chmod +x "$run_dir/viewer/xdg-open"
PATH=$run_dir/viewer:$PATH "$WINE" $desktop "$exe" >"$run_dir/wine.log" 2>&1 &
program_pid=$!

# Inside the virtual desktop each top-level window of the program is an X window of its own,
# named by its caption. The first start of Wine in a prefix takes a while.
title="BRAXO Tarnwell podaci uzivo"
window=$(timeout 90 xdotool search --sync --onlyvisible --limit 1 --name "^$title\$" 2>/dev/null) ||
  fail "the window \"$title\" did not appear within 90 s (see $run_dir/wine.log)"
caption=$(xdotool getwindowname "$window")
[ "$caption" = "$title" ] || log "note: the window is captioned \"$caption\", not \"$title\""

# The window's frame as drawn, in screen pixels (the virtual desktop's origin is the screen's).
geometry=$(xwininfo -id "$window")
field() { echo "$geometry" | sed -n "s/^ *$1: *\(-\?[0-9]*\)$/\1/p"; }
window_x=$(field "Absolute upper-left X")
window_y=$(field "Absolute upper-left Y")
window_width=$(field Width)
window_height=$(field Height)
log "the window is ${window_width}x${window_height} at $window_x,$window_y"

# The client area has a fixed size (349 x 275 pixels). The frame around it is equally wide on the
# left, right and bottom; the caption adds to its top.
client_width=349
client_height=275
border=$(((window_width - client_width) / 2))
client_left=$((window_x + border))
client_top=$((window_y + window_height - border - client_height))
[ "$border" -ge 0 ] && [ "$client_top" -gt "$window_y" ] ||
  fail "the window's frame (${window_width}x${window_height}) cannot hold a ${client_width}x${client_height} client area"

# Screenshots are taken once the window's picture has stopped changing (the controls and their
# contents paint after the frame), giving up after a bounded time.
window_picture() { import -window root -crop "${window_width}x${window_height}+${window_x}+${window_y}" rgb:- 2>/dev/null | md5sum; }
wait_until_still() {  # what, tries
  local previous="" current
  for _ in $(seq "$2"); do
    current=$(window_picture)
    [ "$current" = "$previous" ] && return 0
    previous=$current
    sleep 0.5
  done
  log "the window still changed after $(($2 / 2)) s ($1); taking the screenshot all the same"
}

start_png=$run_dir/start.png
after_png=$run_dir/after-report.png
wait_until_still "at start" 40
import -window root "$start_png"

# The report button lies at 127, 95 in the client area and is 75 x 25 pixels.
button_x=$((client_left + 127 + 75 / 2))
button_y=$((client_top + 95 + 25 / 2))
log "pressing \"Izvjestaj\" at $button_x,$button_y"
xdotool mousemove --sync "$button_x" "$button_y"
xdotool click 1

# The report is in when the response file has stopped growing and the window has taken in the
# outcome.
last_size=-1
for _ in $(seq 100); do
  size=$(stat -c %s "$response" 2>/dev/null || echo -1)
  if [ "$size" -gt 0 ] && [ "$size" -eq "$last_size" ]; then break; fi
  last_size=$size
  sleep 0.3
done
wait_until_still "after the report" 40
import -window root "$after_png"

# Close the window as a user would (Alt+F4 on the active window reaches it as a close request),
# so that the settings are saved; the cleanup ends Wine should the program still run.
xdotool mousemove --sync $((window_x + window_width / 2)) $(((window_y + client_top) / 2)) click 1
xdotool key alt+F4
for _ in $(seq 100); do
  kill -0 "$program_pid" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$program_pid" 2>/dev/null && log "the program did not end within 10 s of Alt+F4; ending Wine"

echo
log "screenshot at start:      $start_png"
log "screenshot after report:  $after_png"
if [ -s "$response" ]; then
  log "received report:          $response ($(stat -c %s "$response") bytes)"
  if [ -s "$viewer_asked" ]; then
    log "the PDF viewer was asked to open it: $(head -1 "$viewer_asked")"
  elif [ "$(stat -c %s "$response")" -gt 1024 ]; then
    log "the PDF viewer was NOT asked to open it, though it is longer than 1024 bytes (see the window's log in $after_png)"
  else
    log "the PDF viewer was not asked to open it: a reply of up to 1024 bytes is a text reply, shown in the window's log"
  fi
else
  log "no report was received (see $run_dir/demo_server.log); the response file is $response"
fi
