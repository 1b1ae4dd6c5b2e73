#!/usr/bin/env bash
# Builds the project on Debian 12 and runs its main job or its tests.
#   tools/build.sh run       install packages, build everything (which packs the sample
#                            publication), then start the packed publication
#   tools/build.sh test      install packages, build, run the tests
#   tools/build.sh sanitize  install packages, build with ASan+UBSan, run the tests
#   tools/build.sh tsan      install packages, build with ThreadSanitizer, run the suites whose
#                            code runs on threads of its own
#   tools/build.sh deps      install packages only
#   tools/build.sh windows   cross-build the Windows programs into build-win/ (MinGW-w64),
#                            which packs build-win/bin/velmora-field-guide.exe
#   tools/build.sh windows-test  the same, then run the Windows tests under wine on a
#                            virtual display
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES="build-essential cmake ninja-build pkg-config clang python3 perl \
  libbz2-dev liblzma-dev libzstd-dev libgcrypt20-dev libgtk-3-dev libzip-dev zlib1g-dev \
  libgtest-dev libbenchmark-dev libdeflate-dev zip unzip p7zip-full libarchive-tools xvfb xauth \
  icu-devtools locales clang-format"

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

WIN_PACKAGES="g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64 \
  libgcrypt-mingw-w64-dev googletest wine wine64 xvfb xauth zip p7zip-full"

TSAN_SUITES='^(ReadAheadSource|Bzip2Parallel|WinZipAes|Launcher|QuilletPack|ExtractMethods|Pipeline|ZipPipeline)'
TSAN_LEFT_OUT='^(LauncherDialogTest|LauncherStub\.LinksOnlyLibrariesEveryDesktopHas|LauncherRunTest\.RunsTheViewerFromAFreshPrivateFolderAndRemovesEverything)'

deps_windows() { PACKAGES="$PACKAGES $WIN_PACKAGES" deps; }

# The Windows build needs the Linux build's stamper and packer (and its screen probe).
build_windows() {
    deps_windows
    cmake -S . -B build -G Ninja > /dev/null
    cmake --build build -j "$(nproc)" --target quillet-stamp quillet-pack tnzip
    build build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
        -DTN_HOST_STAMP="$PWD/build/tools/quillet-stamp" -DTN_HOST_PACK="$PWD/build/bin/quillet-pack" \
        -DTN_HOST_TNZIP="$PWD/build/tools/tnzip"
}

# Wine on a virtual display, in a prefix of the build's own. wineserver and the first wine
# process start with their output on /dev/null: helpers that inherit CTest's pipes would keep
# it waiting forever. Every wine call has a timeout (tools/wine-run.sh).
test_windows() {
    local prefix="$PWD/build-win/wine-prefix" temp="$PWD/build-win/wine-temp"
    xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
        set -euo pipefail
        export TN_WINE_PREFIX="$1" WINEPREFIX="$1"
        bash tools/wine-setup.sh "$1" "$2"
        timeout 30 wineserver -p 60 < /dev/null > /dev/null 2>&1 || true
        TN_WINE_TIMEOUT=60 bash tools/wine-run.sh cmd /c exit 0 < /dev/null > /dev/null 2>&1 || true
        rc=0
        ctest --test-dir build-win --output-on-failure --timeout 600 || rc=$?
        timeout 30 wineserver -k || true
        exit $rc' bash "$prefix" "$temp"
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
    tsan)
        deps
        build build-tsan -DTN_BENCH=OFF "-DCMAKE_CXX_FLAGS=-fsanitize=thread -g" \
            "-DCMAKE_C_FLAGS=-fsanitize=thread -g" -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread
        # Read-ahead, bzip2 block workers, AES ahead, the launcher's digest and the packer's
        # interrupt watcher. Left out: the dialog tests (GTK and fontconfig are not instrumented,
        # so their own threads read as races), the stub's link check (the runtime is linked in)
        # and the run test that bounds the viewer's start in time.
        TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build-tsan --output-on-failure -j "$(nproc)" -LE long \
            -R "$TSAN_SUITES" -E "$TSAN_LEFT_OUT"
        ;;
    windows) build_windows ;;
    windows-test)
        build_windows
        test_windows
        ;;
    *) echo "usage: tools/build.sh run|test|sanitize|tsan|deps|windows|windows-test" >&2; exit 2 ;;
esac
