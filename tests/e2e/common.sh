# Sourced by the e2e scripts, which are run as: SCRIPT VARNELLO CEDEVICE.
# Sets varnello, cedevice, a work folder removed at exit, dev (a device folder in it, not yet
# made) and root (its object store); fail says what went wrong and ends the script.
set -euo pipefail
varnello=$1
cedevice=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dev=$work/device
root=$dev/root

fail() { echo "e2e: $*" >&2; exit 1; }
step() { echo "== $*"; }
