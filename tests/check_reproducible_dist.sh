#!/usr/bin/env bash
# Usage: check_reproducible_dist.sh SOURCE WORK
#
# Builds the release (the 32-bit preset, then tools/make-dist) from two copies
# of SOURCE at paths of different lengths below a new folder in WORK, built
# seconds apart: the executables and the zips must match byte for byte. Then
# checks what the zip holds and its SHA256SUMS.
set -euo pipefail
source=$1
mkdir -p "$2"
work=$(mktemp -d "$2/reproducible.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Set for the zip only: GNU ld would also take it for the PE header's link
# time, and hide a build that still stamps one. Even, because a zip stores
# its times in steps of two seconds.
unset SOURCE_DATE_EPOCH
source_date=1700000000
copies=("$work/a" "$work/a-longer-folder-name/b")
for copy in "${copies[@]}"; do
  mkdir -p "$copy"
  tar -C "$source" --exclude=./build --exclude=./dist --exclude=./.git -cf - . | tar -C "$copy" -xf -
  (
    cd "$copy"
    cmake --preset win32 >"$work/log" 2>&1 && cmake --build --preset win32 -j 2 >>"$work/log" 2>&1 \
      || { cat "$work/log"; exit 1; }
    SOURCE_DATE_EPOCH=$source_date tools/make-dist >/dev/null
    cd dist && sha256sum --check --quiet SHA256SUMS
  )
done

first=${copies[0]} second=${copies[1]}
cmp "$first/build/win32/Sheenwright.exe" "$second/build/win32/Sheenwright.exe"
zip=$(cd "$first/dist" && echo Sheenwright-*-win32.zip)
cmp "$first/dist/$zip" "$second/dist/$zip"

expected="README.txt Sheenwright.exe"
for licence in LICENSE COPYING; do
  [ ! -f "$source/$licence" ] || expected+=" $licence.txt"
done
python3 - "$first/dist/$zip" "$expected" "$source_date" <<'EOF'
import sys, time, zipfile

archive = zipfile.ZipFile(sys.argv[1])
names = archive.namelist()
failures = []
if names != sys.argv[2].split():
    failures.append("the zip holds %s, not %s" % (names, sys.argv[2].split()))
date = time.gmtime(int(sys.argv[3]))[:6]
failures += ["%s is dated %s, not %s" % (entry.filename, entry.date_time, date)
             for entry in archive.infolist() if entry.date_time != date]

# The version the executable's own version record gives.
exe = archive.read("Sheenwright.exe")
key = "FileVersion\0".encode("utf-16-le")
start = end = exe.find(key) + len(key) + 3 & ~3  # the value starts on a 4-byte boundary
while exe[end:end + 2] not in (b"\0\0", b""):
    end += 2
version = exe[start:end].decode("utf-16-le")

readme = archive.read("README.txt")
lone = readme.replace(b"\r\n", b"")
if b"\r" in lone or b"\n" in lone:
    failures.append("README.txt has line ends other than CR LF")
if ("Sheenwright %s\r\n" % version).encode() not in readme:
    failures.append("README.txt does not name version %r of the executable" % version)
if failures:
    sys.exit("\n".join(failures))
print("%s: %s, version %s, identical from two folders" % (sys.argv[1].rsplit("/", 1)[1],
                                                           " ".join(names), version))
EOF
