#!/usr/bin/env bash
# Whole-extraction comparison, side by side in one run: `tnzip x` against `unzip -q`, `7z x`
# and `bsdtar -xf` (and `cp -r` of the tree as the file-creation floor) on
#   (a) one 200 MB compressible file, deflated;
#   (b) 20,000 small files in 100 folders, deflated.
# Wall time is the best of RUNS runs; peak memory is the largest resident set (/usr/bin/time -v).
#   bench/extract_compare.sh [BUILD_DIR] [WORK_DIR]
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${1:-$ROOT/build}"
WORK="${2:-$(mktemp -d "${TMPDIR:-/tmp}/tn_extract_bench.XXXXXX")}"
RUNS="${RUNS:-3}"
TNZIP="$BUILD/tools/tnzip"
[ -x "$TNZIP" ] || { echo "build tnzip first ($TNZIP)" >&2; exit 2; }
mkdir -p "$WORK"
trap 'rm -rf "$WORK"' EXIT

make_inputs() {
    mkdir -p "$WORK/a_src" "$WORK/b_src"
    # Text-like data: words drawn from a small vocabulary compress about 4:1, like documents.
    python3 - "$WORK/a_src/big.txt" <<'EOF'
import random, sys
random.seed(1)
words = [("".join(random.choice("abcdefghijklmnopqrstuvwxyz") for _ in range(random.randint(2, 9))))
         for _ in range(5000)]
with open(sys.argv[1], "w") as f:
    size = 0
    while size < 200_000_000:
        line = " ".join(random.choice(words) for _ in range(12)) + "\n"
        f.write(line)
        size += len(line)
EOF
    python3 - "$WORK/b_src" <<'EOF'
import os, random, sys
random.seed(2)
root = sys.argv[1]
for d in range(100):
    os.makedirs(f"{root}/d{d:03}", exist_ok=True)
    for i in range(200):
        n = random.randint(200, 4000)
        with open(f"{root}/d{d:03}/f{i:03}.txt", "wb") as f:
            f.write((f"file {d}/{i} " * (n // 12 + 1)).encode()[:n])
EOF
    (cd "$WORK/a_src" && zip -qr "$WORK/a.zip" .)
    (cd "$WORK/b_src" && zip -qr "$WORK/b.zip" .)
}

# once COMMAND: one timed run into a fresh $OUT; prints "seconds peak_kb".
once() {
    rm -rf "$WORK/out"; mkdir -p "$WORK/out"; sync
    OUT="$WORK/out" /usr/bin/time -v -o "$WORK/time.txt" bash -c "$1" > /dev/null 2>&1
    awk -F': ' '/Elapsed \(wall clock\)/ {n=split($2,p,":"); t=0; for(i=1;i<=n;i++) t=t*60+p[i]; s=t}
                /Maximum resident set size/ {kb=$2} END {print s, kb}' "$WORK/time.txt"
}

run_case() {  # LABEL ARCHIVE SRC
    local label=$1 archive=$2 src=$3
    echo "== ($label) $(basename "$archive"): $(du -sh "$src" | cut -f1) in $(find "$src" -type f | wc -l) files"
    declare -A CMD T M
    CMD[tnzip]="'$TNZIP' x '$archive' \"\$OUT\""
    CMD[unzip]="unzip -q -o '$archive' -d \"\$OUT\""
    CMD[7z]="7z x -y -bd -o\"\$OUT\" '$archive'"
    CMD[bsdtar]="bsdtar -xf '$archive' -C \"\$OUT\""
    CMD[cp]="cp -r '$src/.' \"\$OUT\""
    local tools="tnzip unzip 7z bsdtar cp"
    # Tools take turns within each round, so a change in the machine's load hits all alike.
    for _ in $(seq "$RUNS"); do
        for tool in $tools; do
            read -r s kb < <(once "${CMD[$tool]}")
            if [ -z "${T[$tool]:-}" ] || awk "BEGIN{exit !($s < ${T[$tool]})}"; then T[$tool]=$s; fi
            [ "$kb" -gt "${M[$tool]:-0}" ] && M[$tool]=$kb
        done
    done
    printf "%-8s %10s %12s\n" tool seconds peak_MB
    for tool in $tools; do
        printf "%-8s %10.3f %12.1f\n" "$tool" "${T[$tool]}" "$(awk "BEGIN{print ${M[$tool]}/1024}")"
    done
    local fastest=${T[unzip]}
    for tool in 7z bsdtar; do awk "BEGIN{exit !(${T[$tool]} < $fastest)}" && fastest=${T[$tool]}; done
    echo "tnzip / fastest peer: $(awk "BEGIN{printf \"%.2f\", ${T[tnzip]}/$fastest}")" \
         " tnzip / unzip: $(awk "BEGIN{printf \"%.2f\", ${T[tnzip]}/${T[unzip]}}")" \
         " tnzip / cp -r: $(awk "BEGIN{printf \"%.2f\", ${T[tnzip]}/${T[cp]}}")"
}

make_inputs
run_case a "$WORK/a.zip" "$WORK/a_src"
run_case b "$WORK/b.zip" "$WORK/b_src"
