#!/usr/bin/env bash
# Whole-extraction comparison, side by side in one run: `tnzip x` against `unzip -q`, `7z x`
# and `bsdtar -xf` (and `cp -r` of the tree as the file-creation floor) on
#   (a) one 200 MB file of publication pages (HTML markup around words of a Zipf-distributed
#       vocabulary), deflated about 4.8:1 like real documents;
#   (b) the same file deflated and encrypted with WinZip AES-256 (7z and bsdtar can read it);
#   (c) the same file deflated and encrypted with traditional ZIP encryption;
#   (d) 20,000 small files in 100 folders, deflated, with `tar x` of an uncompressed tar of the
#       same files as the floor;
#   (e) 100 MB of random bytes stored (not compressed) under traditional encryption, so that
#       decryption, CRC and writing are all there is to it;
#   (f) one 200 MB file of words drawn evenly from 5,000 random ones, which deflates only about
#       2.1:1: twice the compressed data of (a) for the same output, so decoding dominates.
# Wall time is the median of RUNS runs (default 5); peak memory is the largest resident set.
#   bench/extract_compare.sh [BUILD_DIR] [WORK_DIR]
#   CASES="a d" bench/extract_compare.sh   runs only some of the cases
#   FRESH_FS=1 bench/extract_compare.sh     each run on a newly made file system (root)
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${1:-$ROOT/build}"
WORK="${2:-$(mktemp -d "${TMPDIR:-/tmp}/tn_extract_bench.XXXXXX")}"
RUNS="${RUNS:-5}"
CASES="${CASES:-a b c d e f}"
PASSWORD="bench-Password-1"
TNZIP="$BUILD/tools/tnzip"
[ -x "$TNZIP" ] || { echo "build tnzip first ($TNZIP)" >&2; exit 2; }
mkdir -p "$WORK"
trap 'mountpoint -q "$WORK/mnt" && umount "$WORK/mnt"; rm -rf "$WORK"' EXIT
if [ -n "${FRESH_FS:-}" ]; then
    mkdir -p "$WORK/mnt"
    truncate -s 2G "$WORK/fs.img"
fi

wants() { [[ " $CASES " == *" $1 "* ]]; }

# Makes only the inputs of the chosen cases.
make_inputs() {
    if wants a || wants b || wants c; then
        mkdir -p "$WORK/a_src"
        python3 - "$WORK/a_src/pages.html" <<'EOF'
import itertools, random, sys
random.seed(1)
vocabulary = ["".join(random.choice("abcdefghijklmnopqrstuvwxyz") for _ in range(random.randint(2, 9)))
              for _ in range(1000)]
weights = list(itertools.accumulate(1.0 / (i + 1) ** 1.1 for i in range(len(vocabulary))))
def words(n):
    return " ".join(random.choices(vocabulary, cum_weights=weights, k=n))
with open(sys.argv[1], "w") as f:
    size = page = 0
    while size < 200_000_000:
        parts = [f'<div class="page" id="p{page}">\n<nav class="menu"><a href="index.html">Contents</a> | '
                 f'<a href="page{page - 1}.html">Previous</a> | <a href="page{page + 1}.html">Next</a> | '
                 f'<a href="search.html">Search</a></nav>\n<h2 class="title">{words(4)}</h2>\n']
        for _ in range(random.randint(3, 8)):
            parts.append(f'<p class="para">{words(random.randint(8, 30))} '
                         f'<a href="page{random.randint(0, 999)}.html" class="link">{words(2)}</a>.</p>\n')
        parts.append("</div>\n")
        text = "".join(parts)
        f.write(text)
        size += len(text)
        page += 1
EOF
    fi
    if wants f; then
        mkdir -p "$WORK/f_src"
        python3 - "$WORK/f_src/words.txt" <<'EOF'
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
        (cd "$WORK/f_src" && zip -qr "$WORK/f.zip" .)
    fi
    if wants d; then
        mkdir -p "$WORK/b_src"
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
        (cd "$WORK/b_src" && zip -qr "$WORK/b.zip" .)
        tar cf "$WORK/b.tar" -C "$WORK/b_src" .
    fi
    if wants a; then (cd "$WORK/a_src" && zip -qr "$WORK/a.zip" .); fi
    if wants b; then (cd "$WORK/a_src" && 7z a -bd -tzip -mem=AES256 -p"$PASSWORD" "$WORK/aes.zip" . > /dev/null); fi
    if wants c; then (cd "$WORK/a_src" && zip -qr -P "$PASSWORD" "$WORK/trad.zip" .); fi
    if wants e; then
        mkdir -p "$WORK/e_src"
        head -c 100000000 /dev/urandom > "$WORK/e_src/random.bin"
        (cd "$WORK/e_src" && zip -q -0 -P "$PASSWORD" "$WORK/stored_trad.zip" random.bin)
    fi
}

