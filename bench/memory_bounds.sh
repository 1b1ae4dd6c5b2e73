#!/usr/bin/env bash
# Memory that an archive can make an extraction take, side by side in one run. Three archives:
#   a  a 300 MB WinZip AES-256 entry behind a data descriptor (7-Zip's archive, rewritten so that
#      its sizes follow the data), extracted with the right and with a wrong password;
#   z  a 33 KB archive whose zstd frame asks for a 1 GiB window (1 GiB of zeros);
#   x  an xz entry whose dictionary is 512 MiB (600 MB of zeros; compressed with a small
#      dictionary, the block header then edited to ask for 512 MiB).
# Each goes through `tnzip x` (and BEFORE_TNZIP, an older build, when given), 7z, bsdtar and
# unzip where they read the method; prints the median wall time of RUNS runs, the peak resident
# set (/usr/bin/time -v), the exit status and what was written.
#   bench/memory_bounds.sh [BUILD_DIR] [WORK_DIR]      CASES="a z x" RUNS=3 BEFORE_TNZIP=path
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${1:-$ROOT/build}"
WORK="${2:-$(mktemp -d "${TMPDIR:-/tmp}/tn_memory_bounds.XXXXXX")}"
RUNS="${RUNS:-3}"
CASES="${CASES:-a z x}"
TNZIP="$BUILD/tools/tnzip"
[ -x "$TNZIP" ] || { echo "build tnzip first ($TNZIP)" >&2; exit 2; }
mkdir -p "$WORK"
trap 'rm -rf "$WORK"' EXIT

# Writes a one-entry archive around data that is already compressed: zipentry OUT NAME METHOD
# DATA_FILE CRC SIZE.
zipentry() {
    python3 - "$@" <<'EOF'
import struct, sys
out, name, method, data_file, crc, size = sys.argv[1], sys.argv[2].encode(), int(sys.argv[3]), sys.argv[4], int(sys.argv[5]), int(sys.argv[6])
data = open(data_file, "rb").read()
local = struct.pack("<IHHHHHIIIHH", 0x04034B50, 63, 0, method, 0, 0x21, crc, len(data), size, len(name), 0) + name
central = struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 63, 63, 0, method, 0, 0x21, crc, len(data), size,
                      len(name), 0, 0, 0, 0, 0, 0) + name
end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 1, 1, len(central), len(local) + len(data), 0)
with open(out, "wb") as f:
    f.write(local + data + central + end)
print(f"{out}: {len(local) + len(data) + len(central) + len(end)} bytes, entry of {size} bytes")
EOF
}

crc_of_zeros() {  # BYTES -> CRC-32 of that many zero bytes
    python3 -c "
import sys, zlib
n, crc, block = int(sys.argv[1]), 0, bytes(1 << 20)
while n: k = min(n, len(block)); crc = zlib.crc32(block[:k], crc); n -= k
print(crc)" "$1"
}

make_aes() {
    head -c 300000000 /dev/urandom > "$WORK/big.bin"
    (cd "$WORK" && 7z a -tzip -mx=0 -psecret -mem=AES256 -bd -bso0 aes_plain.zip big.bin)
    rm -f "$WORK/big.bin"
    # The same entry with its sizes and CRC behind the data: 0 in the local header, flag bit 3.
    python3 - "$WORK/aes_plain.zip" "$WORK/aes.zip" <<'EOF'
import struct, sys
src = open(sys.argv[1], "rb").read()
sig, ver, flags, method, tim, dat, crc, csize, usize, n, e = struct.unpack("<IHHHHHIIIHH", src[:30])
name, extra = src[30:30 + n], src[30 + n:30 + n + e]
data = src[30 + n + e:30 + n + e + csize]
cd = src.index(b"PK\x01\x02")
cextra_len, ccomment_len = struct.unpack("<HH", src[cd + 30:cd + 34])
cextra = src[cd + 46 + n:cd + 46 + n + cextra_len]
local = struct.pack("<IHHHHHIIIHH", sig, ver, flags | 8, method, tim, dat, 0, 0, 0, n, e) + name + extra
desc = struct.pack("<IIII", 0x08074B50, crc, csize, usize)
central = struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 0x031E, ver, flags | 8, method, tim, dat, crc, csize, usize,
                      n, len(cextra), 0, 0, 0, 0, 0) + name + cextra
end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 1, 1, len(central), len(local) + len(data) + len(desc), 0)
with open(sys.argv[2], "wb") as f:
    f.write(local + data + desc + central + end)
EOF
    rm -f "$WORK/aes_plain.zip"
    echo "aes.zip: $(stat -c %s "$WORK/aes.zip") bytes, one WinZip AES-256 entry of 300 MB behind a descriptor"
}

