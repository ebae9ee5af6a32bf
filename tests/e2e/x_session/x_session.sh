#!/usr/bin/env bash
# x_session.sh VARNELLO CEDEVICE SCALE|resized|small|depth8
#
# A person's session with the program in its window on a real X server: the mouse and the
# keyboard come from xdotool, aimed at the places where the pictures of docs/screenshots show
# the controls, times the window's scale. What the session did is read afterwards from the
# device: settings.dat, registry.reg and the log.
#
#   tick "User Defined 1" and type its folder;
#   open a menu and close it with Escape, then with a second tap on its button, ticking a box
#   after each (a menu left open would take that tap);
#   drag the page's scroll box to the end and tick "*.tmp", which only then is on screen;
#   switch to "Performance", hidden behind the tab row's arrows, and tick a box there;
#   Apply > Defer Restart, answering its two message boxes (a tap, then Enter);
#   end with the navigation bar's ok.
#
# "resized" starts at scale 1 and drags the window to another size first: off the screen's
# aspect ratio, which the window puts right (three window pixels per screen pixel).
# "small" asks for scale 2 on a 640 x 480 screen, where that window would hang off the top and
# bottom: it opens at scale 1, all of it on the screen. "depth8" is xvfb-run's default screen
# (8 bits per pixel, a colour map): the program says in one line that it cannot show its colours
# there and ends with status 2.
set -euo pipefail
varnello=$1
cedevice=$2
size=$3

for tool in Xvfb xdotool; do
  command -v "$tool" >/dev/null || { echo "x_session: $tool is not installed; skipped"; exit 77; }
done

work=$(mktemp -d)
xvfb=""
app=""
cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null || true
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "x_session ($size): $*" >&2
  [ -f "$work/device/log" ] && { echo "-- device log:" >&2; cat "$work/device/log" >&2; }
  [ -f "$work/stderr" ] && { echo "-- program's stderr:" >&2; cat "$work/stderr" >&2; }
  exit 1
}
step() { echo "== $*"; }

# Polls (every 0.1 s, up to a minute) until the command succeeds.
await() {
  local what=$1
  shift
  for _ in $(seq 600); do
    "$@" && return 0
    sleep 0.1
  done
  fail "waited a minute for $what"
}

step "an X server of its own"
# Servers started at the same moment can take each other's display number and sockets: the
# start waits its turn (a lock on this script, which every session shares) until the server is
# ready.
exec 5>"$work/display" 6<"$0"
flock -w 120 6 || fail "another session held the X server lock for two minutes"
# -noreset: a server resets itself when its last client goes, and is deaf while it does (the
# check below, and the program's own look before it starts, are such clients).
screen=1280x1280x24
[ "$size" = small ] && screen=640x480x24
[ "$size" = depth8 ] && screen=640x480x8
Xvfb -displayfd 5 -screen 0 "$screen" -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
xvfb=$!
await "the X server" test -s "$work/display"
flock -u 6
export DISPLAY=":$(head -1 "$work/display")"
# A new server takes its first clients once it has set itself up (its keyboard map compiled),
# which a loaded machine can make last a while: the program is started on a server that answers.
answers() { xdotool getdisplaygeometry >/dev/null 2>&1; }
await "the X server to answer" answers

dev=$work/device
root=$dev/root
"$cedevice" init "$dev" >/dev/null
"$cedevice" install "$dev" >/dev/null
mkdir -p "$root/Temp"
printf '%0400d' 0 >"$root/Temp/session.tmp"

if [ "$size" = depth8 ]; then
  step "an 8-bit screen: one line, status 2, nothing changed on the device"
  cp "$dev/log" "$work/log.before"
  status=0
  timeout 10 "$varnello" --device "$dev" 2>"$work/stderr" || status=$?
  [ "$status" = 2 ] || fail "the program ended with $status on an 8-bit screen"
  [ "$(wc -l <"$work/stderr")" = 1 ] || fail "not one line: $(cat "$work/stderr")"
  grep -q "fewer than 15 bits per pixel" "$work/stderr" || fail "$(cat "$work/stderr")"
  cmp -s "$dev/log" "$work/log.before" || fail "the device log changed"
  exit 0
fi

asked=$size
case "$size" in
  resized) asked=1 ;;
  small) asked=2 ;;
esac
scale=$asked
[ "$size" = small ] && scale=1
step "varnello --scale $asked"
"$varnello" --device "$dev" --scale "$asked" 2>"$work/stderr" &
app=$!
# Polled rather than searched with --sync: a window that goes while xdotool walks the tree (SDL
# makes and drops a few as it starts) ends that search with an X error.
window=""
shown() {
  kill -0 "$app" 2>/dev/null || fail "the program ended before its window was shown"
  window=$(xdotool search --onlyvisible --name '^Varnello$' 2>/dev/null | head -1)
  [ -n "$window" ]
}
await "the program's window" shown

geometry() { xdotool getwindowgeometry --shell "$window" | grep -E '^(WIDTH|HEIGHT)=' | tr '\n' ' '; }
is_size() { [ "$(geometry)" = "WIDTH=$1 HEIGHT=$2 " ]; }
await "the window at $((240 * scale)) x $((320 * scale))" is_size $((240 * scale)) $((320 * scale))
if [ "$size" = small ]; then
  eval "$(xdotool getwindowgeometry --shell "$window")"
  [ "$X" -ge 0 ] && [ "$Y" -ge 0 ] && [ $((X + WIDTH)) -le 640 ] && [ $((Y + HEIGHT)) -le 480 ] ||
    fail "the window at ($X, $Y) is not all on the 640 x 480 screen"
