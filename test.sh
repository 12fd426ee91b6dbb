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

echo "== tests"
run_suite build "" -DCMAKE_BUILD_TYPE=Debug
[ ! -f build/fault-summary.txt ] || { echo "== fault tests, in figures"; cat build/fault-summary.txt; }

if [ "${1:-}" != "--quick" ]; then
    echo "== tests under AddressSanitizer and UndefinedBehaviorSanitizer"
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
    export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    # The fault tests kill, starve and cut off processes on purpose; they ran above, and under the sanitizers they
    # would only be slower.
    run_suite build-asan faults -DCMAKE_BUILD_TYPE=Debug -DDATAMAINT_SANITIZE=ON
fi
