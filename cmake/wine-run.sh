#!/bin/sh
# Usage: wine-run.sh PREFIX PROGRAM.exe [ARGS...]
# Runs a Windows program under Wine with its own prefix, created on the first start (about ten
# seconds) with Wine's fonts in it.
. "$(dirname "$0")/wine-env.sh"
wine_env "$1"; shift
wine_prefix || exit 1
exec "$WINE" "$@"
