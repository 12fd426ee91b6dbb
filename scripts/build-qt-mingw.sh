#!/usr/bin/env bash
# Builds a static Qt for 64-bit Windows (MinGW-w64) from Debian's own qt6-base source, once, into a cache folder,
# and prints that folder as its last line:
#   qt=$(scripts/build-qt-mingw.sh | tail -n1)
# Progress goes to stderr, so qt=$(scripts/build-qt-mingw.sh) works as well.
#
#   DATAMAINT_QT_MINGW             the cache folder to use (default: /var/cache/datamaint/qt-<qt>-mingw-<gcc>-<hash>,
#                                  or under $HOME/.cache/datamaint when neither root nor sudo can write /var/cache)
#   DATAMAINT_QT_JOBS              parallel build jobs (default 2: the machine is shared)
#   DATAMAINT_QT_KEEP_SCRATCH=1    keep the source and build tree under /var/tmp when the build fails
set -Eeuo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
toolchain="$(dirname "$here")/cmake/qt-mingw-toolchain.cmake"
# shellcheck source-path=SCRIPTDIR source=ensure-packages.sh
. "$here/ensure-packages.sh"

# Only the cache path may reach stdout; everything else, including what apt and the build print, goes to stderr.
exec 3>&1 1>&2

say() { printf '[build-qt-mingw %(%H:%M:%S)T] %s\n' -1 "$*"; }
die() {
    say "error: $*"
    exit 1
}
duration() {
    local s=$1
    if [ "$s" -ge 60 ]; then printf '%d min %02d s' $((s / 60)) $((s % 60)); else printf '%d s' "$s"; fi
}
as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    elif command -v sudo >/dev/null; then
        sudo "$@"
    else
        die "need root for: $* (run as root, or install sudo)"
    fi
}

scratch=
cache=
cache_started=0
created_cache=0
started=$SECONDS

on_error() { say "error: '$2' failed (exit status $1, line $3)"; }
on_exit() {
    local status=$?
    if [ -n "$scratch" ] && [ -d "$scratch" ]; then
        if [ "$status" -ne 0 ] && [ "${DATAMAINT_QT_KEEP_SCRATCH:-}" = 1 ]; then
            say "kept the source and build tree in $scratch"
        else
            rm -rf -- "$scratch"
        fi
    fi
    if [ "$status" -ne 0 ]; then
        # A half-installed Qt must never look usable; the marker also lets the next run clear it without asking.
        if [ "$cache_started" = 1 ] && [ -f "$cache/.incomplete" ]; then
            find "$cache" -mindepth 1 -delete 2>/dev/null || true
            [ "$created_cache" = 0 ] || rmdir -- "$cache" 2>/dev/null || true
        fi
        say "FAILED after $(duration $((SECONDS - started))); no Qt was installed"
    fi
}
trap 'on_error $? "$BASH_COMMAND" $LINENO' ERR
trap on_exit EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

step() {
    local title=$1
    shift
    say "$title ..."
    local t0=$SECONDS
    "$@"
    say "$title: done in $(duration $((SECONDS - t0)))"
}

# --- What the build needs -----------------------------------------------------------------------------------------

# qt6-base-dev-tools gives moc, rcc and uic of the same Qt version; a cross build runs those instead of its own.
ensure_packages g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 cmake ninja-build dpkg-dev qt6-base-dev \
    qt6-base-dev-tools xz-utils patch perl util-linux
[ -f "$toolchain" ] || die "missing $toolchain"

