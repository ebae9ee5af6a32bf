#!/usr/bin/env bash
# network_paths.sh VARNELLO CEDEVICE
# A path that begins with two separators names a network share, which the device does not have.
# The program's silent run, with its folder options and the registry values it reads spelled
# that way, changes no file of the device and nothing beside it; so does the run at boot.
source "$(dirname "$0")/../common.sh"
# every folder and every file of the device with its checksum, but the options file, which the
# program's Exit writes
state() {
  (cd "$root" && find . -type d | sort &&
     find . -type f ! -name settings.dat -print0 | sort -z | xargs -0 md5sum)
}
expect_unchanged() {
  state > "$work/after"
  diff "$work/before" "$work/after" || fail "$1 changed the device"
  [ "$(cat "$work/canary")" = alive ] || fail "$1 changed the canary beside the device"
}
# sets a string value of registry.reg, the text written as the .reg format escapes it
set_value() {
  local name=$1 text=${2//\\/\\\\}
  grep -q "^\"$name\"=" "$dev/registry.reg" || fail "no value $name in the registry"
  NAME=$name TEXT=$text perl -i -pe 's/^"\Q$ENV{NAME}\E"=.*/"$ENV{NAME}"="$ENV{TEXT}"/' \
    "$dev/registry.reg"
}

"$cedevice" init "$dev" > /dev/null
"$cedevice" install "$dev" > /dev/null
echo alive > "$work/canary"

# (spellings the program itself passes on to the file system as they are: it reads "\\" as
# one separator, which is its own affair)
for folder in '\/' '//' '/\' '\/.\' '\/Windows\' '//Windows/Temp/' '\/My Documents'; do
  step "every folder option and folder value = $folder, then a silent run"
  cat > "$work/options.script" <<SCRIPT
tap "User Defined 1"
tap id=50002
type "$folder"
tap "User Defined 2"
tap id=50005
type "$folder"
tap "Pocket IE"
tap "Clear Pocket IE Cache"
tap "Clear Pocket IE History"
tap "Move AvantGo Cache"
tap id=50033
type "\\Temp\\"
tap "System Folders"
tap "Move Favorites Storage"
tap id=50037
type "\\Temp\\"
tap "Move Fonts Folder"
tap id=50040
type "\\Temp\\"
tap "Move My Documents"
tap id=50043
type "\\Temp\\"
menu "Varnello" "Exit"
expect ended 0
SCRIPT
  # options that hold the spelling are saved first; a later script starts from them
  rm -f "$root/Program Files/Varnello/settings.dat"
  "$varnello" --device "$dev" --headless --script "$work/options.script" > "$work/out" 2>&1 \
    || { cat "$work/out" >&2; fail "saving the options with $folder failed"; }
  for value in Cache History DatabaseLocation Favorites Fonts "My Documents"; do
    set_value "$value" "$folder"
  done
  state > "$work/before"
  "$varnello" --device "$dev" --headless silent || fail "the silent run with $folder failed"
  expect_unchanged "the silent run with $folder"
done

step "the same at boot, through the startup shortcut"
cat > "$work/startup.script" <<'SCRIPT'
tap "Performance"
tap "Silent cleanup at startup"
menu "Varnello" "Exit"
expect ended 0
SCRIPT
"$varnello" --device "$dev" --headless --script "$work/startup.script" > /dev/null \
  || fail "saving the options failed"
# the silent run makes the startup shortcut, then each boot runs it
"$varnello" --device "$dev" --headless silent || fail "the silent run failed"
[ -f "$root/Windows/StartUp/Varnello.lnk" ] || fail "no startup shortcut was made"
state > "$work/before"
"$cedevice" boot "$dev" > /dev/null || fail "the boot failed"
grep -q "process start.*silent" "$dev/log" || fail "the boot did not run the program silently"
expect_unchanged "the silent run at boot"
echo "e2e: all steps passed"
