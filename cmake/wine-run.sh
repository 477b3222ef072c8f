#!/bin/sh
# Usage: wine-run.sh PREFIX PROGRAM.exe [ARGS...]
# Runs a Windows program under Wine with its own prefix, which wine-prefix.sh creates on the
# first start (about ten seconds) and fills with Wine's fonts.
WINEPREFIX=$1; shift
"$(dirname "$0")/wine-prefix.sh" "$WINEPREFIX" || exit 1
export WINEPREFIX
export WINEDEBUG=-all
# No Mono/Gecko installer dialogs and no desktop menu entries in the private prefix.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
WINE=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
exec "$WINE" "$@"
