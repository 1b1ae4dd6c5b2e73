#!/usr/bin/env bash
# A shrink bomb side by side in one run: one shrunk (method 1) entry of about 215 KB that expands
# to 1 GB of 'a's, extracted by `tnzip x`, `7z x` and `unzip -q` (when present). Prints the
# best wall time of RUNS runs and the peak resident set of each (/usr/bin/time -v); tnzip's peak
# should stay far below 64 MB, since the entry decodes as it streams.
#   bench/shrink_bomb.sh [BUILD_DIR] [WORK_DIR]
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${1:-$ROOT/build}"
WORK="${2:-$(mktemp -d "${TMPDIR:-/tmp}/tn_shrink_bomb.XXXXXX")}"
RUNS="${RUNS:-3}"
TNZIP="$BUILD/tools/tnzip"
[ -x "$TNZIP" ] || { echo "build tnzip first ($TNZIP)" >&2; exit 2; }
mkdir -p "$WORK"
trap 'rm -rf "$WORK"' EXIT

# The stream: 'a', then every code is the one being defined (code k spells k - 255 'a's) up to
# 8,191, with the width raised (256, 1) before codes 512, 1024, 2048 and 4096; then code 8,191
# (7,936 bytes) repeats until the output reaches 1 GB.
python3 - "$WORK/bomb.zip" <<'EOF'
import struct, sys, zlib
target = 1 << 30
bits, nbits, out = 0, 0, bytearray()
def put(value, width):
    global bits, nbits
    bits |= value << nbits
    nbits += width
    while nbits >= 8:
        out.append(bits & 0xFF)
        bits >>= 8
        nbits -= 8
put(ord('a'), 9)
size, width = 1, 9
for code in range(257, 8192):
    if code == 1 << width:
        put(256, width); put(1, width); width += 1
    put(code, width)
    size += code - 255
repeats = (target - size) // 7936
for _ in range(repeats):
    put(8191, 13)
size += repeats * 7936
if nbits:
    out.append(bits & 0xFF)
crc, block = 0, b'a' * 7936
crc = zlib.crc32(b'a' * (size - repeats * 7936), crc)
for _ in range(repeats):
    crc = zlib.crc32(block, crc)
name = b"bomb.txt"
local = struct.pack("<IHHHHHIIIHH", 0x04034B50, 10, 0, 1, 0, 0x21, crc, len(out), size, len(name), 0) + name
central = struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 10, 10, 0, 1, 0, 0x21, crc, len(out), size,
                      len(name), 0, 0, 0, 0, 0, 0) + name
end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 1, 1, len(central), len(local) + len(out), 0)
with open(sys.argv[1], "wb") as f:
    f.write(local + out + central + end)
print(f"bomb.zip: {len(local) + len(out) + len(central) + len(end)} bytes, entry of {size} bytes")
EOF

once() {  # COMMAND -> "seconds peak_kb exit"
    rm -rf "$WORK/out"; mkdir -p "$WORK/out"
    local rc=0
    OUT="$WORK/out" /usr/bin/time -v -o "$WORK/time.txt" bash -c "$1" > /dev/null 2>&1 || rc=$?
    awk -F': ' -v rc="$rc" '/Elapsed \(wall clock\)/ {n=split($2,p,":"); t=0; for(i=1;i<=n;i++) t=t*60+p[i]; s=t}
                /Maximum resident set size/ {kb=$2} END {print s, kb, rc}' "$WORK/time.txt"
}

declare -A CMD
CMD[tnzip]="'$TNZIP' x '$WORK/bomb.zip' -d \"\$OUT\""
command -v 7z > /dev/null && CMD[7z]="7z x -y -bd -o\"\$OUT\" '$WORK/bomb.zip'"
command -v unzip > /dev/null && CMD[unzip]="unzip -q -o '$WORK/bomb.zip' -d \"\$OUT\""
printf "%-8s %10s %12s %6s %12s\n" tool best_s peak_MB exit output_MB
for tool in tnzip 7z unzip; do
    [ -n "${CMD[$tool]:-}" ] || continue
    best=""; peak=0; code=0
    for _ in $(seq "$RUNS"); do
        read -r s kb rc < <(once "${CMD[$tool]}")
        [ -z "$best" ] || awk -v a="$s" -v b="$best" 'BEGIN {exit !(a < b)}' && best=$s
        [ "$kb" -gt "$peak" ] && peak=$kb
        code=$rc
    done
    bytes=$(find "$WORK/out" -type f -printf '%s\n' | awk '{s+=$1} END {print s+0}')
    printf "%-8s %10s %12.1f %6s %12.1f\n" "$tool" "$best" "$(echo "$peak / 1024" | bc -l)" "$code" "$(echo "$bytes / 1048576" | bc -l)"
done
