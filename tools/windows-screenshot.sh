#!/usr/bin/env bash
# Makes docs/launcher-dialog-windows.png: a Windows publication with a large payload runs under
# wine on a virtual display (the test prefix of build-win/) while the screen is dumped with xwd;
# of the frames that show the dialog, the one that packs largest (the most progress) is kept,
# cropped to the dialog.
# Needs `tools/build.sh windows` first and the package x11-apps.
set -euo pipefail
cd "$(dirname "$0")/.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/stage"
cp build-win/tn-test-viewer-win.exe "$work/stage/offline.exe"
head -c 400000000 /dev/urandom > "$work/stage/pages.bin"
build/bin/quillet-pack "$work/stage" -o "$work/publication.exe" --stub build-win/bin/quillet-offline.exe > /dev/null
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    set -u
    export TN_WINE_PREFIX="$PWD/build-win/wine-prefix" WINEPREFIX="$PWD/build-win/wine-prefix"
    bash tools/wine-setup.sh "$WINEPREFIX" "$PWD/build-win/wine-temp"
    timeout 30 wineserver -p 60 < /dev/null > /dev/null 2>&1 || true
    TN_WINE_TIMEOUT=120 bash tools/wine-run.sh "$1/publication.exe" < /dev/null > /dev/null 2>&1 &
    for i in $(seq 1 40); do sleep 0.25; xwd -root -silent > "$1/frame-$i.xwd"; done
    wait
    timeout 30 wineserver -k || true' bash "$work"
best="" best_size=0
for frame in "$work"/frame-*.xwd; do
    [ -s "$frame" ] || continue  # the display was not up yet, or gone already
    python3 tools/xwd_to_png.py "$frame" "${frame%.xwd}.png" 2> /dev/null || continue
    size=$(stat -c %s "${frame%.xwd}.png")
    if [ "$size" -gt "$best_size" ]; then best=${frame%.xwd}.png best_size=$size; fi
done
[ -n "$best" ] || { echo "no frame showed the dialog" >&2; exit 1; }
cp "$best" docs/launcher-dialog-windows.png
echo "docs/launcher-dialog-windows.png from $(basename "$best")"
