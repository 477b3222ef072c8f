#!/bin/sh
# Usage: wine-run.sh PREFIX PROGRAM.exe [ARGS...]
# Runs a Windows program under Wine with its own prefix. The first start creates the
# prefix (about ten seconds); a lock keeps tests that start in parallel from racing on it.
WINEPREFIX=$1; shift
export WINEPREFIX
export WINEDEBUG=-all
# No Mono/Gecko installer dialogs and no desktop menu entries in the private prefix.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
WINE=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      "$WINE" wineboot -i >/dev/null 2>&1
      wineserver -w
    fi
  ) 9>"$WINEPREFIX.lock"
fi
exec "$WINE" "$@"
