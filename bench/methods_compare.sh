#!/usr/bin/env bash
# Extraction time per compression method, side by side in one run: `tnzip x` against `7z x` and
# (where it reads the method) `bsdtar -xf`, on one 100 MB text-like file stored with each of
# bzip2, LZMA, xz, zstd, deflate64 (and PPMd when this build reads it). 7-Zip writes the bzip2,
# LZMA, deflate64 and PPMd archives; the xz and zstd entries are assembled from the xz and zstd
# programs' streams. Wall time is the best of RUNS runs, tools taking turns within each round.
#   bench/methods_compare.sh [BUILD_DIR] [WORK_DIR]      (TN_BENCH_MB changes the size,
#   TN_BENCH_METHODS="BZip2 xz" measures only the methods named)
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${1:-$ROOT/build}"
WORK="${2:-$(mktemp -d "${TMPDIR:-/tmp}/tn_methods_bench.XXXXXX")}"
RUNS="${RUNS:-3}"
MB="${TN_BENCH_MB:-100}"
METHODS="${TN_BENCH_METHODS:-BZip2 LZMA xz zstd Deflate64 PPMd}"
wanted() { [[ " $METHODS " == *" $1 "* ]]; }
TNZIP="$BUILD/tools/tnzip"
[ -x "$TNZIP" ] || { echo "build tnzip first ($TNZIP)" >&2; exit 2; }
mkdir -p "$WORK/src"
trap 'rm -rf "$WORK"' EXIT

python3 - "$WORK/src/big.txt" "$MB" <<'PY'
import random, sys
random.seed(1)
words = ["".join(random.choice("abcdefghijklmnopqrstuvwxyz") for _ in range(random.randint(2, 9))) for _ in range(5000)]
limit = int(sys.argv[2]) * 1_000_000
with open(sys.argv[1], "w") as f:
    size = 0
    while size < limit:
        line = " ".join(random.choice(words) for _ in range(12)) + "\n"
        f.write(line)
        size += len(line)
PY

# A one-entry archive whose data is the stream a compressor program wrote (method id given).
assemble() {  # METHOD COMMAND OUT
    python3 - "$1" "$2" "$WORK/src/big.txt" "$3" <<'PY'
import subprocess, sys, zipfile, zlib, struct, time
method, command, src, out = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
data = open(src, "rb").read()
packed = subprocess.run(command, shell=True, input=data, stdout=subprocess.PIPE, check=True).stdout
crc = zlib.crc32(data)
name = b"big.txt"
dos_time, dos_date = 0x6000, 0x5A21
local = struct.pack("<IHHHHHIIIHH", 0x04034B50, 63, 0, method, dos_time, dos_date, crc, len(packed), len(data), len(name), 0) + name
central = struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 0x031E, 63, 0, method, dos_time, dos_date, crc, len(packed),
                      len(data), len(name), 0, 0, 0, 0, 0o100644 << 16, 0) + name
with open(out, "wb") as f:
    f.write(local); f.write(packed)
    cd = f.tell(); f.write(central)
    f.write(struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 1, 1, len(central), cd, 0))
PY
}

declare -A ARCHIVE
for m in BZip2 LZMA Deflate64 PPMd; do
    wanted $m || continue
    (cd "$WORK/src" && 7z a -tzip -mm=$m -bd -bso0 "$WORK/$m.zip" big.txt)
    ARCHIVE[$m]="$WORK/$m.zip"
done
if wanted xz; then assemble 95 "xz -c -6" "$WORK/xz.zip"; ARCHIVE[xz]="$WORK/xz.zip"; fi
if wanted zstd; then assemble 93 "zstd -q -c" "$WORK/zstd.zip"; ARCHIVE[zstd]="$WORK/zstd.zip"; fi

once() {  # COMMAND -> seconds, or "fail"
    rm -rf "$WORK/out"; mkdir -p "$WORK/out"; sync
    local start end
    start=$(date +%s.%N)
    if OUT="$WORK/out" bash -c "$1" > /dev/null 2>&1 && cmp -s "$WORK/out/big.txt" "$WORK/src/big.txt"; then
        end=$(date +%s.%N); awk "BEGIN{print $end - $start}"
    else
        echo fail
    fi
}

printf "%-10s %10s %10s %10s %10s %12s %14s\n" method packed_MB tnzip 7z bsdtar tnzip/7z tnzip/bsdtar
for m in BZip2 LZMA xz zstd Deflate64 PPMd; do
    wanted $m || continue
    a=${ARCHIVE[$m]}
    declare -A CMD=([tnzip]="'$TNZIP' x -q '$a' -d \"\$OUT\"" [7z]="7z x -y -bd -o\"\$OUT\" '$a'"
                    [bsdtar]="bsdtar -xf '$a' -C \"\$OUT\"")
    declare -A T=()
    for _ in $(seq "$RUNS"); do
        for tool in tnzip 7z bsdtar; do
            s=$(once "${CMD[$tool]}")
            if [ "$s" = fail ]; then T[$tool]=fail; continue; fi
            [ "${T[$tool]:-}" = fail ] && continue
            if [ -z "${T[$tool]:-}" ] || awk "BEGIN{exit !($s < ${T[$tool]})}"; then T[$tool]=$s; fi
        done
    done
    ratio() { [ "$1" = fail ] || [ "$2" = fail ] && echo - || awk "BEGIN{printf \"%.2f\", $1/$2}"; }
    printf "%-10s %10.1f %10s %10s %10s %12s %14s\n" "$m" "$(awk "BEGIN{print $(stat -c %s "$a")/1e6}")" \
        "${T[tnzip]}" "${T[7z]}" "${T[bsdtar]}" "$(ratio "${T[tnzip]}" "${T[7z]}")" "$(ratio "${T[tnzip]}" "${T[bsdtar]}")"
done
