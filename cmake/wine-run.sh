#!/bin/sh
# Runs a Windows test program under the 64-bit Wine loader.
# WINEPREFIX and DISPLAY come from the environment prepared by scripts/winenv.sh.
export WINEDEBUG="${WINEDEBUG:--all}"
exec /usr/lib/wine/wine64 "$@"
