#!/bin/sh
# Usage: wine-prefix.sh PREFIX
# Makes sure that the Wine prefix PREFIX exists and that its drive_c/windows/Fonts folder holds
# Wine's own fonts (the package fonts-wine): Tahoma for the window's text and Marlett for the
# glyphs of the caption's buttons. Debian's Wine does not look in the folder where that package
# puts them, only in the prefix's Fonts folder, so they are copied there when the prefix is
# created and into an existing prefix that lacks them. Creating a prefix takes about ten seconds;
# a lock keeps programs that start in parallel from racing on it.
set -eu
[ $# -eq 1 ] || { echo "usage: wine-prefix.sh PREFIX" >&2; exit 2; }
WINEPREFIX=$1
export WINEPREFIX
export WINEDEBUG=-all
# No Mono/Gecko installer dialogs and no desktop menu entries in the private prefix.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
WINE=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)

font_source=/usr/share/wine/fonts
fonts=$WINEPREFIX/drive_c/windows/Fonts
# Written after the last font has been copied, so that a program starting in parallel never
# takes a half-filled Fonts folder for a complete one.
stamp=$WINEPREFIX/.fonts-copied

ready() {
  [ -f "$WINEPREFIX/system.reg" ] && [ -f "$stamp" ] &&
    [ -f "$fonts/tahoma.ttf" ] && [ -f "$fonts/marlett.ttf" ]
}
ready && exit 0

if [ ! -f "$font_source/tahoma.ttf" ] || [ ! -f "$font_source/marlett.ttf" ]; then
  echo "wine-prefix.sh: Wine's fonts are missing ($font_source/tahoma.ttf, marlett.ttf):" \
    "install the package fonts-wine (bash scripts/install-deps.sh does)" >&2
  exit 1
fi

mkdir -p "$(dirname "$WINEPREFIX")"
(
  flock 9
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$WINE" wineboot -i >/dev/null 2>&1
    wineserver -w
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine-prefix.sh: wineboot did not create the Wine prefix $WINEPREFIX" >&2
    exit 1
  fi
  if ! ready; then
    mkdir -p "$fonts"
    cp "$font_source"/*.ttf "$font_source"/*.fon "$fonts"/
    : >"$stamp"
  fi
) 9>"$WINEPREFIX.lock"
