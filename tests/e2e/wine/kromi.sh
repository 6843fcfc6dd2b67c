#!/bin/sh
# Kromi.exe as the e2e suite starts a game: one program, its status the game's own. A launcher,
# if KROMI_E2E_WINE_LAUNCHER names one, starts it instead and ends with its status.
exec /usr/lib/wine/wine64 ${KROMI_E2E_WINE_LAUNCHER:+"$KROMI_E2E_WINE_LAUNCHER"} "$KROMI_E2E_WINE_EXE" "$@"
