#!/usr/bin/env bash
# Prepares a private wine prefix for the Windows tests:
#   tools/wine-setup.sh PREFIX TEMPDIR
# A crashing program fails at once instead of waiting in the debugger; a virtual desktop lets
# windows draw their captions and hide without a window manager; the Windows temporary
# directory is TEMPDIR (a Linux path, seen by Windows programs as Z:...).
set -euo pipefail
prefix=$1
temp=$2
export WINEPREFIX=$prefix WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;winedbg.exe=d"
export HOME="$prefix/home"
mkdir -p "$HOME" "$temp"
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
w() { timeout -k 10 120 "$@" < /dev/null > /dev/null 2>&1; }
if [ ! -f "$prefix/.tn-ready" ]; then
    w wineboot -i
    w "$wine" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d false /f
    w "$wine" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Auto /d 1 /f
    w "$wine" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f
    w "$wine" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 800x600 /f
    touch "$prefix/.tn-ready"
fi
wintemp="Z:$(echo "$temp" | tr / '\\')"
w "$wine" reg add 'HKCU\Environment' /v TEMP /d "$wintemp" /f
w "$wine" reg add 'HKCU\Environment' /v TMP /d "$wintemp" /f
timeout -k 5 60 wineserver -w || true
