#!/usr/bin/env bash
# Usage: run_shipped32.sh PREFIX TEST_EXE [ARGS...]
#
# Runs TEST_EXE (x86-64) in the Wine prefix PREFIX under the 32-bit Wine's root
# in the user's cache (tools/install-wine32 puts it there first if need be),
# whose 64-bit loader starts 32-bit programs under qemu-i386, with one
# wineserver for both and a display of their own. The prefix boots once and is
# kept until that Wine changes.
set -euo pipefail
prefix=$(realpath -m "$1")
shift
tools=$(realpath "$(dirname "$0")/../tools")

root=$("$tools/install-wine32")
if [ "$(cat "$prefix.key" 2>/dev/null)" != "$(cat "$root/.ready")" ]; then
  rm -rf "$prefix" "$prefix.key"
fi
# A run cut short (a step past its limit) leaves its scratch folders behind,
# and process ids, which name them, repeat from one session to the next.
rm -rf "$prefix"/drive_c/users/*/Temp/sheen-*
start=$(date +%s)
set +e
"$tools/wine-session" --wine "$root/usr/lib/wine/wine64" --prefix "$prefix" \
  "$tools/wine-run" --prefix "$prefix" "$@"
status=$?
set -e
# Kept only once booted whole; a session cut short boots it again next time.
[ -f "$prefix.key" ] || [ ! -f "$prefix/system.reg" ] || cp "$root/.ready" "$prefix.key"
echo "run_shipped32: $(($(date +%s) - start)) s in all"
exit $status
