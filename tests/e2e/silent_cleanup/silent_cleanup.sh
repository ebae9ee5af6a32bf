#!/usr/bin/env bash
# silent_cleanup.sh VARNELLO CEDEVICE
# Runs the built binaries on a temporary device the way a person would from a shell.
source "$(dirname "$0")/../common.sh"

step "init and install"
"$cedevice" init "$dev"
"$cedevice" install "$dev"
[ -f "$root/Windows/tunedoc.htm" ] || fail "install left no help file"
[ -f "$root/Windows/Help/Varnello.lnk" ] || fail "install left no help shortcut"

step "tick \"\\Temp\" and \"Silent cleanup at startup\", then Apply > Allow Restart"
mkdir -p "$root/Temp/Sub"
printf '%0100d' 0 > "$root/Temp/first.tmp"
printf '%050d' 0 > "$root/Temp/Sub/second.tmp"
cat > "$work/apply.script" <<'SCRIPT'
# the first run ticks "Disable window animation": the pass changes "Animate" and restarts
expect checked id=50052
tap "\Temp"
tap "Performance"
tap "Silent cleanup at startup"
menu "Apply" "Allow Restart"
expect box "Cleaning Finished" "@BYTES@ Bytes Cleaned"
answer ok
SCRIPT
# everything under \Temp goes: the factory image's own files there and the two made above
bytes=$(find "$root/Temp" -type f -printf '%s\n' | awk '{ s += $1 } END { print s }')
sed -i "s/@BYTES@/$bytes/" "$work/apply.script"
"$varnello" --device "$dev" --headless --script "$work/apply.script" \
  || fail "the scripted Apply failed"
[ ! -e "$root/Temp/first.tmp" ] || fail "\\Temp was not cleaned"
[ -d "$root/Temp/Sub" ] || fail "\\Temp\\Sub was removed"
grep -q "reboot" "$dev/log" || fail "no reboot in the device log"

lnk=$(find "$root/Windows" -ipath '*/windows/startup/varnello.lnk' | head -1)
[ -n "$lnk" ] || fail "no startup shortcut"
command='"\Program Files\Varnello\Varnello.exe" silent"'
expected="${#command}#$command"
[ "$(cat "$lnk")" = "$expected" ] || fail "startup shortcut holds '$(cat "$lnk")', not '$expected'"
[ -f "$root/Program Files/Varnello/settings.dat" ] || fail "no settings.dat after the restart"

step "boot: the startup shortcut runs the program silently"
printf '%030d' 0 > "$root/Temp/third.tmp"
lines=$(wc -l < "$dev/log")
"$cedevice" boot "$dev"
[ ! -e "$root/Temp/third.tmp" ] || fail "the silent run at boot did not clean \\Temp"
if tail -n +"$((lines + 1))" "$dev/log" | grep -q "message box"; then
  tail -n +"$((lines + 1))" "$dev/log" >&2
  fail "the silent run showed a message box"
fi

step "the startup shortcut's command line reaches the program as written"
# boot_with TARGET: the startup shortcut runs TARGET; \Temp\probe.tmp shows whether the
# silent clean-up ran
boot_with() {
  local target=$1
  printf '%s#%s' "${#target}" "$target" > "$lnk"
  printf 'x' > "$root/Temp/probe.tmp"
  "$cedevice" boot "$dev" > "$work/boot.out" \
    || { cat "$work/boot.out" >&2; fail "boot with '$target' failed"; }
  grep -q 'ended .*Varnello.lnk (exit code 0)' "$work/boot.out" \
    || { cat "$work/boot.out" >&2; fail "'$target' did not end with exit code 0"; }
}
program='"\Program Files\Varnello\Varnello.exe"'
boot_with "$program silent\" more"
[ ! -e "$root/Temp/probe.tmp" ] || fail "'silent\" more' did not run the silent clean-up"
grep -qF 'process start \Program Files\Varnello\Varnello.exe silent" more' "$dev/log" \
  || fail "the log does not show the command line as written"