qt_version=$(dpkg-query -W -f='${source:Upstream-Version}' qt6-base-dev)
qt_version=${qt_version%%+*}
qt_source_version=$(dpkg-query -W -f='${source:Version}' qt6-base-dev)
# Debian builds MinGW GCC as version "12-posix" (its __GNUC_MINOR__ reads 0), so the package has the real number.
gcc_version=$(dpkg-query -W -f='${Version}' g++-mingw-w64-x86-64-posix)
gcc_version=${gcc_version#*:}
gcc_version=${gcc_version%%-*}
if [ -z "$qt_version" ] || [ -z "$gcc_version" ]; then die "cannot tell the Qt or MinGW version"; fi

# Debian's other patches are about its own packaging; these fix security holes or touch code every target builds.
patches=(cve-2023-24607.patch cve-2023-32762.diff cve-2023-32763.diff cve-2023-33285.diff
    upstream_Add-HPPA-detection.patch upstream_Add-M68k-detection.patch)

# Only what the program needs. directwrite3 must go with direct2d: Qt 6.4's Windows plugin fails to link with
# direct2d off and directwrite3 on. Tablet support needs src/3rdparty/wintab, which Debian's tarball drops.
configure_args=(
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF -DFEATURE_static_runtime=ON
    -DQT_BUILD_TESTS=OFF -DQT_BUILD_EXAMPLES=OFF
    -DFEATURE_opengl=OFF -DINPUT_opengl=no -DFEATURE_vulkan=OFF -DFEATURE_direct2d=OFF -DFEATURE_directwrite3=OFF
    -DFEATURE_dbus=OFF -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_printsupport=OFF
    -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_tabletevent=OFF
    -DFEATURE_icu=OFF -DFEATURE_zstd=OFF -DFEATURE_jpeg=OFF
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_png=OFF -DFEATURE_system_harfbuzz=OFF
    -DFEATURE_system_freetype=OFF -DFEATURE_system_doubleconversion=OFF
    -DFEATURE_testlib=ON -DFEATURE_gui=ON -DFEATURE_widgets=ON
)

# The key covers everything that changes the result: the arguments, the toolchain's settings (not its comments,
# not where the checkout lives) and the patches.
config_hash=$({
    printf '%s\n' "${configure_args[@]}"
    grep -v -e '^[[:space:]]*#' -e '^[[:space:]]*$' "$toolchain"
    printf 'patch %s\n' "${patches[@]}"
} | sha256sum | cut -c1-8)
cache_name="qt-$qt_version-mingw-$gcc_version-$config_hash"

# --- Where the cache lives ----------------------------------------------------------------------------------------

system_cache=/var/cache/datamaint/$cache_name
if [ -n "${DATAMAINT_QT_MINGW:-}" ]; then
    cache=$DATAMAINT_QT_MINGW
elif [ -f "$system_cache/.complete" ]; then
    cache=$system_cache # usable read-only by anyone, whoever built it
elif [ "$(id -u)" -eq 0 ] || command -v sudo >/dev/null || [ -w /var/cache/datamaint ]; then
    cache=$system_cache
else
    cache=$HOME/.cache/datamaint/$cache_name
fi
case $cache in /*) ;; *) cache=$PWD/$cache ;; esac

if [ -f "$cache/.complete" ]; then
    say "Qt $qt_version for MinGW $gcc_version is already built in $cache"
    # Only a folder named in DATAMAINT_QT_MINGW can hold a Qt configured otherwise; it is the caller's to choose.
    grep -qx "configure key $config_hash" "$cache/.complete" ||
        say "warning: $cache was configured differently (key $config_hash expected); using it anyway"
    echo "$cache" >&3
    exit 0
fi

[ -d "$cache" ] || created_cache=1
if ! { mkdir -p -- "$cache" 2>/dev/null && [ -w "$cache" ]; }; then
    # /var/cache is root's: create the folder with sudo and hand it to the caller, who does the rest unprivileged.
    as_root mkdir -p -- "$cache"
    as_root chown "$(id -u):$(id -g)" "$cache"
fi
[ -w "$cache" ] || die "cannot write $cache"

# A second caller waits for a build already running into the same folder and then takes its result.
exec 9<"$cache"
if ! flock -n 9; then
    say "another build is writing $cache; waiting for it"
    flock 9
fi
if [ -f "$cache/.complete" ]; then
    say "Qt $qt_version for MinGW $gcc_version was built in $cache meanwhile"
    echo "$cache" >&3
    exit 0
fi
if [ -n "$(ls -A "$cache")" ]; then
    [ -f "$cache/.incomplete" ] || die "$cache is not empty and holds no finished Qt; empty it or choose another folder"
    say "clearing an unfinished earlier attempt in $cache"
    find "$cache" -mindepth 1 -delete
fi
touch "$cache/.incomplete"
cache_started=1

say "building Qt $qt_version (Debian $qt_source_version) for MinGW-w64 GCC $gcc_version into $cache"

# --- Debian's source ----------------------------------------------------------------------------------------------

have_source_entry() {
    apt-cache showsrc --only-source qt6-base 2>/dev/null | grep -qx "Version: $qt_source_version"
}

enable_deb_src() {
    local list=/etc/apt/sources.list.d/debian.sources
    local added=/etc/apt/sources.list.d/debian-src.sources
    if [ -f "$list" ]; then
        sed 's/^Types:.*/Types: deb-src/' "$list" | as_root tee "$added" >/dev/null
    elif [ -f /etc/apt/sources.list ]; then
        added=/etc/apt/sources.list.d/debian-src.list
        sed -n 's/^deb[[:space:]]/deb-src /p' /etc/apt/sources.list | as_root tee "$added" >/dev/null
    else
        die "no Debian archive entry to derive a deb-src entry from"
    fi
    say "added $added"
    as_root apt-get update -qq
}

