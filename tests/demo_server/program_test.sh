#!/bin/sh
# Runs the real demo_report_server binary: log lines reach a file while the server still runs
# (flushed), SIGINT and SIGTERM stop it with exit code 0, a taken port gives exit code 1 and one
# line on stderr. Usage: program_test.sh PATH/TO/demo_report_server
set -u
BIN=$1
DIR=$(mktemp -d)
SERVER=""
cleanup() {
  [ -n "$SERVER" ] && kill -9 "$SERVER" 2>/dev/null
  rm -rf "$DIR"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*"
  for f in out err; do [ -f "$DIR/$f" ] && { echo "--- $f"; cat "$DIR/$f"; }; done
  exit 1
}
# Polls for up to ten seconds; only a broken server ever waits that long.
await() {
  i=0
  while [ $i -lt 200 ]; do
    eval "$1" && return 0
    sleep 0.05
    i=$((i + 1))
  done
  return 1
}

for sig in INT TERM; do
  # Fresh files: the background start truncates its output only when it gets round to it, so a
  # reused file could still show the previous run's port.
  rm -f "$DIR/out" "$DIR/err"
  : >"$DIR/out"
  "$BIN" --port 0 >>"$DIR/out" 2>"$DIR/err" &
  SERVER=$!
  await 'grep -q "listening on 127.0.0.1:" "$DIR/out"' || fail "no listening line"
  port=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$DIR/out")

  printf 'IZVJ 2 01-12-2026 31-12-2026 1 \r\n' | nc -N 127.0.0.1 "$port" >"$DIR/report.pdf"
  head -c 5 "$DIR/report.pdf" | grep -q '%PDF-' || fail "no PDF from port $port"
  printf 'IZVJ 2 01-12-2026 31-12-2026  \r\n' | nc -N 127.0.0.1 "$port" >"$DIR/reply.txt"
  [ "$(cat "$DIR/reply.txt")" = "$(printf 'Pogresan PIN!\r')" ] || fail "wrong-PIN reply"
  await '[ $(grep -c " -> " "$DIR/out") -eq 2 ]' || fail "log lines not flushed"
  grep -q '"IZVJ 2 01-12-2026 31-12-2026 \*\*\*\* " -> PDF [0-9]* bytes, 1 page$' "$DIR/out" ||
    fail "report log line"
  grep -q '"IZVJ 2 01-12-2026 31-12-2026  " -> Pogresan PIN!$' "$DIR/out" || fail "PIN log line"

  if [ "$sig" = INT ]; then
    "$BIN" --port "$port" >"$DIR/out2" 2>"$DIR/err2"
    rc=$?
    [ $rc -eq 1 ] || fail "taken port: exit code $rc"
    [ "$(cat "$DIR/err2")" = "demo_report_server: cannot listen on 127.0.0.1:$port: the port is already in use" ] ||
      fail "taken port message: $(cat "$DIR/err2")"
    [ -s "$DIR/out2" ] && fail "taken port printed to stdout"
  fi

  kill -"$sig" "$SERVER"
  await '! kill -0 "$SERVER" 2>/dev/null' || fail "still running after SIG$sig"
  wait "$SERVER"
  rc=$?
  SERVER=""
  [ $rc -eq 0 ] || fail "exit code $rc after SIG$sig"
  [ "$(tail -n 1 "$DIR/out")" = "demo_report_server: stopped" ] || fail "no stop line after SIG$sig"
  [ -s "$DIR/err" ] && fail "stderr not empty"
done
echo "demo_report_server program test passed"
