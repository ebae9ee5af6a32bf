#!/usr/bin/env bash
# install.sh CMAKE BUILD_DIR
# Installs the build into a temporary prefix and uses only what was installed: a device made,
# the program installed on it, a silent clean-up at boot, a screen drawn with its fonts.
set -euo pipefail
cmake=$1
build=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
fail() { echo "e2e: $*" >&2; exit 1; }

"$cmake" --install "$build" --prefix "$prefix" > "$work/install.log" \
  || { cat "$work/install.log" >&2; fail "cmake --install failed"; }
for f in bin/varnello bin/cedevice lib/libceplatform.so lib/libcewindow.so lib/libVarnelloSetup.so \
         share/varnello/tunedoc.htm; do
  [ -e "$prefix/$f" ] || fail "$f was not installed"
done
# the installed programs load the installed library, never the build tree's
for p in bin/varnello bin/cedevice lib/libVarnelloSetup.so; do
  runpath=$(readelf -d "$prefix/$p" | sed -n 's/.*R\(UN\)\{0,1\}PATH.*\[\(.*\)\]/\2/p')
  case "$runpath" in
    *"$build"*) fail "$p still looks in the build tree ($runpath)" ;;
  esac
  loaded=$(ldd "$prefix/$p" | sed -n 's/.*libceplatform.so => \([^ ]*\).*/\1/p')
  [ -n "$loaded" ] && [ "$(realpath "$loaded")" = "$(realpath "$prefix/lib/libceplatform.so")" ] \
    || { ldd "$prefix/$p" >&2; fail "$p does not load the installed platform library"; }
done
# the window module, and only it, links SDL2; it finds the platform library beside itself
runpath=$(readelf -d "$prefix/lib/libcewindow.so" | sed -n 's/.*R\(UN\)\{0,1\}PATH.*\[\(.*\)\]/\2/p')
[ "$runpath" = '$ORIGIN' ] || fail "lib/libcewindow.so looks in $runpath"
[[ $(ldd "$prefix/lib/libcewindow.so") == *libSDL2* ]] || fail "the window module does not link SDL2"
for p in bin/varnello bin/cedevice lib/libceplatform.so lib/libVarnelloSetup.so; do
  [[ $(ldd "$prefix/$p") != *libSDL2* ]] || fail "$p links SDL2, which only a window needs"
done
# ... and it works with the build tree gone from reach
export LD_LIBRARY_PATH=
"$prefix/bin/varnello" --version | grep -qx "varnello [0-9][0-9.]*" || fail "varnello --version"
"$prefix/bin/cedevice" --version | grep -qx "cedevice [0-9][0-9.]*" || fail "cedevice --version"

dev=$work/device
root=$dev/root
"$prefix/bin/cedevice" init "$dev" > /dev/null
"$prefix/bin/cedevice" install "$dev" > /dev/null || fail "the installed cedevice cannot install"
grep -q "=$prefix/bin/varnello\$" "$dev/device.ini" || fail "the device runs $(grep -i varnello.exe "$dev/device.ini")"
cmp -s "$root/Windows/tunedoc.htm" "$prefix/share/varnello/tunedoc.htm" || fail "help file not installed"

# tick "\Temp" and "Silent cleanup at startup", leave; then boot: the startup shortcut runs the
# installed program silently
cat > "$work/tick.script" <<'SCRIPT'
check id=50007
tap "Performance"
check id=50050
menu "Apply" "Defer Restart"
answer ok
answer ok
menu "Varnello" "Exit"
expect ended 0
SCRIPT
"$prefix/bin/varnello" --device "$dev" --headless --script "$work/tick.script" \
  || fail "the installed program did not run the script"
printf '%0100d' 0 > "$root/Temp/left.tmp"
"$prefix/bin/cedevice" boot "$dev" > "$work/boot.log" || { cat "$work/boot.log" >&2; fail "boot"; }
[ ! -e "$root/Temp/left.tmp" ] || fail "the silent clean-up at boot did not run"
grep -q "process start.*silent" "$dev/log" || fail "no silent start in the device log"