make_zstd() {
    local size=$((1 << 30))
    head -c "$size" /dev/zero | zstd -q -3 --long=30 -c > "$WORK/zstd.bin"
    zipentry "$WORK/zstd.zip" zeros.bin 93 "$WORK/zstd.bin" "$(crc_of_zeros "$size")" "$size"
}

make_xz() {
    local size=600000000
    head -c "$size" /dev/zero | xz -q --check=crc32 --lzma2=preset=0,dict=1MiB -c > "$WORK/xz.bin"
    # The block header after the 12-byte stream header: size, flags, optional sizes, then the
    # LZMA2 filter (id 0x21, one property byte: the dictionary code; 34 is 512 MiB), CRC-32 last.
    python3 - "$WORK/xz.bin" <<'EOF'
import struct, sys, zlib
path = sys.argv[1]
b = bytearray(open(path, "rb").read())
at = 12
size, flags, p = (b[at] + 1) * 4, b[at + 1], at + 2
for bit in (0x40, 0x80):
    if flags & bit:
        while b[p] & 0x80: p += 1
        p += 1
assert b[p:p + 2] == b"\x21\x01"
b[p + 2] = 34
b[at + size - 4:at + size] = struct.pack("<I", zlib.crc32(bytes(b[at:at + size - 4])))
open(path, "wb").write(b)
EOF
    zipentry "$WORK/xz.zip" zeros.bin 95 "$WORK/xz.bin" "$(crc_of_zeros "$size")" "$size"
}

once() {  # COMMAND -> "seconds peak_kb exit"
    rm -rf "$WORK/out"; mkdir -p "$WORK/out"
    local rc=0
    OUT="$WORK/out" /usr/bin/time -v -o "$WORK/time.txt" bash -c "$1" > /dev/null 2>&1 || rc=$?
    awk -F': ' -v rc="$rc" '/Elapsed \(wall clock\)/ {n=split($2,p,":"); t=0; for(i=1;i<=n;i++) t=t*60+p[i]; s=t}
                /Maximum resident set size/ {kb=$2} END {print s, kb, rc}' "$WORK/time.txt"
}

# Runs one command RUNS times; prints the row: label, median seconds, peak MB, exit, output MB.
row() {
    local label="$1" cmd="$2" times=() peak=0 code=0
    for _ in $(seq "$RUNS"); do
        read -r s kb rc < <(once "$cmd")
        times+=("$s")
        [ "$kb" -gt "$peak" ] && peak=$kb
        code=$rc
    done
    local median bytes
    median=$(printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
    bytes=$(find "$WORK/out" -type f -printf '%s\n' | awk '{s+=$1} END {print s+0}')
    printf "%-28s %9s %10.1f %5s %10.1f\n" "$label" "$median" "$(echo "$peak / 1024" | bc -l)" "$code" \
        "$(echo "$bytes / 1048576" | bc -l)"
}

# Every reader of ARCHIVE with password PW (empty: none); SUFFIX labels the rows.
readers() {
    local archive="$1" pw="$2" suffix="$3" p7="" pt="" pb="" pu=""
    if [ -n "$pw" ]; then p7="-p$pw"; pt="-p $pw"; pb="--passphrase $pw"; pu="-P $pw"; fi
    row "tnzip$suffix" "'$TNZIP' x '$archive' -d \"\$OUT\" -q $pu"
    # BEFORE_TNZIP is a build from before tnzip took unzip's arguments (folder second, -p PASSWORD).
    [ -n "${BEFORE_TNZIP:-}" ] && row "tnzip-before$suffix" "'$BEFORE_TNZIP' x '$archive' \"\$OUT\" -q $pt"
    command -v 7z > /dev/null && row "7z$suffix" "7z x -y -bd $p7 -o\"\$OUT\" '$archive'"
    command -v bsdtar > /dev/null && row "bsdtar$suffix" "bsdtar -xf '$archive' $pb -C \"\$OUT\""
    command -v unzip > /dev/null && row "unzip$suffix" "unzip -q -o $pu '$archive' -d \"\$OUT\""
    return 0
}

printf "%-28s %9s %10s %5s %10s\n" case/tool median_s peak_MB exit out_MB
for c in $CASES; do
    case "$c" in
        a) make_aes; readers "$WORK/aes.zip" secret " aes"; readers "$WORK/aes.zip" wrong " aes wrong-pw" ;;
        z) make_zstd; readers "$WORK/zstd.zip" "" " zstd-1GiB" ;;
        x) make_xz; readers "$WORK/xz.zip" "" " xz-512MiB" ;;
    esac
done
