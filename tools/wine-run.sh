#!/usr/bin/env bash
# Runs one Windows program under wine in the build's private prefix (tools/wine-setup.sh made
# it), with the crash debugger off, and never for longer than TN_WINE_TIMEOUT seconds.
#   tools/wine-run.sh PROGRAM.exe [ARGS...]
set -u
: "${WINEPREFIX:=${TN_WINE_PREFIX:-/tmp/tn-wine-$(id -u)}}"
export WINEPREFIX
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;winedbg.exe=d"
export HOME="${TN_WINE_HOME:-$WINEPREFIX/home}"
mkdir -p "$HOME"
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
exec timeout -k 10 "${TN_WINE_TIMEOUT:-300}" "$wine" "$@"
