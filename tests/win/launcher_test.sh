#!/usr/bin/env bash
# End-to-end test of the Windows launcher under wine: packs publications on Linux with
# quillet-pack and the stub quillet-offline.exe, runs them, and checks what the stand-in viewer
# recorded (its folder, the dialog's look and progress, the extracted files) and that nothing
# is left in the temporary directory. Environment: WINE_RUN, STUB, PACK, STAMP, VIEWER,
# TEMP_DIR (the Linux folder that the prefix's TEMP points at), WORK.
set -uo pipefail
fail=0
check() {  # check DESCRIPTION COMMAND...
    if "${@:2}"; then echo "ok   $1"; else echo "FAIL $1"; fail=1; fi
}
# Windows programs end their lines with CR LF.
record() { grep -m1 "^$1=" "$WORK/record.txt" | cut -d= -f2- | tr -d '\r'; }
line_is() { tr -d '\r' < "$2" | grep -qx "$1"; }
temp_empty() { [ -z "$(ls -A "$TEMP_DIR")" ]; }
has_bits() { (( ($1 & ($2)) == ($2) )); }
lacks_bits() { (( ($1 & ($2)) == 0 )); }

rm -rf "$WORK" && mkdir -p "$WORK/stage/sub" "$WORK/stage/deep/x/y"
find "$TEMP_DIR" -mindepth 1 -delete 2>/dev/null
cp "$VIEWER" "$WORK/stage/offline.exe"
echo "first page" > "$WORK/stage/a.txt"
: > "$WORK/stage/empty.txt"
head -c 200000 /dev/urandom > "$WORK/stage/sub/b.bin"
echo deep > "$WORK/stage/deep/x/y/z.txt"
chmod 444 "$WORK/stage/deep/x/y/z.txt"  # extracted read-only: the cleanup must remove it still
"$PACK" "$WORK/stage" -o "$WORK/publication.exe" --stub "$STUB" > /dev/null || { echo "FAIL packing"; exit 1; }

# A publication: extraction, the hidden dialog at 100 %, the viewer in a new folder, cleanup.
QUILLET_TEST_RECORD="Z:$(echo "$WORK/record.txt" | tr / '\\')" QUILLET_TEST_SLEEP_MS=300 \
    "$WINE_RUN" "$WORK/publication.exe" > "$WORK/stdout.txt" 2>/dev/null
check "prints Success!" line_is 'Success!' "$WORK/stdout.txt"
check "the viewer ran" [ "$(record ran)" = 1 ]
wintemp="Z:$(echo "$TEMP_DIR" | tr / '\\')"
self_in_stamp_folder() { [[ "$(record self)" =~ ^"$wintemp"\\[0-9]+-[0-9a-z]+\\offline\.exe$ ]]; }
check "viewer started from a new stamp folder in the temp dir" self_in_stamp_folder
check "dialog titled and found" [ "$(record dialog.found)" = 1 ]
check "dialog hidden while the viewer runs" [ "$(record dialog.visible)" = 0 ]
check "dialog is a dialog-class window" [ "$(record dialog.class)" = "#32770" ]
style=$(record dialog.style); exstyle=$(record dialog.exstyle)
check "popup, caption, modal frame" has_bits "${style:-0}" $((0x80000000 | 0x00C00000 | 0x80))
check "no system menu, so no close button" lacks_bits "${style:-0}" 0x00080000
check "taskbar button (WS_EX_APPWINDOW)" has_bits "${exstyle:-0}" 0x00040000
check "dialog text" [ "$(record dialog.text)" = "Preparing publication. Please Wait..." ]
check "progress reached 100" [ "$(record progress.pos)" = 100 ]
check "progress range 0..100" [ "$(record progress.high)" = 100 ]
check "Enter and Escape do not close the dialog" [ "$(record dialog.afterkeys)" = 1 ]
check "smooth progress bar" has_bits "$(record progress.style)" 0x01
expected=$(cd "$WORK/stage" && find . -type f -printf '%P %s\n' | tr / '\\' | sort)
actual=$(grep '^file=' "$WORK/record.txt" | cut -d= -f2- | tr -d '\r' | sort)
check "every file extracted with its size" [ "$expected" = "$actual" ]
check "temp dir empty afterwards" temp_empty

# The stub alone: no archive, nothing created.
start=$(date +%s%N)
"$WINE_RUN" "$STUB" > "$WORK/stdout.txt" 2>/dev/null
elapsed=$(( ($(date +%s%N) - start) / 1000000 ))
check "stub alone prints nothing" [ ! -s "$WORK/stdout.txt" ]
check "stub alone leaves the temp dir empty" temp_empty
check "stub alone closes at the first close tick (took ${elapsed} ms)" [ "$elapsed" -ge 1400 ]

# Damaged publications never run: a byte flipped in the packed payload, a payload never stamped
# (the stub with one byte after it), and a member whose data no longer matches its CRC under a
# stamped digest. Each ends with status 65 and leaves nothing; the message box is left out here
# (QUILLET_TEST_NO_MESSAGE_BOX), the sentence still goes to standard error.
python3 - "$WORK/publication.exe" "$WORK/flipped.exe" <<'PY'
import sys
data = bytearray(open(sys.argv[1], "rb").read())
data[-300] ^= 1
open(sys.argv[2], "wb").write(data)
PY
{ cat "$STUB"; printf 'x'; } > "$WORK/one-byte.exe"
mkdir -p "$WORK/bad" && cp "$VIEWER" "$WORK/bad/offline.exe"
head -c 1000 /dev/zero | tr '\0' z > "$WORK/bad/z.txt"
(cd "$WORK/bad" && zip -q -0 "$WORK/bad.zip" offline.exe z.txt)
python3 - "$WORK/bad.zip" <<'PY'
import sys
data = bytearray(open(sys.argv[1], "rb").read())
at = data.find(b"z" * 1000)
data[at + 500] = ord("y")
open(sys.argv[1], "wb").write(data)
PY
cat "$STUB" "$WORK/bad.zip" > "$WORK/bad.exe"
"$STAMP" --payload "$WORK/bad.exe" || { echo "FAIL stamping"; exit 1; }
for damaged in flipped one-byte bad; do
    rm -f "$WORK/record.txt"
    QUILLET_TEST_NO_MESSAGE_BOX=1 QUILLET_TEST_RECORD="Z:$(echo "$WORK/record.txt" | tr / '\\')" \
        "$WINE_RUN" "$WORK/$damaged.exe" > "$WORK/stdout.txt" 2> "$WORK/stderr.txt"
    status=$?
    check "$damaged: status 65 (got $status)" [ "$status" = 65 ]
    check "$damaged: the viewer never ran" [ ! -e "$WORK/record.txt" ]
    check "$damaged: no success printed" [ ! -s "$WORK/stdout.txt" ]
    check "$damaged: told on standard error" grep -q "damaged" "$WORK/stderr.txt"
    check "$damaged: the temp dir empty afterwards" temp_empty
done

# The viewer's exit status becomes the launcher's, and the arguments reach it unchanged.
rm -f "$WORK/record.txt"
QUILLET_TEST_EXIT=7 QUILLET_TEST_RECORD="Z:$(echo "$WORK/record.txt" | tr / '\\')" \
    "$WINE_RUN" "$WORK/publication.exe" "two words" -x > /dev/null 2>&1
status=$?
check "the viewer's status 7 passed on (got $status)" [ "$status" = 7 ]
check "first argument passed on" [ "$(record arg1)" = "two words" ]
check "second argument passed on" [ "$(record arg2)" = "-x" ]
exit $fail
