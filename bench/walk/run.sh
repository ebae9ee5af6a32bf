#!/bin/sh
# Walks a large device image with FindFirstFileW/FindNextFileW and with GNU find, in the same
# run, and prints the times and their ratios (target: walk <= 1.5 x find).
#   bench/walk/run.sh [BUILD_DIR] [IMAGE_DIR]
# The image (100,000 files in 10,000 folders, every 10th a .tmp) is generated on first use.
# Two find walks are timed: plain `find DIR` (names only, no per-entry system call) and
# `find DIR -printf '%y %s'`, which like FindNextFileW reports each entry's type and size.
set -eu
build=${1:-build}
image=${2:-${TMPDIR:-/tmp}/varnello-walk-image}
bin="$build/bin"
if [ ! -d "$image/root" ]; then
    "$bin/imagegen" "$image" --files 100000 --folders 10000 --tmp-every 10
fi

# wall-clock time of a command, in seconds
timed() {
    start=$(date +%s.%N)
    "$@" > /dev/null
    end=$(date +%s.%N)
    echo "$end - $start" | bc -l
}
smaller() { if [ -z "$1" ] || [ "$(echo "$2 < $1" | bc -l)" = 1 ]; then echo "$2"; else echo "$1"; fi; }

# The three walks take turns, round after round, so that whatever else the machine does
# meanwhile falls on all of them alike; each keeps its best round.
rounds=${ROUNDS:-7}
find "$image/root" > /dev/null   # warm the caches
find_plain= find_sizes= walk=
i=0
while [ $i -lt "$rounds" ]; do
    find_plain=$(smaller "$find_plain" "$(timed find "$image/root")")
    find_sizes=$(smaller "$find_sizes" "$(timed find "$image/root" -printf '%y %s\n')")
    out=$("$bin/walkbench" "$image")
    walk=$(smaller "$walk" "$(echo "$out" | tail -1)")
    i=$((i + 1))
done
echo "$out" | head -1
printf 'find:                  %.4f s\n' "$find_plain"
printf 'find -printf "%%y %%s":  %.4f s\n' "$find_sizes"
printf 'FindFirstFileW walk:   %.4f s (in process)\n' "$walk"
printf 'best of %d rounds each\n' "$rounds"
printf 'ratio walk/find:        %.2f (target <= 1.5)\n' "$(echo "$walk / $find_plain" | bc -l)"
printf 'ratio walk/find-printf: %.2f\n' "$(echo "$walk / $find_sizes" | bc -l)"
