#!/bin/sh
# The Wine prefix the suite plays Kromi.exe in: made once per build tree, and a wineserver kept
# up for the whole run so each game starts warm.
#   prefix.sh up DIR VERSION   make DIR if needed (about 10 s), set it up to say it is Windows
#                              VERSION (win10, win7: winecfg's names), start the server
#   prefix.sh down DIR         stop the server
set -eu
wine=/usr/lib/wine/wine64
export WINEPREFIX="$2" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
display=${DISPLAY:-}
unset DISPLAY WAYLAND_DISPLAY
case $1 in
  up)
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      mkdir -p "$WINEPREFIX"
      "$wine" wineboot -i >/dev/null 2>&1
      # Wine does not follow fontconfig's aliases: the same fonts the Linux game falls back to.
      subst='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes'
      "$wine" reg add "$subst" /v Verdana /t REG_SZ /d "DejaVu Sans" /f >/dev/null 2>&1
      "$wine" reg add "$subst" /v Arial /t REG_SZ /d "Liberation Sans" /f >/dev/null 2>&1
      /usr/lib/wine/wineserver -w
    fi
    # Its own output must not hold the caller's pipe open: ctest waits for every writer to go.
    # One already up for this prefix is as good (it then says so and fails).
    /usr/lib/wine/wineserver -p </dev/null >/dev/null 2>&1 || true
    # The version the prefix reports is its own setting (a new one says win7 on some builds of
    # Wine): set each time, and read back below as programs see it.
    case ${3:-} in
      win10) want='Windows 10\.' ;;
      win7) want='Windows 6\.1\.7601' ;;
      *) echo "prefix.sh: which Windows? win10 or win7" >&2; exit 2 ;;
    esac
    if [ "$("$wine" winecfg /v </dev/null 2>/dev/null | tr -d '\r')" != "$3" ]; then
      "$wine" winecfg /v "$3" </dev/null >/dev/null 2>&1
    fi
    # The first program of a session also starts Wine's own services; a game started then waits
    # on them at exit. One trivial program first, so every game starts into a warm session. It
    # gets the caller's display, if any: the session's desktop keeps the one it started with.
    ver=$(DISPLAY=$display "$wine" cmd.exe /c ver </dev/null 2>/dev/null | tr -d '\r' || true)
    if ! printf '%s\n' "$ver" | grep -q "$want"; then
      echo "prefix.sh: $WINEPREFIX should say $3, says: $ver" >&2
      exit 1
    fi
    ;;
  down)
    /usr/lib/wine/wineserver -k || true
    ;;
esac
