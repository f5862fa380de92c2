#!/usr/bin/env bash
# Usage: check_nothing_written.sh snapshot|compare LIST FOLDER...
#
# Around the whole suite: `snapshot` records every file and folder below the
# FOLDERs, `compare` fails if anything is there that was not before. The
# program writes nothing but style scripts, and the tests remove theirs.
set -euo pipefail
mode=$1 list=$2
shift 2
listing() { find "$@" -mindepth 1 2>/dev/null | LC_ALL=C sort; }
case $mode in
  snapshot) listing "$@" >"$list" ;;
  compare)
    added=$(listing "$@" | LC_ALL=C comm -13 "$list" -)
    if [ -n "$added" ]; then
      echo "written during the tests and left behind:"
      echo "$added"
      exit 1
    fi
    echo "nothing new below: $*" ;;
  *) echo "usage: $0 snapshot|compare LIST FOLDER..." >&2; exit 2 ;;
esac
