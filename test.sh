#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test through CTest:
#   1. the debug build's tests (build/), with the permission cases that need root when run as root;
#   2. Windows: Qt for MinGW built once from Debian's source and cached, the whole program and all its tests
#      cross-built (build-win/), every test run under Wine on a private X display, and a smoke run of the real
#      datamaint.exe from the file to hand out (scripts/make-dist.sh), driven from the keyboard in a Chinese Windows
#      (code page 936) from a folder with a Chinese name;
#   3. everything again under AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/).
# Exits non-zero on any failure.
#   ./test.sh          everything
#   ./test.sh --quick  the first step only
set -euo pipefail
cd "$(dirname "$0")"
. scripts/ensure-packages.sh

ensure_packages "${BUILD_PACKAGES[@]}" libgtest-dev googletest clang-format

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
export CTEST_OUTPUT_ON_FAILURE=1
quick=$([ "${1:-}" = --quick ] && echo yes || echo no)
started=$SECONDS
took() { echo "   ($(( (SECONDS - $1) / 60 )) min $(( (SECONDS - $1) % 60 )) s)"; }

run_suite() {
    local dir=$1
    shift
    cmake -S . -B "$dir" -G Ninja -DDATAMAINT_WERROR=ON "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
    (cd "$dir" && ctest -j "$jobs" --timeout 600)
}

echo "== formatting"
git ls-files -- '*.cpp' '*.h' | xargs clang-format --dry-run -Werror

echo "== tests"
step=$SECONDS
run_suite build -DCMAKE_BUILD_TYPE=Debug
took $step

[ "$quick" = no ] || exit 0

# The whole program for Windows, its tests under Wine and a smoke run of the real executable. Wine runs in a
# throwaway prefix with a persistent wineserver (without one, every test waits seconds for Wine to shut down), on a
# private Xvfb display: the windows are real Windows windows there, one test at a time.
windows() {
    ensure_packages g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 wine64 fonts-wine fonts-noto-cjk xvfb xauth \
        xdotool xclip imagemagick zip unzip
    echo "== Windows: Qt for MinGW"
    local qt step=$SECONDS
    qt=$(scripts/build-qt-mingw.sh | tail -n 1)
    took $step
    echo "== Windows: the whole program and its tests, cross-built"
    step=$SECONDS
    scripts/configure-windows.sh build-win "$qt" -DCMAKE_BUILD_TYPE=Debug -DDATAMAINT_WERROR=ON >/dev/null
    cmake --build build-win -j "$jobs"
    took $step

    local display
    # Global, not local: the exit trap below may run after this function has been left.
    work=$(mktemp -d /tmp/datamaint-wine.XXXXXX)
    display=$(for n in $(seq 90 130); do [ -e "/tmp/.X11-unix/X$n" ] || { echo "$n"; break; }; done)
    Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb=$!
    export DISPLAY=":$display" WINEDEBUG=-all LC_ALL=C.UTF-8 WINEPREFIX=$work/root
    stop_windows() {
        local prefix
        for prefix in "$work/root" "$work/zh_CN"; do
            WINEPREFIX=$prefix /usr/lib/wine/wineserver -k 2>/dev/null || true
        done
        kill "$xvfb" 2>/dev/null || true
        rm -rf "$work"
    }
    trap stop_windows EXIT
    # A prefix booted once, with the fonts that Latin text in text boxes needs.
    mkdir "$WINEPREFIX"
    /usr/lib/wine/wineserver -p && /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
    cp /usr/share/wine/fonts/tahoma*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
    echo "== Windows: every test under Wine"
    step=$SECONDS
    (cd build-win && ctest -j 1 --timeout 300)
    took $step
    echo "== Windows: the file to hand out, and its program driven from the keyboard in a Chinese Windows"
    step=$SECONDS
    scripts/make-dist.sh
    export WINEPREFIX=$work/zh_CN LOCPATH=$work/locales
    scripts/prepare-prefix.sh
    LC_ALL=zh_CN.UTF-8 SHOTS=$PWD/build-win scripts/smoke-windows.sh dist/datamaint-1.00-windows-x64.zip \
        build-win/tests/hold_file.exe
    took $step
    stop_windows
    trap - EXIT
    unset WINEPREFIX LOCPATH DISPLAY
}
windows

echo "== tests under AddressSanitizer and UndefinedBehaviorSanitizer"
step=$SECONDS
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DDATAMAINT_SANITIZE=ON
took $step
echo "== all tests passed in $(( (SECONDS - started) / 60 )) min"
