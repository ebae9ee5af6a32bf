#!/usr/bin/env bash
# folder_safety.sh VARNELLO CEDEVICE [KILLS]
# The installed program on fresh devices, used the way a careless user or an attacker would:
# folder texts that spell the root or a network name, registry values that do, a relocation
# target inside its source, and a relocation killed (kill -9) again and again in the middle.
# Canary trees at the root, in \Windows and outside the image are compared file by file.
set -euo pipefail
# Mounts of its own where it may, so that none outlives the script.
if [ -z "${FOLDER_SAFETY_NS:-}" ] && [ "$(id -u)" = 0 ] &&
   unshare -m --propagation private true 2> /dev/null; then
  FOLDER_SAFETY_NS=1 exec unshare -m --propagation private bash "$0" "$@"
fi
source "$(dirname "$0")/../common.sh"
kills=${3:-25}
mounted=()
cleanup() {
  for m in "${mounted[@]}"; do umount -l "$m" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# Every file below a folder with its checksum (names may hold blanks).
tree_of() { (cd "$1" && find . -type f -print0 | sort -z | xargs -0r sha1sum); }
# The device's files, without the settings file that a script's Exit writes.
device_tree() { tree_of "$1/root" | grep -v '/Program Files/Varnello/settings.dat$' || true; }

# The end of every interactive run here: the closing boxes of the first Apply on a fresh device
# (whose first run ticks "Disable window animation"), then Exit.
ending() {
  printf '%s\n' 'expect box "Cleaning Finished" "0 Bytes Cleaned"' 'answer ok' \
    'expect box "Restart Required"' 'answer ok' 'menu "Varnello" "Exit"' 'expect ended 0'
}

fresh_device() {
  local dev=$1
  "$cedevice" init "$dev" > /dev/null
  "$cedevice" install "$dev" > /dev/null
  mkdir -p "$dev/root/Canary/Deep" "$dev/root/Windows/Canary"
  echo root > "$dev/root/Canary/root.txt"
  echo deep > "$dev/root/Canary/Deep/deep.txt"
  echo windows > "$dev/root/Windows/Canary/windows.txt"
}

# Sets a string value in registry.reg (device text, written as .reg escapes it).
set_reg() {
  local dev=$1 name=$2 text=$3
  local escaped=${text//\\/\\\\}
  NAME=$name VALUE=$escaped perl -0pi -e 's/^"\Q$ENV{NAME}\E"=".*"$/"$ENV{NAME}"="$ENV{VALUE}"/m' \
    "$dev/registry.reg"
  "$cedevice" reg "$dev" | grep -qF "\"$name\"=\"$escaped\"" || fail "could not set $name"
}

run_script() {
  local dev=$1 script=$2
  "$varnello" --device "$dev" --headless --script "$script" > "$work/out" 2>&1 \
    || { cat "$work/out" >&2; fail "the script $(basename "$script") failed"; }
}

expect_unchanged() {
  local dev=$1 before=$2 what=$3
  device_tree "$dev" > "$work/after"
  if ! diff -q "$before" "$work/after" > /dev/null; then
    diff "$before" "$work/after" | head -20 >&2
    fail "$what changed the device"
  fi
  [ "$(cat "$work/outside/canary.txt")" = "outside" ] || fail "$what reached outside the image"
}

mkdir -p "$work/outside"
echo outside > "$work/outside/canary.txt"

step "\\/ in \"User Defined 1\", then Apply > Defer Restart, then the same at boot (silent)"
dev=$work/ud1
fresh_device "$dev"
device_tree "$dev" > "$work/before"
cat > "$work/ud1.script" <<'SCRIPT'
tap id=50001
tap id=50002
type "\/"
menu "Apply" "Defer Restart"
expect box "Error" "User Defined 1 was not cleaned"
answer ok
SCRIPT
ending >> "$work/ud1.script"
run_script "$dev" "$work/ud1.script"
expect_unchanged "$dev" "$work/before" "\\/ in User Defined 1"
"$varnello" --device "$dev" --headless silent > /dev/null 2>&1 || fail "the silent run failed"
expect_unchanged "$dev" "$work/before" "the silent run with \\/ in User Defined 1"
grep -q 'message box "Error": User Defined 1 was not cleaned: "\\/" is a network path' "$dev/log" \
  || fail "the silent run did not say why"

step "registry values spelled as the root or a network name"
for spelling in '\\/' '\/' '/' '\./' '\Temp\..\'; do
  dev=$work/values
  rm -rf "$dev"
  fresh_device "$dev"
  set_reg "$dev" Cache "$spelling"
  set_reg "$dev" History "$spelling"
  set_reg "$dev" "My Documents" "$spelling"
  set_reg "$dev" Favorites "$spelling"
  mkdir -p "$dev/root/T"
  device_tree "$dev" > "$work/before"
  cat > "$work/values.script" <<'SCRIPT'
tap "Pocket IE"
tap id=50021
tap id=50022
tap "System Folders"
tap id=50036
tap id=50037
type "\T\"
tap id=50042
tap id=50043
type "\T\"
menu "Apply" "Defer Restart"
expect box "Error" "Pocket IE Cache was not cleaned"
answer ok
expect box "Error" "Pocket IE History was not cleaned"
answer ok
expect box "Error" "Favorites was not moved"
answer ok
expect box "Error" "My Documents was not moved"
answer ok
SCRIPT
ending >> "$work/values.script"
  run_script "$dev" "$work/values.script"
  expect_unchanged "$dev" "$work/before" "registry values spelled $spelling"
  "$varnello" --device "$dev" --headless silent > /dev/null 2>&1 || fail "the silent run failed"
  expect_unchanged "$dev" "$work/before" "a silent run with values spelled $spelling"
  "$cedevice" reg "$dev" | grep -qF "\"My Documents\"=\"${spelling//\\/\\\\}\"" \
    || fail "the My Documents value was rewritten"
done

step "the target \\My Documents/Sub\\ lies inside My Documents"
dev=$work/inside
fresh_device "$dev"
mkdir -p "$dev/root/My Documents/Sub"
device_tree "$dev" > "$work/before"
cat > "$work/inside.script" <<'SCRIPT'
tap "System Folders"
tap id=50042
tap id=50043
type "\My Documents/Sub\"
menu "Apply" "Defer Restart"
expect box "Error" "lies inside the folder it would be moved from"
answer ok
SCRIPT
ending >> "$work/inside.script"
run_script "$dev" "$work/inside.script"
expect_unchanged "$dev" "$work/before" "a target inside My Documents"

# A My Documents of many files moved by silent runs that are killed at random moments. After
# each kill every file is whole in exactly one of the two folders, and once the value names the
# target, the source holds none of them. A last run that is not killed finishes the move.
kill_loop() {
  local dev=$1 target=$2 hosttarget=$3 folders=$4 files=$5
  local docs=$dev/root/Docs
  for d in $(seq 1 "$folders"); do
    mkdir -p "$docs/Folder $d"
    for f in $(seq 1 "$files"); do
      printf 'file %s of folder %s %0*d' "$f" "$d" $((f * 50)) 0 > "$docs/Folder $d/f$f.txt"
    done
  done
  set_reg "$dev" "My Documents" '\Docs'
  (cd "$docs" && find . -type f -print0 | sort -z | xargs -0 sha1sum) > "$work/docs"
  cat > "$work/setup.script" <<SCRIPT
tap "System Folders"
tap id=50042
tap id=50043
type "$target"
expect text id=50043 "$target"
menu "Varnello" "Exit"
expect ended 0
SCRIPT
  run_script "$dev" "$work/setup.script"
  # a move that finished is put back, so that the next kill falls into a move again
  put_back() {
    if ! "$cedevice" reg "$dev" | grep -q '^"My Documents"="\\Docs"$'; then
      cp -a "$hosttarget"/. "$docs"/ && rm -rf "${hosttarget:?}"/*
      set_reg "$dev" "My Documents" '\Docs'
    fi
  }
  # Every file whole in the source or the target: once each, or in both with the same bytes
  # (a move between file systems cut short after the copy and before the delete). No file is
  # missing, none is half-copied under its own name. Once the value names the target, the target
  # holds them all.
  check_whole() {
    local value
    value=$("$cedevice" reg "$dev" | grep '^"My Documents"=' | head -1)
    (cd "$docs" && find . -type f -print0 | xargs -0r sha1sum) > "$work/in-source"
    (cd "$hosttarget" && find . -type f -print0 | xargs -0r sha1sum) > "$work/in-target"
    if ! diff -q <(sort -k2 "$work/docs") <(sort -u "$work/in-source" "$work/in-target" | sort -k2) \
        > /dev/null; then
      diff <(sort -k2 "$work/docs") <(sort -u "$work/in-source" "$work/in-target" | sort -k2) \
        | head -10 >&2
      fail "after kill $1: a file is lost, half-copied or differs between the two folders"
    fi
    if [ -s "$work/in-source" ] && [ -s "$work/in-target" ]; then
      split=$((split + 1))
    fi
    if [ "$value" != '"My Documents"="\\Docs"' ]; then
      diff -q <(sort -k2 "$work/docs") <(sort -k2 "$work/in-target") > /dev/null \
        || fail "after kill $1: the value names the target, which lacks files"
    fi
  }
  # one whole run, timed and put back: the kills fall within such a run
  local start end span
  start=$(date +%s%N)
  "$varnello" --device "$dev" --headless silent > /dev/null 2>&1 || fail "a silent run failed"
  end=$(date +%s%N)
  span=$(((end - start) / 1000000))
  put_back
  split=0
  for i in $(seq 1 "$kills"); do
    "$varnello" --device "$dev" --headless silent > /dev/null 2>&1 &
    local pid=$!
    local ms=$((span / 5 + RANDOM % (span * 4 / 5 + 1)))
    sleep "$((ms / 1000)).$(printf '%03d' $((ms % 1000)))"
    kill -9 "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    check_whole "$i"
    put_back
  done
  echo "$split of $kills kills (a run takes $span ms) left the files in both folders, each whole"
  "$varnello" --device "$dev" --headless silent > /dev/null 2>&1 || fail "the last silent run failed"
  check_whole last
}

step "kill -9 in the middle of a relocation, $kills times"
dev=$work/killed
fresh_device "$dev"
mkdir -p "$dev/root/Dest"
kill_loop "$dev" '\Dest\' "$dev/root/Dest" 30 60
"$cedevice" reg "$dev" | grep -qF '"My Documents"="\\Dest\\"' || fail "the move did not finish"
[ -z "$(find "$dev/root/Docs" -type f)" ] || fail "files were left in the source"

step "kill -9 in the middle of a relocation to a storage card on another file system"
dev=$work/card
fresh_device "$dev"
mkdir -p "$work/sd"
if mount -t tmpfs -o size=16m tmpfs "$work/sd" 2> /dev/null; then
  mounted+=("$work/sd")
  mkdir -p "$work/sd/Docs"
  "$cedevice" card "$dev" "$work/sd" > /dev/null
  # each file is copied and synced there: fewer of them keep a run short
  kill_loop "$dev" '\Storage Card\Docs\' "$work/sd/Docs" 10 30
  "$cedevice" reg "$dev" | grep -qF '"My Documents"="\\Storage Card\\Docs\\"' \
    || fail "the move to the card did not finish"
else
  echo "(skipped: cannot mount a tmpfs here)"
fi

echo "e2e: folder safety passed"
