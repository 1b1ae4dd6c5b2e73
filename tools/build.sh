#!/usr/bin/env bash
# Builds the project on Debian 12 and runs its main job or its tests.
#   tools/build.sh run       install packages, build everything (which packs the sample
#                            publication), then start the packed publication
#   tools/build.sh test      install packages, build, run the tests
#   tools/build.sh sanitize  install packages, build with ASan+UBSan, run the tests
#   tools/build.sh deps      install packages only
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES="build-essential cmake ninja-build pkg-config clang python3 perl \
  libbz2-dev liblzma-dev libzstd-dev libgcrypt20-dev libgtk-3-dev libzip-dev zlib1g-dev \
  libgtest-dev libbenchmark-dev libdeflate-dev zip unzip p7zip-full libarchive-tools xvfb xauth \
  icu-devtools locales"

deps() {
    local missing=()
    for p in $PACKAGES; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    # root installs directly (a fresh container has no sudo); anyone else needs sudo
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then
        command -v sudo > /dev/null || { echo "missing packages: ${missing[*]}; run as root or install sudo" >&2; exit 1; }
        sudo="sudo"
    fi
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

build() {  # build DIR [cmake options...]
    local dir=$1; shift
    cmake -S . -B "$dir" -G Ninja "$@" > /dev/null
    cmake --build "$dir" -j "$(nproc)"
}

case "${1:-}" in
    deps) deps ;;
    run)
        deps
        build build
        # Without a display the viewer prints the publication's table of contents.
        ./build/examples/velmora-field-guide
        ;;
    test)
        deps
        build build
        ctest --test-dir build --output-on-failure -j "$(nproc)"
        ;;
    sanitize)
        deps
        build build-san -DTN_SANITIZE=ON -DTN_BENCH=OFF
        ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
            ctest --test-dir build-san --output-on-failure -j "$(nproc)" -LE long
        ;;
    *) echo "usage: tools/build.sh run|test|sanitize|deps" >&2; exit 2 ;;
esac
