#!/usr/bin/env bash
# Builds in release mode and measures, side by side with the tools a user would otherwise use:
#   backup and restore of a 1 MiB, 100 MiB and 1 GiB data file against cp + sync of that file (same durability),
#   listing 10,000 and 100,000 backups against find, start-up to the menu against a minimal Qt dialog program,
#   and peak memory of a backup. Page cache warm; each figure is the median of several runs. The program's
#   operations are timed inside one running process (bench/datamaint_bench.cpp), the tools as whole commands.
#   BENCH_DIR=/some/disk ./bench.sh   to measure on another disk (default /var/tmp)
set -euo pipefail
cd "$(dirname "$0")"
. scripts/ensure-packages.sh
ensure_packages "${BUILD_PACKAGES[@]}" time findutils

cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DDATAMAINT_BENCH=ON >/dev/null
cmake --build build-release -j "$(nproc)" --target datamaint_bench minimal_dialog >/dev/null
bench=$PWD/build-release/bench/datamaint_bench
minimal=$PWD/build-release/bench/minimal_dialog
export QT_QPA_PLATFORM=offscreen

work=${BENCH_DIR:-/var/tmp}/datamaint-bench.$$
mkdir -p "$work/app/BACKUP"
trap 'rm -rf "$work"' EXIT

# Median wall time in milliseconds of a command run N times (after one warm-up run).
median_ms() {
    local runs=$1
    shift
    "$@" >/dev/null 2>&1
    local times=()
    for _ in $(seq "$runs"); do
        local start end
        start=$(date +%s%N)
        "$@" >/dev/null 2>&1
        end=$(date +%s%N)
        times+=($(((end - start) / 1000)))
    done
    printf '%s\n' "${times[@]}" | sort -n | awk '{ a[NR] = $1 } END { printf "%.1f", a[int((NR + 1) / 2)] / 1000 }'
}

row() { awk -v what="$1" -v ours="$2" -v theirs="$3" -v target="$4" 'BEGIN {
    ratio = theirs > 0 ? ours / theirs : 0
    printf "| %-34s | %10.1f | %10.1f | %6.2f | %-6s |\n", what, ours, theirs, ratio, target }'; }

cp_sync() { cp "$1" "$2" && sync "$2"; }

echo "Machine: $(nproc) cores, $(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo), $(df -T "$work" | awk 'NR == 2 { print $2 }') on $(df "$work" | awk 'NR == 2 { print $1 }'), kernel $(uname -r)"
echo
echo "| what                               |  ours (ms) |  base (ms) |  ratio | target |"
echo "|------------------------------------|-----------:|-----------:|-------:|--------|"
for size in 1 100 1024; do
    label=$([ "$size" = 1024 ] && echo "1 GiB" || echo "$size MiB")
    runs=$([ "$size" = 1024 ] && echo 3 || echo 7)
    head -c "$((size * 1048576))" /dev/urandom > "$work/app/data1.vzd"
    sync # nothing of the set-up may still be on its way to the disk while we measure
    ours=$("$bench" "$runs" backup "$work/app" bench)
    theirs=$(median_ms "$runs" cp_sync "$work/app/data1.vzd" "$work/app/BACKUP/cp.ZIP")
    row "backup, $label (vs cp + sync)" "$ours" "$theirs" "1.10"
    sync
    ours=$("$bench" "$runs" restore "$work/app" bench.ZIP)
    theirs=$(median_ms "$runs" cp_sync "$work/app/BACKUP/bench.ZIP" "$work/app/data1.vzd")
    row "restore, $label (vs cp + sync)" "$ours" "$theirs" "1.15"
    if [ "$size" = 1024 ]; then
        # Five of each, with the disk quiet before every one: a stall is what the operator meets now and then.
        gaps="backup"
        for _ in 1 2 3 4 5; do sync; gaps="$gaps $("$bench" gap backup "$work/app" gap)"; done
        gaps="$gaps ms; restore"
        for _ in 1 2 3 4 5; do sync; gaps="$gaps $("$bench" gap restore "$work/app" gap.ZIP)"; done
        gaps="$gaps ms"
    fi
    rm -f "$work/app/BACKUP/"*
done

for count in 10000 100000; do
    folder="$work/list$count"
    mkdir -p "$folder"
    (cd "$folder" && seq -f "%06g.ZIP" "$count" | xargs touch && touch a.zipx notes.txt)
    ours=$("$bench" 5 list "$folder")
    theirs=$(median_ms 5 find "$folder" -maxdepth 1 -iname '*.zip')
    row "list $count backups (vs find)" "$ours" "$theirs" "2"
    rm -rf "$folder"
done

ours=$(median_ms 9 "$bench" startup)
theirs=$(median_ms 9 "$minimal")
row "start-up to the menu (vs Qt dialog)" "$ours" "$theirs" "-"

echo
echo "longest gap between two ticks of a 10 ms timer on the window's thread during a 1 GiB copy, five runs each"
echo "(target: under 50 ms): $gaps"
for size in 1 1024; do
    head -c "$((size * 1048576))" /dev/urandom > "$work/app/data1.vzd"
    peak=$( { /usr/bin/time -f %M "$bench" 1 backup "$work/app" peak >/dev/null; } 2>&1 | tail -1)
    echo "peak memory of a $size MiB backup: $((peak / 1024)) MiB"
done
