#!/usr/bin/env bash
# special_files.sh VARNELLO CEDEVICE
# FIFOs and hard links planted in a device image from the host: no run waits for ever, and nothing
# outside the image changes.
source "$(dirname "$0")/../common.sh"
settings=$root/Program\ Files/Varnello/settings.dat
startup=$root/Windows/StartUp/Varnello.lnk

# runs a command that must end on its own well within the limit
ends() {
  local rc=0
  timeout 30 "$@" || rc=$?
  [ "$rc" -ne 124 ] || fail "did not end: $*"
  return "$rc"
}

"$cedevice" init "$dev" > /dev/null
"$cedevice" install "$dev" > /dev/null

step "a FIFO named settings.dat: the silent run, the program and its Exit go on"
mkfifo "$settings"
ends "$varnello" --device "$dev" --headless silent || fail "the silent run failed"
cat > "$work/exit.script" <<'SCRIPT'
menu "Varnello" "Exit"
expect box "Error!!!" "could not be opened for writing"
answer ok
expect ended 0
SCRIPT
ends "$varnello" --device "$dev" --headless --script "$work/exit.script" || fail "Exit did not say why"
[ -p "$settings" ] || fail "the FIFO was replaced"
rm "$settings"

step "a FIFO named Varnello.lnk with the silent clean-up on: the silent run and the boot go on"
cat > "$work/silent.script" <<'SCRIPT'
tap "Performance"
tap "Silent cleanup at startup"
menu "Varnello" "Exit"
expect ended 0
SCRIPT
ends "$varnello" --device "$dev" --headless --script "$work/silent.script" || fail "ticking failed"
rm -f "$startup"
mkfifo "$startup"
ends "$varnello" --device "$dev" --headless silent || fail "the silent run failed"
ends "$cedevice" boot "$dev" > "$work/boot.out" || fail "the boot failed"
grep -q 'Varnello.lnk: not a shortcut' "$work/boot.out" || fail "the boot did not pass over the FIFO"

step "settings.dat as a hard link to a file outside the image: Exit writes only the device's file"
rm -f "$settings"
printf 'outside data, not settings' > "$work/outside.txt"
cp "$work/outside.txt" "$work/outside.orig"
ln "$work/outside.txt" "$settings"
cat > "$work/link.script" <<'SCRIPT'
expect box "Error!!!" "damaged"
answer ok
tap "\Temp"
menu "Varnello" "Exit"
expect ended 0
SCRIPT
ends "$varnello" --device "$dev" --headless --script "$work/link.script" || fail "the run failed"
cmp -s "$work/outside.txt" "$work/outside.orig" || fail "the file outside the image changed"
[ "$(stat -c %h "$work/outside.txt")" = 1 ] || fail "the outside file is still linked"
[ "$(stat -c %h "$settings")" = 1 ] || fail "settings.dat is still linked"
cmp -s "$settings" "$work/outside.orig" && fail "settings.dat was not written"
[ -z "$(find "$root" -name '.~link*')" ] || fail "a temporary copy was left behind"
# and the options were saved: the next run starts with "\Temp" ticked
cat > "$work/check.script" <<'SCRIPT'
expect checked id=50007
menu "Varnello" "Exit"
expect ended 0
SCRIPT
ends "$varnello" --device "$dev" --headless --script "$work/check.script" || fail "not saved"
echo "e2e: all steps passed"