fi
if [ "$size" = resized ]; then
  step "the window dragged to 700 x 960: put right to 720 x 960"
  xdotool windowmove --sync "$window" 0 0
  xdotool windowsize "$window" 700 960
  await "the window at 720 x 960" is_size 720 960
  scale=3
fi
xdotool windowfocus --sync "$window"

# A tap on the screen pixel (x, y): the centre of the window pixels that show it.
tap() { xdotool mousemove --window "$window" $(($1 * scale + scale / 2)) $(($2 * scale + scale / 2)) click 1; }
drag() {
  xdotool mousemove --window "$window" $(($1 * scale + scale / 2)) $(($2 * scale + scale / 2)) \
    mousedown 1 \
    mousemove --window "$window" $(($1 * scale + scale / 2)) $((($2 + $4) / 2 * scale)) \
    mousemove --window "$window" $(($3 * scale + scale / 2)) $(($4 * scale + scale / 2)) \
    mouseup 1
}

# Where the pictures show things, in screen pixels. The option screens' page (the display
# window) has its top left corner at (4, 30): below the navigation bar (26) and inside the tab
# control's frame. A control of the catalogue at (x, y) is tapped near its left end, where a check
# box has its box, half its height (18) down.
page_x=4
page_y=30
control() { tap $((page_x + $1 + 8)) $((page_y + $2 + 9)); }
ok_button="221 13"      # the navigation bar's ok
varnello_menu="26 307"  # the menu bar's buttons, left to right
apply_menu="75 307"
defer_restart="100 283" # the second row of the "Apply" menu, which opens above its button
right_arrow="233 284"   # the tab row's right arrow
performance_tab="160 284" # "Performance" once the row has moved to its end
scroll_box="229 47"     # the page's scroll box, at the top of its track
track_end="229 300"     # below the end of the track
box_ok="120 193"        # the "OK" of a one-line message box

step "tick \"User Defined 1\" and type its folder"
control 2 2
control 2 20
xdotool type --delay 30 '\Temp\'

step "open a menu, close it with Escape, tick \"\\Windows\\Temp\""
tap $varnello_menu
xdotool key Escape
control 2 96 # a menu still open would take this tap to close itself: the box stays clear

step "open it again, close it with a second tap on its button, tick \"\\My Documents\\Temp\""
tap $varnello_menu
tap $varnello_menu
control 2 114

step "drag the page's scroll box to the end; tick \"*.tmp\", which is then on screen"
# The page is 396 high and shows 241 of it: at the end it is scrolled by 396 - 241 less the
# scroll page of 3 (153), and "*.tmp", at 266 on the page, is at 113 in the page's view.
drag $scroll_box $track_end
control 2 $((266 - 153))

step "the \"Performance\" tab, behind the tab row's arrows; tick \"Disable start menu animation\""
for _ in 1 2 3 4; do tap $right_arrow; done
tap $performance_tab
control 2 84

step "Apply > Defer Restart; answer the two message boxes: OK tapped, then Enter"
tap $apply_menu
tap $defer_restart
tap $box_ok        # "Cleaning Finished"
xdotool key Return # "Restart Required": its OK is the default button

step "the navigation bar's ok ends the program, saving the options"
tap $ok_button
ended() { ! kill -0 "$app" 2>/dev/null; }
await "the program to end" ended
status=0
wait "$app" || status=$?
app=""
[ "$status" = 0 ] || fail "the program ended with $status"
[ -z "$(xdotool search --name '^Varnello$' 2>/dev/null)" ] || fail "the window is still there"

step "what the session left on the device"
# flags: "User Defined 1" (bit 0), "\Windows\Temp" (3), "\My Documents\Temp" (4), "*.tmp" (5),
# "Disable start menu animation" (22), and "Disable window animation" (23), ticked on a first
# run; then the folder of "User Defined 1", six UTF-16 units
expected="3900c000060000005c00540065006d0070005c00"
settings=$(od -An -v -tx1 "$root/Program Files/Varnello/settings.dat" | tr -d ' \n')
[ "$settings" = "$expected" ] || fail "settings.dat holds $settings, not $expected"

# value NAME under KEY in registry.reg
value() {
  awk -v key="[$1]" -v name="\"$2\"" '
    /^\[/ { inside = (tolower($0) == tolower(key)) }
    inside && index($0, name "=") == 1 { sub(/^[^=]*=/, ""); print }' "$dev/registry.reg"
}
[ "$(value 'HKEY_LOCAL_MACHINE\System\GWE\Menu' AniType)" = "dword:00000000" ] ||
  fail "AniType is $(value 'HKEY_LOCAL_MACHINE\System\GWE\Menu' AniType), not 0"
[ "$(value 'HKEY_LOCAL_MACHINE\System\GWE' Animate)" = "dword:00000000" ] ||
  fail "Animate is $(value 'HKEY_LOCAL_MACHINE\System\GWE' Animate), not 0"

grep -q 'message box "Cleaning Finished": [0-9]* Bytes Cleaned' "$dev/log" ||
  fail "no \"Cleaning Finished\" box in the log"
grep -q 'message box "Restart Required"' "$dev/log" || fail "no \"Restart Required\" box in the log"
[ "$(grep -c 'answered OK' "$dev/log")" = 2 ] || fail "the two boxes were not answered OK"
! grep -q 'power off' "$dev/log" || fail "the device was switched off"
[ ! -e "$root/Temp/session.tmp" ] || fail "the folder typed for \"User Defined 1\" was not cleaned"
echo "x_session ($size): passed"
