#!/usr/bin/env bash
# silent_cleanup.sh VARNELLO CEDEVICE
# Runs the built binaries on a temporary device the way a person would from a shell.
set -euo pipefail
varnello=$1
cedevice=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dev=$work/device
root=$dev/root

fail() { echo "e2e: $*" >&2; exit 1; }
step() { echo "== $*"; }

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

step "uninstall removes what the program made"
"$cedevice" uninstall "$dev" || fail "uninstall failed"
[ -z "$(find "$root/Windows" -ipath '*/windows/startup/varnello.lnk')" ] || fail "startup shortcut left"
[ ! -e "$root/Program Files/Varnello/settings.dat" ] || fail "settings.dat left"
[ ! -e "$root/Windows/Help/Varnello.lnk" ] || fail "help shortcut left"
[ ! -e "$root/Windows/tunedoc.htm" ] || fail "help file left"

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
echo "e2e: all steps passed"