# only the exact word at the very start is the silent run
for line in '  silent' 'Silent' '"silent"'; do
  boot_with "$program $line"
  [ -e "$root/Temp/probe.tmp" ] || fail "'$line' ran the silent clean-up"
done
printf '%s#%s' "${#command}" "$command" > "$lnk"
# and from a shell: the launcher hands the words over as written
printf 'x' > "$root/Temp/probe.tmp"
"$varnello" --device "$dev" --headless -- 'silent" more' || fail "varnello 'silent\" more' failed"
[ ! -e "$root/Temp/probe.tmp" ] || fail "varnello -- 'silent\" more' did not run the silent clean-up"

step "uninstall removes what the program made"
"$cedevice" uninstall "$dev" || fail "uninstall failed"
[ -z "$(find "$root/Windows" -ipath '*/windows/startup/varnello.lnk')" ] || fail "startup shortcut left"
[ ! -e "$root/Program Files/Varnello/settings.dat" ] || fail "settings.dat left"
[ ! -e "$root/Windows/Help/Varnello.lnk" ] || fail "help shortcut left"
[ ! -e "$root/Windows/tunedoc.htm" ] || fail "help file left"

step "uninstall of a device without the program, or with a library that cannot be loaded"
# one clear line on stderr and a non-zero exit, the device left as it was
expect_refusal() {
  local what=$1; shift
  local rc=0
  "$@" > "$work/out" 2> "$work/err" || rc=$?
  [ "$rc" -ne 0 ] || fail "$what: exit code 0"
  [ "$(wc -l < "$work/err")" -eq 1 ] || { cat "$work/err" >&2; fail "$what: not one line on stderr"; }
  grep -q . "$work/err" || fail "$what: nothing said"
}
expect_refusal "uninstall twice" "$cedevice" uninstall "$dev"
"$cedevice" install "$dev"
printf 'not a library' > "$work/broken.so"
expect_refusal "uninstall with a broken library" "$cedevice" uninstall "$dev" --setup "$work/broken.so"
[ -f "$root/Program Files/Varnello/Varnello.exe" ] || fail "a refused uninstall removed the program"
expect_refusal "uninstall with no library" "$cedevice" uninstall "$dev" --setup "$work/missing.so"
"$cedevice" uninstall "$dev" || fail "uninstall after the refusals failed"

step "hard reset (Yes twice) and boot restore the factory image"
"$cedevice" install "$dev"
touch "$root/Temp/after-install.txt"
cat > "$work/reset.script" <<'SCRIPT'
menu "Power" "Hard Reset"
answer yes
answer yes
SCRIPT
"$varnello" --device "$dev" --headless --script "$work/reset.script" || fail "the hard reset failed"
"$cedevice" boot "$dev"
[ ! -e "$root/Temp/after-install.txt" ] || fail "the hard reset kept a file made after the factory image"
[ ! -e "$root/Program Files/Varnello" ] || fail "the hard reset kept the installation"
diff -rq "$dev/factory/root" "$root" > /dev/null || fail "root differs from the factory image"
step "varnello with no device creates and installs the default one on first use"
export XDG_DATA_HOME=$work/xdg
"$varnello" --headless --screenshot "$work/first.png" 2> "$work/first.err" \
  || { cat "$work/first.err" >&2; fail "the first run without a device failed"; }
default=$XDG_DATA_HOME/varnello/device
[ -f "$default/registry.reg" ] || fail "no default device was created"
[ -f "$default/root/Program Files/Varnello/Varnello.exe" ] || fail "the default device has no program"
[ -f "$default/root/Windows/tunedoc.htm" ] || fail "the default device has no help file"
grep -qi "first use" "$work/first.err" || fail "the first run did not say it made the device"
[ -s "$work/first.png" ] || fail "the first run showed nothing"
# the second run uses the same device and says nothing about making one
"$varnello" --headless --screenshot "$work/second.png" 2> "$work/second.err" || fail "second run failed"
! grep -qi "first use" "$work/second.err" || fail "the second run made the device again"
echo "e2e: all steps passed"
