#!/bin/sh
# Kromi.exe as the e2e suite starts a game: one program, its status the game's own.
exec /usr/lib/wine/wine64 "$KROMI_E2E_WINE_EXE" "$@"
