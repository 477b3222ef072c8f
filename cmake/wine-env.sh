# The Wine environment of every program this project runs under Wine: sourced (POSIX sh) by the
# test wrapper, the run command and the benchmarks, so that they all run with the same settings.
#
#   . cmake/wine-env.sh
#   wine_env PREFIX      exports WINEPREFIX, WINEDEBUG, WINEDLLOVERRIDES and sets WINE
#   wine_prefix          makes sure the prefix exists and holds Wine's own fonts (see below)
#   wine_locale_note     says in one line when Wine will run under C.UTF-8 (see below)

# Wine turns the file names of Windows programs into the locale's character set: in a locale
# that is not UTF-8 (POSIX, for a login without LANG) it cannot name a file whose name holds a
# character outside ASCII, and such a file cannot be made. Wine then runs under C.UTF-8, which
# every Debian system has.
wine_locale_utf8() { [ "$(locale charmap 2>/dev/null)" = UTF-8 ]; }
wine_locale_note() {
  wine_locale_utf8 ||
    echo "note: the locale ($(locale charmap 2>/dev/null)) is not UTF-8; Wine runs under C.UTF-8 so that it can name files outside ASCII"
}

wine_env() {
  if ! wine_locale_utf8; then
    export LC_ALL=C.UTF-8
  fi
  WINEPREFIX=$1
  export WINEPREFIX
  export WINEDEBUG=-all
  # No Mono/Gecko installer dialogs and no desktop menu entries in the private prefix.
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  WINE=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
}

# Debian's Wine looks for its own fonts (the package fonts-wine: Tahoma for the window's text,
# Marlett for the glyphs of the caption's buttons) only in the prefix's Fonts folder, so they are
# copied there when the prefix is created and into an existing prefix that lacks them. Creating
# a prefix takes about ten seconds; a lock keeps programs that start in parallel from racing on
# it, and a stamp written after the last font keeps them from taking a half-filled Fonts folder
# for a complete one.
wine_prefix_ready() {
  [ -f "$WINEPREFIX/system.reg" ] && [ -f "$WINEPREFIX/.fonts-copied" ] &&
    [ -f "$WINEPREFIX/drive_c/windows/Fonts/tahoma.ttf" ] &&
    [ -f "$WINEPREFIX/drive_c/windows/Fonts/marlett.ttf" ]
}

wine_prefix() {
  wine_prefix_ready && return 0
  font_source=/usr/share/wine/fonts
  if [ ! -f "$font_source/tahoma.ttf" ] || [ ! -f "$font_source/marlett.ttf" ]; then
    echo "wine-env.sh: Wine's fonts are missing ($font_source/tahoma.ttf, marlett.ttf):" \
      "install the package fonts-wine (bash scripts/install-deps.sh does)" >&2
    return 1
  fi
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      "$WINE" wineboot -i >/dev/null 2>&1
      wineserver -w
    fi
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      echo "wine-env.sh: wineboot did not create the Wine prefix $WINEPREFIX" >&2
      exit 1
    fi
    if ! wine_prefix_ready; then
      mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
      cp "$font_source"/*.ttf "$font_source"/*.fon "$WINEPREFIX/drive_c/windows/Fonts"/
      : >"$WINEPREFIX/.fonts-copied"
    fi
  ) 9>"$WINEPREFIX.lock"
}
