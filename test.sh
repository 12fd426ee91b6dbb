#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test through CTest: once in a normal build and once under
# AddressSanitizer and UndefinedBehaviorSanitizer. Exits non-zero on any failure.
#   ./test.sh          everything
#   ./test.sh --quick  the normal build only
set -euo pipefail
cd "$(dirname "$0")"
. scripts/ensure-packages.sh

# xfsprogs for the power-cut tests, e2fsprogs for chattr.
ensure_packages "${BUILD_PACKAGES[@]}" libgtest-dev googletest xfsprogs e2fsprogs util-linux

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
export CTEST_OUTPUT_ON_FAILURE=1

run_suite() {
    local dir=$1 skip=$2
    shift 2
    cmake -S . -B "$dir" -G Ninja -DDATAMAINT_WERROR=ON "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
    (cd "$dir" && rm -f fault-summary.txt && ctest -j "$jobs" --timeout 600 ${skip:+-LE "$skip"})
}

echo "== formatting"
ensure_packages clang-format
git ls-files -- '*.cpp' '*.h' | xargs clang-format --dry-run -Werror

echo "== tests"
run_suite build "" -DCMAKE_BUILD_TYPE=Debug
[ ! -f build/fault-summary.txt ] || { echo "== fault tests, in figures"; cat build/fault-summary.txt; }

# The file-system layer built for Windows with MinGW-w64 and run under Wine, in a throwaway prefix with a
# persistent wineserver (without one, every test waits seconds for Wine to shut down).
windows_tests() {
    ensure_packages g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 wine64
    cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DDATAMAINT_FS_ONLY=ON \
        -DDATAMAINT_WERROR=ON >/dev/null
    cmake --build build-win -j "$jobs"

    local prefixes
    prefixes=$(mktemp -d /tmp/datamaint-wine.XXXXXX)
    chmod 755 "$prefixes"
    export WINEDEBUG=-all LC_ALL=C.UTF-8 WINEPREFIX=$prefixes/root
    mkdir "$WINEPREFIX"
    stop_wine() {
        WINEPREFIX=$prefixes/root /usr/lib/wine/wineserver -k 2>/dev/null || true
        if [ -d "$prefixes/nobody" ]; then
            setpriv --reuid=65534 --regid=65534 --clear-groups env HOME=/tmp WINEPREFIX="$prefixes/nobody" \
                /usr/lib/wine/wineserver -k 2>/dev/null || true
        fi
        rm -rf "$prefixes"
    }
    trap stop_wine EXIT
    /usr/lib/wine/wineserver -p
    /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
    if [ "$(id -u)" -eq 0 ]; then
        # A prefix of its own for the permission cases, which run as an unprivileged user.
        mkdir "$prefixes/nobody"
        chown 65534:65534 "$prefixes/nobody"
        setpriv --reuid=65534 --regid=65534 --clear-groups env HOME=/tmp WINEPREFIX="$prefixes/nobody" \
            sh -c '/usr/lib/wine/wineserver -p && /usr/lib/wine/wine64 wineboot -i' >/dev/null 2>&1
        export UNPRIVILEGED_WINEPREFIX=$prefixes/nobody
    fi
    (cd build-win && ctest -j "$jobs" --timeout 300)
    stop_wine
    trap - EXIT
    unset WINEPREFIX UNPRIVILEGED_WINEPREFIX
}

echo "== file-system layer for Windows, under Wine"
windows_tests

if [ "${1:-}" != "--quick" ]; then
    echo "== tests under AddressSanitizer and UndefinedBehaviorSanitizer"
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
    export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    # The fault tests kill, starve and cut off processes on purpose; they ran above, and under the sanitizers they
    # would only be slower.
    run_suite build-asan faults -DCMAKE_BUILD_TYPE=Debug -DDATAMAINT_SANITIZE=ON
fi