fetch_source() {
    if ! have_source_entry; then
        enable_deb_src
        have_source_entry || die "Debian's archive does not offer qt6-base $qt_source_version as source"
    fi
    mkdir "$scratch/download"
    (cd "$scratch/download" && apt-get source --download-only -qq "qt6-base=$qt_source_version")
    # dpkg-source warns that it cannot check the .dsc signature; apt has already checked every file's hash
    # against the archive's signed index.
    dpkg-source --skip-patches -x "$scratch"/download/qt6-base_*.dsc "$scratch/src" >/dev/null
}

apply_patches() {
    local series=$scratch/src/debian/patches/series name _
    [ -f "$series" ] || die "no debian/patches/series in the source"
    for name in "${patches[@]}"; do
        grep -q "^$name\([[:space:]]\|\$\)" "$series" || die "debian/patches/series no longer lists $name"
    done
    # In the series' own order, since later Debian patches may build on earlier ones.
    while read -r name _; do
        case " ${patches[*]} " in *" $name "*) ;; *) continue ;; esac
        say "  $name"
        patch -d "$scratch/src" -p1 --forward --batch --quiet -i "debian/patches/$name"
    done <"$series"
}

configure_qt() {
    # Qt records the toolchain it was built with in qt.toolchain.cmake; a copy inside the cache keeps that path
    # valid wherever the checkout moves. Callers still pass QT_CHAINLOAD_TOOLCHAIN_FILE for the program's own.
    install -D -m 644 "$toolchain" "$cache/share/datamaint/qt-mingw-toolchain.cmake"
    nice -n 10 cmake -S "$scratch/src" -B "$scratch/build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$cache/share/datamaint/qt-mingw-toolchain.cmake" \
        -DCMAKE_INSTALL_PREFIX="$cache" "${configure_args[@]}"
}

build_qt() {
    nice -n 10 ninja -C "$scratch/build" -j "${DATAMAINT_QT_JOBS:-2}"
}

install_qt() {
    nice -n 10 cmake --install "$scratch/build" >/dev/null
    # A statically linked program carries Qt inside it; whoever hands it on needs these texts (LGPL-3).
    local doc=$cache/share/doc/qt6-base
    mkdir -p "$doc"
    cp -r "$scratch"/src/LICENSES "$doc/" 2>/dev/null || cp "$scratch"/src/LICENSE* "$doc/"
    cp "$scratch/src/debian/copyright" "$doc/"
    printf '%s\n' "${patches[@]}" >"$doc/debian-patches-applied"
}

# Source, build tree and install together peak at about 2.7 GB.
free_kb=$(df --output=avail -k /var/tmp | tail -n1)
[ "$free_kb" -ge 3500000 ] || die "/var/tmp has $((free_kb / 1024)) MB free; the build needs about 3.5 GB"
scratch=$(mktemp -d /var/tmp/datamaint-qt-mingw.XXXXXX)
say "scratch folder: $scratch"

step "downloading and unpacking qt6-base $qt_source_version" fetch_source
step "applying Debian's patches" apply_patches
step "configuring" configure_qt
step "building (ninja -j ${DATAMAINT_QT_JOBS:-2}, nice 10)" build_qt
step "installing into $cache" install_qt

{
    echo "qt6-base $qt_source_version"
    echo "x86_64-w64-mingw32-g++-posix $gcc_version ($(dpkg-query -W -f='${Version}' g++-mingw-w64-x86-64-posix))"
    echo "configure key $config_hash"
    echo "built $(date -u '+%Y-%m-%d %H:%M:%S UTC') in $(duration $((SECONDS - started)))"
} >"$cache/.complete.tmp"
# From here on a failure must not clear the folder: the stamp may already be in place.
cache_started=0
mv "$cache/.complete.tmp" "$cache/.complete"
rm -f "$cache/.incomplete"

rm -rf -- "$scratch"
scratch=
say "Qt is ready in $cache; the whole build took $(duration $((SECONDS - started)))"
echo "$cache" >&3