# the screen is drawn with the fonts the installed program finds
"$prefix/bin/varnello" --device "$dev" --headless --screenshot "$work/screen.png" 2> "$work/err" \
  || { cat "$work/err" >&2; fail "no screenshot"; }
! grep -q "cannot load the font" "$work/err" || fail "fonts not found: $(cat "$work/err")"
[ -s "$work/screen.png" ] || fail "an empty screenshot"
# The system's fonts are installed with the programs and read from there first: a moved copy of
# the prefix whose Tahoma is another face draws another screen.
for font in /usr/share/wine/fonts/tahoma.ttf /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf; do
  [ ! -e "$font" ] || [ -e "$prefix/share/varnello/fonts/${font##*/}" ] \
    || fail "${font##*/} was not installed"
done
if [ -e "$prefix/share/varnello/fonts/tahoma.ttf" ]; then
  cp -a "$prefix" "$work/moved"
  cp "$prefix/share/varnello/fonts/DejaVuSans.ttf" "$work/moved/share/varnello/fonts/tahoma.ttf"
  "$work/moved/bin/varnello" --device "$dev" --headless --screenshot "$work/other.png" \
    || fail "the moved prefix did not draw"
  ! cmp -s "$work/screen.png" "$work/other.png" \
    || fail "the installed fonts are not the ones drawn with"
  rm -rf "$work/moved"
fi
# A window opens with the installed module, found beside the installed platform library, on an
# X server of this test's own. Where there is none, a display where nothing answers tells the
# same: the module loads, then finds no server there.
nodisplay=":$((200 + RANDOM % 300))"
if command -v Xvfb > /dev/null && command -v xdotool > /dev/null; then
  Xvfb -displayfd 5 -nolisten tcp -noreset 5> "$work/display" > "$work/xvfb.log" 2>&1 &
  xvfb=$!
  trap 'kill $xvfb 2> /dev/null; wait; rm -rf "$work"' EXIT
  for _ in $(seq 300); do [ -s "$work/display" ] && break; sleep 0.1; done
  export DISPLAY=":$(head -1 "$work/display")"
  ASAN_OPTIONS=detect_leaks=0 "$prefix/bin/varnello" --device "$dev" > /dev/null 2> "$work/err" &
  app=$!
  shown=no
  for _ in $(seq 300); do
    xdotool search --name '^Varnello$' > /dev/null 2>&1 && { shown=yes; break; }
    kill -0 $app 2> /dev/null || break
    sleep 0.1
  done
  kill $app 2> /dev/null || true
  wait $app 2> /dev/null || true
  [ $shown = yes ] || fail "the installed program opened no window: $(cat "$work/err")"
  unset DISPLAY
fi
if ASAN_OPTIONS=detect_leaks=0 DISPLAY=$nodisplay "$prefix/bin/varnello" --device "$dev" \
    2> "$work/err"; then
  fail "the program ran on $nodisplay, where no X server listens"
fi
grep -q "no X server listens there" "$work/err" || fail "no window module? $(cat "$work/err")"

# Without the module, a window cannot be opened and the run ends at once, in one line; a run
# without a window does not miss it.
mv "$prefix/lib/libcewindow.so" "$work/libcewindow.so"
code=0
DISPLAY=$nodisplay "$prefix/bin/varnello" --device "$dev" 2> "$work/err" || code=$?
[ "$code" = 2 ] || fail "without the window module the program ended with $code: $(cat "$work/err")"
[ "$(wc -l < "$work/err")" = 1 ] || fail "more than one line: $(cat "$work/err")"
grep -q "cannot open the display \"$nodisplay\" (the window module cannot be loaded: .*libcewindow.so" \
  "$work/err" || fail "the reason is not given: $(cat "$work/err")"
DISPLAY=$nodisplay "$prefix/bin/varnello" --device "$dev" --headless silent \
  || fail "a silent run needs the window module"
echo "e2e: the installed programs work"
