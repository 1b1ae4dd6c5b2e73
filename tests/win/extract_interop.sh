#!/usr/bin/env bash
# Extraction interop under wine: archives made on Linux by Info-ZIP zip, 7-Zip and Python's
# zipfile (stored, deflated, traditional and AES encryption, ZIP64 records, UTF-8 names) are
# extracted by tnzip.exe and must give the same tree as the Linux tnzip, byte for byte, with
# the same names and modification times, and the source's content. Environment: WINE_RUN,
# TNZIP, LINUX_TNZIP, WORK.
set -uo pipefail
fail=0
rm -rf "$WORK" && mkdir -p "$WORK/src/sub/deeper" "$WORK/src/ünïcødé"
cd "$WORK"
echo "hello" > src/a.txt
: > src/empty.txt
head -c 300000 /dev/urandom > src/sub/random.bin
yes "compressible line of text" | head -c 500000 > src/sub/deeper/text.txt
echo "accented" > "src/ünïcødé/straße.txt"
find src -exec touch -d '2021-06-15 10:20:30' {} +

zip -qr -X plain.zip src
zip -qr -X -0 stored.zip src
zip -qr -X -P secret zipcrypto.zip src
7z a -tzip -bd -bso0 -mem=AES256 -psecret aes256.zip src
7z a -tzip -bd -bso0 -mx=9 seven.zip src
python3 - <<'PY'
import os, zipfile
with zipfile.ZipFile("python64.zip", "w", zipfile.ZIP_DEFLATED) as z:
    for root, dirs, files in os.walk("src"):
        for name in sorted(files):
            path = os.path.join(root, name)
            info = zipfile.ZipInfo.from_file(path)
            info.compress_type = zipfile.ZIP_DEFLATED
            with open(path, "rb") as f, z.open(info, "w", force_zip64=True) as out:
                out.write(f.read())
PY

# Folders that no entry names (Python's zipfile writes none) are made when extracted: their times
# are the moment of each run, which two runs a minute boundary apart do not share.
listing() {  # listing DIR [dir-times]
    (cd "$1" && find . -type f -printf '%P %y %s %TY-%Tm-%Td %TH:%TM\n'
        if [ "${2:-}" = dir-times ]; then find . -type d -printf '%P %y %TY-%Tm-%Td %TH:%TM\n'
        else find . -type d -printf '%P %y\n'; fi) | sort
}

same_tree() {  # same_tree LINUX_OUT WINDOWS_OUT [dir-times]: names, bytes and times alike; content as in src
    diff -r "$1" "$2" > /dev/null && cmp -s <(listing "$1" "${3:-}") <(listing "$2" "${3:-}") || return 1
    cmp -s src/sub/deeper/text.txt "$2/src/sub/deeper/text.txt" && cmp -s src/sub/random.bin "$2/src/sub/random.bin"
}

for archive in plain stored zipcrypto aes256 seven python64; do
    password=()
    case $archive in zipcrypto|aes256) password=(-P secret) ;; esac
    rm -rf "out-$archive" "linux-$archive"
    "$LINUX_TNZIP" x "$archive.zip" -d "linux-$archive" "${password[@]}" > /dev/null 2>&1
    "$WINE_RUN" "$TNZIP" x "$archive.zip" -d "out-$archive" "${password[@]}" > "log-$archive.txt" 2>&1
    rc=$?
    dirTimes=dir-times
    [ "$archive" = python64 ] && dirTimes=""
    if [ $rc -eq 0 ] && same_tree "linux-$archive" "out-$archive" "$dirTimes"; then
        echo "ok   $archive"
    else
        echo "FAIL $archive (exit $rc)"; cat "log-$archive.txt"; diff <(listing "linux-$archive" "$dirTimes") <(listing "out-$archive" "$dirTimes"); fail=1
    fi
done

# A wrong password fails and says so.
"$WINE_RUN" "$TNZIP" x aes256.zip -d out-wrong -P wrong > log-wrong.txt 2>&1 < /dev/null
rc=$?
if [ $rc -eq 82 ]; then echo "ok   wrong password refused"; else echo "FAIL wrong password: exit $rc"; fail=1; fi

# Without a password and without a console: "password required", unzip's status 82.
"$WINE_RUN" "$TNZIP" x aes256.zip -d out-none > log-none.txt 2>&1 < /dev/null
rc=$?
if [ $rc -eq 82 ] && grep -q "password required" log-none.txt; then echo "ok   no password: 82"
else echo "FAIL no password: exit $rc"; cat log-none.txt; fail=1; fi
exit $fail
