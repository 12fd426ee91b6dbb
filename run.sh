#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program in a demo application folder under the build tree,
# beside a sample data file.
set -euo pipefail
cd "$(dirname "$0")"
. scripts/ensure-packages.sh

ensure_packages "${BUILD_PACKAGES[@]}" xvfb xauth

cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "$(nproc)" --target datamaint

demo=build/demo
mkdir -p "$demo"
cp build/src/datamaint "$demo/"
if [ ! -e "$demo/data1.vzd" ]; then
    # Some recognisable bytes, so a restored copy can be compared with cmp.
    { echo "datamaint sample data file"; head -c 65536 /dev/urandom; } > "$demo/data1.vzd"
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ "${QT_QPA_PLATFORM:-}" != offscreen ]; then
    echo "No display to show the window on; try: xvfb-run ./run.sh" >&2
    exit 1
fi
echo "Starting $demo/datamaint (data file and BACKUP folder are in $demo)"
exec "$demo/datamaint"
