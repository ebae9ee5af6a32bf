#!/bin/sh
# Walks a large device image with FindFirstFileW/FindNextFileW and with GNU find, in the same
# run, and prints the times and their ratios (target: walk <= 1.5 x find).
#   bench/walk/run.sh [BUILD_DIR] [IMAGE_DIR]
# The image (100,000 files in 10,000 folders, every 10th a .tmp) is generated on first use and
# kept for the next run; it is made beside its place and moved there only when complete, so an
# interrupted run leaves nothing half-made behind. Two find walks are timed: plain `find DIR`
# (names only, no per-entry system call) and `find DIR -printf '%y %s'`, which like
# FindNextFileW reports each entry's type and size. The verdict is the median of the rounds'
# ratios; exit status 1 when it is above 1.5.
set -eu
build=${1:-build}
image=${2:-${TMPDIR:-/tmp}/varnello-walk-image}
bin="$build/bin"
[ -x "$bin/walkbench" ] && [ -x "$bin/imagegen" ] || { echo "run.sh: no walkbench in $bin" >&2; exit 2; }
if [ ! -d "$image/root" ]; then
    partial="$image.new.$$"
    trap 'rm -rf "$partial"' EXIT
    trap 'exit 130' INT TERM HUP
    "$bin/imagegen" "$partial" --files 100000 --folders 10000 --tmp-every 10
    mv "$partial" "$image"
fi

# wall-clock time of a command, in seconds
timed() {
    start=$(date +%s.%N)
    "$@" > /dev/null
    end=$(date +%s.%N)
    echo "$end - $start" | bc -l
}

# The three walks take turns, round after round, so that whatever else the machine does
# meanwhile falls on all of them alike; the ratio of each round is kept, and the median judged.
rounds=${ROUNDS:-7}
find "$image/root" > /dev/null   # warm the caches
ratios= sizes=
i=0
while [ $i -lt "$rounds" ]; do
    find_plain=$(timed find "$image/root")
    find_sizes=$(timed find "$image/root" -printf '%y %s\n')
    out=$("$bin/walkbench" "$image")
    walk=$(echo "$out" | tail -1)
    ratios="$ratios $(echo "$walk / $find_plain" | bc -l)"
    sizes="$sizes $(echo "$walk / $find_sizes" | bc -l)"
    printf 'round %d: find %.4f s, find -printf %.4f s, walk %.4f s\n' $((i + 1)) \
        "$find_plain" "$find_sizes" "$walk"
    i=$((i + 1))
done
median() { printf '%s\n' $1 | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
echo "$out" | head -1
printf 'median ratio walk/find:        %.2f (target <= 1.5)\n' "$(median "$ratios")"
printf 'median ratio walk/find-printf: %.2f\n' "$(median "$sizes")"
[ "$(echo "$(median "$ratios") <= 1.5" | bc -l)" = 1 ]
