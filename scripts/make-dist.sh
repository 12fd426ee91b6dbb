#!/usr/bin/env bash
# Builds the file to hand out: dist/datamaint-1.00-windows-x64.zip, holding datamaint.exe (statically linked,
# stripped; icons, version information, manifest and Qt's Chinese texts inside), a short read-me in Chinese and the
# licence texts. Builds Qt for MinGW first if the cache does not have it yet.
#   scripts/make-dist.sh
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/ensure-packages.sh
ensure_packages "${BUILD_PACKAGES[@]}" g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 zip

qt=$(scripts/build-qt-mingw.sh | tail -n 1)
scripts/configure-windows.sh build-dist "$qt" -DCMAKE_BUILD_TYPE=Release -DDATAMAINT_BUILD_TESTS=OFF >/dev/null
cmake --build build-dist -j "$(nproc)" --target datamaint

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
x86_64-w64-mingw32-strip -o "$stage/datamaint.exe" build-dist/src/datamaint.exe
# Windows editors want the read-me with a byte-order mark and CR LF line ends.
{ printf '\357\273\277'; sed 's/$/\r/' resources/dist/README.txt; } > "$stage/README.txt"
# The licences as .txt, so that a double-click opens them.
sed 's/$/\r/' LICENSE > "$stage/LICENSE.txt"
sed 's/$/\r/' /usr/share/common-licenses/LGPL-3 > "$stage/LICENSE.LGPL-3.txt"
sed 's/$/\r/' /usr/share/common-licenses/GPL-3 > "$stage/LICENSE.GPL-3.txt"
# One file to copy: nothing but Windows' own DLLs may be needed beside it.
if x86_64-w64-mingw32-objdump -p "$stage/datamaint.exe" | grep 'DLL Name' \
    | grep -iE 'libstdc|libgcc|winpthread|qt6|icu|zlib|png|freetype|harfbuzz|pcre'; then
    echo "datamaint.exe needs a DLL that Windows does not have" >&2
    exit 1
fi
mkdir -p dist
rm -f dist/datamaint-1.00-windows-x64.zip
(cd "$stage" && zip -q -X ../"$(basename "$stage")".zip datamaint.exe README.txt LICENSE.txt LICENSE.LGPL-3.txt \
    LICENSE.GPL-3.txt)
mv "$stage.zip" dist/datamaint-1.00-windows-x64.zip
echo "dist/datamaint-1.00-windows-x64.zip: $(du -h dist/datamaint-1.00-windows-x64.zip | cut -f1)"
