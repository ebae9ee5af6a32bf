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
for f in bin/varnello bin/cedevice lib/libceplatform.so lib/libVarnelloSetup.so \
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
echo "e2e: the installed programs work"
