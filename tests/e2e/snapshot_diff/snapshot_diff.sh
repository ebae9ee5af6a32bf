#!/usr/bin/env bash
# snapshot_diff.sh VARNELLO CEDEVICE
# A snapshot, every clean-up option applied through the real program, and the diff checked
# line for line against what the options must delete, move and rewrite (expected.txt and
# expected.json beside this script; the times of a run are masked).
source "$(dirname "$0")/../common.sh"
here=$(cd "$(dirname "$0")" && pwd)

"$cedevice" init "$dev" > /dev/null
"$cedevice" install "$dev" > /dev/null
# the relocations' targets, and what the two searches find outside the cleaned folders
mkdir -p "$root/Storage/IECache" "$root/Storage/AvantGo" "$root/Storage/Favorites" \
         "$root/Storage/Fonts" "$root/Storage/Documents" "$root/Program Files/TomTom/Temp"
printf '%0300d' 0 > "$root/Program Files/TomTom/Temp/route.tmp"
printf '%0120d' 0 > "$root/Program Files/TomTom/trip.log"

"$cedevice" snapshot "$dev" > /dev/null
"$cedevice" diff "$dev" | grep -q "Nothing changed." || fail "a fresh snapshot differs from the device"
"$varnello" --device "$dev" --headless --script "$here/apply_everything.script" \
  || fail "the scripted Apply failed"

mask() { sed -E 's/"(taken|written)": "[^"]*"/"\1": "TIME"/g; s/\(taken [^)]*\)/(taken TIME)/'; }
"$cedevice" diff "$dev" | mask > "$work/diff.txt"
"$cedevice" diff "$dev" --json | mask > "$work/diff.json"
status=0
diff -u "$here/expected.txt" "$work/diff.txt" || status=1
diff -u "$here/expected.json" "$work/diff.json" || status=1
[ $status -eq 0 ] || fail "the diff is not what the options must do"

# the JSON is JSON
if command -v python3 > /dev/null; then
  python3 -c 'import json,sys; json.load(open(sys.argv[1]))' "$work/diff.json" \
    || fail "--json does not give JSON"
fi

# what a bad request says
if "$cedevice" diff "$dev" nosuch 2> "$work/err"; then fail "a missing snapshot passed"; fi
grep -q 'no snapshot "nosuch"' "$work/err" || fail "a missing snapshot: $(cat "$work/err")"
if "$cedevice" snapshot "$dev" ../escape 2> "$work/err"; then fail "a name with a path passed"; fi
[ ! -e "$dev/escape" ] || fail "a snapshot name led out of snapshots/"
echo "e2e: the diff matches"
