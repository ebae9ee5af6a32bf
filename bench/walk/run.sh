#!/bin/sh
# Walks a large device image with FindFirstFileW/FindNextFileW and with GNU find, in the same
# run, and prints the times and their ratios (target: walk <= 1.5 x find).
#   bench/walk/run.sh [BUILD_DIR] [IMAGE_DIR]
# The image (100,000 files in 10,000 folders, every 10th a .tmp) is generated on first use.
# Two find runs are timed: plain `find DIR` (names only, no per-entry system call) and
# `find DIR -printf '%y %s'`, which like FindNextFileW reports each entry's type and size.
set -eu
build=${1:-build}
image=${2:-${TMPDIR:-/tmp}/varnello-walk-image}
bin="$build/bin"
if [ ! -d "$image/root" ]; then
    "$bin/imagegen" "$image" --files 100000 --folders 10000 --tmp-every 10
fi

# best of five wall-clock times of a command, in seconds
best() {
    b=
    for i in 1 2 3 4 5; do
        start=$(date +%s.%N)
        "$@" > /dev/null
        end=$(date +%s.%N)
        t=$(echo "$end - $start" | bc -l)
        if [ -z "$b" ] || [ "$(echo "$t < $b" | bc -l)" = 1 ]; then b=$t; fi
    done
    echo "$b"
}

find "$image/root" > /dev/null   # warm the caches
find_plain=$(best find "$image/root")
find_sizes=$(best find "$image/root" -printf '%y %s\n')
out=$("$bin/walkbench" "$image" --repeat 5)
walk=$(echo "$out" | tail -1)
echo "$out" | head -1
printf 'find:                  %.4f s\n' "$find_plain"
printf 'find -printf "%%y %%s":  %.4f s\n' "$find_sizes"
printf 'FindFirstFileW walk:   %.4f s (best of 5, in process)\n' "$walk"
printf 'ratio walk/find:        %.2f (target <= 1.5)\n' "$(echo "$walk / $find_plain" | bc -l)"
printf 'ratio walk/find-printf: %.2f\n' "$(echo "$walk / $find_sizes" | bc -l)"
