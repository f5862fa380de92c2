#!/usr/bin/env bash
# Usage: check_install_wine32.sh
#
# tools/install-wine32 --check against local file: apt sources only, offline:
# an index that does not match its Release (a mirror caught mid-sync) must not
# stop it while another source holds every package; a source whose wine32 is
# of another version must stop it, naming the package, its version and the
# archive's likely update. Exits 77 (skipped) where apt cannot be run.
set -euo pipefail
tools=$(realpath "$(dirname "$0")/../tools")
for tool in apt-get apt-cache dpkg-query python3; do
  command -v "$tool" >/dev/null || { echo "skipped: no $tool, so apt cannot be run here"; exit 77; }
done
version=$(dpkg-query -W -f='${Version}' wine64 2>/dev/null) || { echo "skipped: no wine64"; exit 77; }
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
[ -n "$codename" ] || { echo "skipped: /etc/os-release names no codename"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# repo NAME SUITE ARCH [PACKAGE=VERSION...]: a suite of index entries only,
# signed by nobody; --check downloads no package.
repo() {
  local dir=$work/$1/dists/$2 suite=$2 arch=$3 spec
  shift 3
  mkdir -p "$dir/main/binary-$arch"
  for spec in "$@"; do
    printf 'Package: %s\nVersion: %s\nArchitecture: %s\nFilename: pool/%s.deb\nSize: 1\n\n' \
      "${spec%=*}" "${spec#*=}" "$arch" "${spec%=*}"
  done >"$dir/main/binary-$arch/Packages"
  printf 'Suite: %s\nCodename: %s\nDate: %s\nArchitectures: %s\nComponents: main\nSHA256:\n %s %s main/binary-%s/Packages\n' \
    "$suite" "$suite" "$(LC_ALL=C date -u -R)" "$arch" \
    "$(sha256sum <"$dir/main/binary-$arch/Packages" | cut -d' ' -f1)" \
    "$(stat -c %s "$dir/main/binary-$arch/Packages")" "$arch" >"$dir/Release"
}
x11=(libxcomposite1 libxcursor1 libxfixes3 libxi6 libxinerama1 libxrandr2 libxrender1 libxxf86vm1)
repo good "$codename" i386 "wine32=$version" "libwine=$version" "${x11[@]/%/=1}"
repo good "$codename-backports" amd64 qemu-user=1:10.0
repo mid-sync "$codename-security" i386 "wine32=$version" libc6=2
truncate -s -20 "$work/mid-sync/dists/$codename-security/main/binary-i386/Packages"
repo other "$codename" i386 wine32=1.0 "libwine=$version" "${x11[@]/%/=1}"

# sources NAME SUITE...: the deb822 source of the local repository NAME.
sources() {
  printf 'Types: deb\nURIs: file:%s\nSuites: %s\nComponents: main\nTrusted: yes\n\n' "$work/$1" "${*:2}"
}
status=0
# expect ENDS SAYS SOURCES [LIST]: install-wine32 --check with only SOURCES
# (deb822) and LIST (one-line sources) must end with ENDS (0, or 1 for any
# failure) and say something that matches SAYS.
expect() {
  rm -rf "${work:?}/etc" "$work/cache" && mkdir -p "$work/etc"
  printf '%s\n' "$3" >"$work/etc/local.sources"
  printf '%s\n' "${4:-}" >"$work/etc/local.list"
  local got=0
  SHEENWRIGHT_APT_SOURCES=$work/etc XDG_CACHE_HOME=$work/cache \
    "$tools/install-wine32" --check >"$work/out" 2>&1 || got=$?
  if [ $((got != 0)) -ne "$1" ] || ! grep -qE "$2" "$work/out"; then
    echo "FAILED: with the sources below, ended $got, expected $1 and \"$2\":"
    printf '%s\n' "$3" "${4:-}" && cat "$work/out"
    status=1
  fi
}
expect 0 "can be had" "$(sources mid-sync "$codename-security")" \
  "deb [ trusted=yes ] file:$work/good $codename main"
expect 1 "wine32 $version is missing.*middle of an update" "$(sources other "$codename")"
[ $status -ne 0 ] || echo "install-wine32 goes on past a broken index and names what is missing"
exit $status
