#!/usr/bin/env bash
# Usage: run_with_mounts.sh PREFIX TEST_EXE [ARGS...]
#
# Runs the tests that need file systems of their own: a drive R: on a tmpfs of
# a few KiB (to fill completely), a folder that even root cannot write (a
# read-only bind mount), and a program that cannot be changed in a folder that
# can (a read-only bind mount of that one file). Mounting needs root; where it is refused, the tests
# learn why from SHEEN_MOUNT_REFUSED and skip with that reason.
set -uo pipefail
prefix=$(realpath -m "$1")
exe=$2
shift 2
here=$(dirname "$(realpath "$0")")

work=$(mktemp -d "$(dirname "$prefix")/mounts.XXXXXX")
small=$work/small
source=$work/readonly-source
readonly_folder=$work/readonly
protected=$work/protected
mkdir -p "$small" "$source" "$readonly_folder" "$protected"
drive=$prefix/dosdevices/r:

cleanup() {
  rm -f "$drive"
  mountpoint -q "$small" && umount "$small"
  mountpoint -q "$readonly_folder" && umount "$readonly_folder"
  mountpoint -q "$protected/tool.exe" && umount "$protected/tool.exe"
  rm -rf "$work"
}
trap cleanup EXIT

refused=""
if error=$(mount -t tmpfs -o size=16k,mode=0777 tmpfs "$small" 2>&1); then
  mkdir -p "$prefix/dosdevices"
  ln -sfn "$small" "$drive"
  export SHEEN_SMALL_DRIVE='R:'
else
  refused="mounting a tmpfs: $error"
fi
# An earlier manifest that the read-only folder must keep.
printf '<earlier manifest/>\r\n' >"$source/tool.exe.manifest"
if error=$( { mount --bind "$source" "$readonly_folder" && mount -o remount,ro,bind "$readonly_folder"; } 2>&1); then
  export SHEEN_READONLY_FOLDER="Z:${readonly_folder//\//\\}"
else
  refused="${refused:+$refused; }a read-only bind mount: $error"
fi
cp "$(dirname "$exe")/manifest_probe.exe" "$work/program.exe" # a program, x86-64
: >"$protected/tool.exe"
if error=$( { mount --bind "$work/program.exe" "$protected/tool.exe" &&
              mount -o remount,ro,bind "$protected/tool.exe"; } 2>&1); then
  export SHEEN_PROTECTED_PROGRAM="Z:${protected//\//\\}\\tool.exe"
else
  refused="${refused:+$refused; }a read-only bind mount of a file: $error"
fi
[ -z "$refused" ] || export SHEEN_MOUNT_REFUSED="$refused"

"$here/../tools/wine-run" --prefix "$prefix" "$exe" "$@"