# once COMMAND: one timed run into a fresh $OUT; prints "seconds peak_kb", or "fail 0" when
# the command failed. With FRESH_FS set, $OUT lies on an ext4 file system made anew for the run
# (a loop-mounted image; needs root): on a file system that has just deleted the previous run's
# 20,000 files, ext4 spends most of the next run skipping their inodes, which measures the file
# system's history more than the tool.
once() {
    local out="$WORK/out"
    if [ -n "${FRESH_FS:-}" ]; then
        mkfs.ext4 -q -F "$WORK/fs.img" && mount -o loop "$WORK/fs.img" "$WORK/mnt" || { echo "fail 0"; return; }
        out="$WORK/mnt/out"
    fi
    rm -rf "$out"; mkdir -p "$out"; sync
    local t0=$EPOCHREALTIME
    local ok=1
    OUT="$out" /usr/bin/time -f "%M" -o "$WORK/time.txt" bash -c "$1" > /dev/null 2>&1 || ok=0
    local t1=$EPOCHREALTIME
    [ -n "${FRESH_FS:-}" ] && umount "$WORK/mnt"
    if [ "$ok" = 0 ]; then echo "fail 0"; return; fi
    echo "$(awk "BEGIN{print $t1 - $t0}") $(tail -n 1 "$WORK/time.txt")"
}

median() { sort -g | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }

ratio() { awk "BEGIN{printf \"%.2f\", $1/$2}"; }

run_case() {  # LABEL ARCHIVE SRC "TOOLS" [FLOOR]
    local label=$1 archive=$2 src=$3 tools=$4
    echo "== ($label) $(basename "$archive"): $(du -sh "$src" | cut -f1) in $(find "$src" -type f | wc -l) files"
    declare -A CMD S M T
    CMD[tnzip]="'$TNZIP' x '$archive' -d \"\$OUT\" -P '$PASSWORD'"
    CMD[unzip]="unzip -q -o -P '$PASSWORD' '$archive' -d \"\$OUT\""
    CMD[7z]="7z x -y -bd -p'$PASSWORD' -o\"\$OUT\" '$archive'"
    CMD[bsdtar]="bsdtar -xf '$archive' --passphrase '$PASSWORD' -C \"\$OUT\""
    CMD[cp]="cp -r '$src/.' \"\$OUT\""
    CMD[tar]="tar xf '$WORK/b.tar' -C \"\$OUT\""
    # Tools take turns within each round, so a change in the machine's load hits all alike.
    for _ in $(seq "$RUNS"); do
        for tool in $tools; do
            read -r s kb < <(once "${CMD[$tool]}")
            S[$tool]="${S[$tool]:-} $s"
            [ "$kb" -gt "${M[$tool]:-0}" ] && M[$tool]=$kb
        done
    done
    printf "%-8s %10s %12s\n" tool median_s peak_MB
    for tool in $tools; do
        if [[ "${S[$tool]}" == *fail* ]]; then
            printf "%-8s %10s\n" "$tool" "fails"
            continue
        fi
        T[$tool]=$(tr ' ' '\n' <<< "${S[$tool]}" | grep . | median)
        printf "%-8s %10.3f %12.1f\n" "$tool" "${T[$tool]}" "$(awk "BEGIN{print ${M[$tool]}/1024}")"
    done
    local fastest="" who=""
    for tool in unzip 7z bsdtar; do
        [ -n "${T[$tool]:-}" ] || continue
        if [ -z "$fastest" ] || awk "BEGIN{exit !(${T[$tool]} < $fastest)}"; then fastest=${T[$tool]}; who=$tool; fi
    done
    local line="tnzip / fastest peer ($who): $(ratio "${T[tnzip]}" "$fastest")"
    for tool in unzip 7z tar cp; do
        [ -n "${T[$tool]:-}" ] && line+="  tnzip / $tool: $(ratio "${T[tnzip]}" "${T[$tool]}")"
    done
    echo "$line"
}

make_inputs
for c in $CASES; do
    case $c in
        a) run_case a "$WORK/a.zip" "$WORK/a_src" "tnzip unzip 7z bsdtar cp" ;;
        b) run_case b "$WORK/aes.zip" "$WORK/a_src" "tnzip 7z bsdtar" ;;
        c) run_case c "$WORK/trad.zip" "$WORK/a_src" "tnzip unzip 7z bsdtar" ;;
        d) run_case d "$WORK/b.zip" "$WORK/b_src" "tnzip unzip 7z bsdtar tar cp" ;;
        e) run_case e "$WORK/stored_trad.zip" "$WORK/e_src" "tnzip unzip 7z" ;;
        f) run_case f "$WORK/f.zip" "$WORK/f_src" "tnzip unzip 7z bsdtar cp" ;;
    esac
done
