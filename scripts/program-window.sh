# Sourced by the package checks (bash): check_program_window FOLDER PREFIX starts
# FOLDER/VXTVannikorde.exe under Wine in the prefix PREFIX, waits for its window, sends it a close
# request and checks that it ends cleanly, having saved its settings beside itself. The caller
# defines log and fail; needs an X display. Wine's output goes to FOLDER/../wine.log.
check_program_window() {
  local folder=$1 prefix=$2
  local title="BRAXO Tarnwell podaci uzivo" wine_run wine_log window caption rc=0
  wine_run=$(dirname "${BASH_SOURCE[0]}")/../cmake/wine-run.sh
  wine_log=$(dirname "$folder")/wine.log
  # Started from its unpacked folder, the program shows its window; a close request (taskkill
  # without /f posts WM_CLOSE, as the window's close button does) ends it with exit code 0
  # after it has saved its settings beside itself.
  "$wine_run" "$prefix" "$folder/VXTVannikorde.exe" >"$wine_log" 2>&1 &
  program_pid=$!
  program_prefix=$prefix
  trap stop_program EXIT

  # xdotool matches names regardless of case; the caption itself is then compared exactly.
  window=$(timeout 90 xdotool search --sync --onlyvisible --limit 1 --name "^$title\$" 2>/dev/null) ||
    fail "the unpacked program's window \"$title\" did not appear within 90 s (see $wine_log)"
  caption=$(xdotool getwindowname "$window")
  [ "$caption" = "$title" ] || fail "the unpacked program's window is captioned \"$caption\", not \"$title\""
  log "the unpacked program shows its window \"$title\" (X window $window)"

  "$wine_run" "$prefix" taskkill /im VXTVannikorde.exe >>"$wine_log" 2>&1 ||
    fail "taskkill could not send the close request (see $wine_log)"
  for _ in $(seq 300); do
    kill -0 "$program_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$program_pid" 2>/dev/null && fail "the unpacked program did not end within 30 s of the close request"
  wait "$program_pid" || rc=$?
  [ "$rc" -eq 0 ] || fail "the unpacked program ended with exit code $rc after the close request"
  grep -q '^VXTSERVER=' "$folder/VXTVannikorde.ini" 2>/dev/null ||
    fail "the unpacked program did not save VXTVannikorde.ini beside itself when it closed"
  log "the unpacked program closed cleanly (exit code 0, settings saved beside it)"
  stop_program
}

stop_program() {  # ends Wine in the program's prefix should the program still run
  if [ -n "${program_pid:-}" ] && kill -0 "$program_pid" 2>/dev/null; then
    WINEPREFIX=$program_prefix wineserver -k 2>/dev/null || true
    wait "$program_pid" 2>/dev/null || true
  fi
}
