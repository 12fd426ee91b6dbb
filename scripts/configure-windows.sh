#!/usr/bin/env bash
# Configures a cross build of the whole program for 64-bit Windows with the static Qt for MinGW that
# scripts/build-qt-mingw.sh builds and caches.
#   scripts/configure-windows.sh BUILD_DIR QT_PREFIX [more cmake arguments]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$1 qt=$2
shift 2
# Qt's own toolchain file finds Qt and hands on to ours for the compilers; Qt's host tools (moc, rcc) are Debian's.
exec cmake -S . -B "$dir" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$qt/lib/cmake/Qt6/qt.toolchain.cmake" \
    -DQT_CHAINLOAD_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake "$@"
