#!/usr/bin/env bash
# The Debian package: its file list, its control data, Debian's own checker
# (lintian), and (as root) an install with apt-get, `dovrel --version` from
# the installed place, and its removal again. The version is the build's own.
#   package_test.sh DEB      (DEB in its build directory)
set -uo pipefail

DEB=$1
VERSION=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$(dirname "$DEB")/CMakeCache.txt")
passed=0
failed=0
check() {  # check CONDITION-STATUS DESCRIPTION
  if [ "$1" -eq 0 ]; then passed=$((passed + 1)); echo "ok   $2"; else failed=$((failed + 1)); echo "FAIL $2"; fi
}

name=$(basename "$DEB")
check $([ -n "$VERSION" ]; echo $?) "the build's version is known ($VERSION)"
check $([[ "$name" =~ ^dovrel_${VERSION//./\\.}-1_[a-z0-9]+\.deb$ ]]; echo $?) "file name $name"

files=$(dpkg-deb -c "$DEB" | awk '{print $NF}')
for path in ./usr/bin/dovrel ./usr/libexec/dovrel/dovrel-relay ./usr/libexec/dovrel/dovrel-askpass ./usr/share/man/man1/dovrel.1.gz ./usr/share/doc/dovrel/copyright \
  ./usr/share/doc/dovrel/changelog.Debian.gz ./usr/share/doc/dovrel/changelog.gz \
  ./usr/share/icons/hicolor/16x16/apps/dovrel.png ./usr/share/icons/hicolor/32x32/apps/dovrel.png \
  ./usr/share/icons/hicolor/48x48/apps/dovrel.png ./usr/share/icons/hicolor/scalable/apps/dovrel.svg; do
  check $(grep -qx "$path" <<<"$files"; echo $?) "contains $path"
done

info=$(dpkg-deb --info "$DEB")
check $(grep -q '^ Package: dovrel$' <<<"$info"; echo $?) "Package: dovrel"
check $(grep -qx " Version: $VERSION-1" <<<"$info"; echo $?) "Version: $VERSION-1"
check $(man -l "$(dirname "$DEB")/doc/dovrel.1.gz" 2>/dev/null | grep -q "dovrel $VERSION"; echo $?) \
  "the manual page names version $VERSION"
# Debian's checker: no error and no warning (its overrides each say why).
findings=$(lintian --pedantic "$DEB" 2>/dev/null | grep -E '^[EWP]:')
check $([ -z "$findings" ]; echo $?) "lintian finds nothing${findings:+: $findings}"
depends=$(sed -n 's/^ Depends: //p' <<<"$info")
for library in libqt6widgets6 libqt6gui6 libqt6core6 libxcb1 libxau6 libfontconfig1 libc6 openssh-client xauth; do
  check $(grep -q "$library" <<<"$depends"; echo $?) "depends on $library"
done

# Both programs read bytes from hostile hosts: built hardened as Debian builds
# its packages, read from the packaged binaries themselves.
unpacked=$(mktemp -d)
dpkg-deb -x "$DEB" "$unpacked"
for binary in usr/bin/dovrel usr/libexec/dovrel/dovrel-relay usr/libexec/dovrel/dovrel-askpass; do
  elf=$unpacked/$binary
  dynamic=$(readelf -d "$elf" 2>/dev/null)
  symbols=$(readelf --dyn-syms -W "$elf" 2>/dev/null)
  check $(readelf -h "$elf" | grep -q 'Type: *DYN' && grep -q 'Flags:.*PIE' <<<"$dynamic"; echo $?) "$binary is PIE"
  check $(readelf -l -W "$elf" | grep -q GNU_RELRO && grep -qE 'BIND_NOW|Flags:.* NOW' <<<"$dynamic"; echo $?) \
    "$binary has full RELRO and binds immediately"
  check $(grep -q '__stack_chk_fail' <<<"$symbols"; echo $?) "$binary has the stack protector"
  check $(grep -qE ' __[a-z_]+_chk(@|$)' <<<"$symbols"; echo $?) "$binary calls fortified functions"
  # Debian's start files carry no CET note, so the link drops it: the
  # functions' own landing pads tell instead (a plain build has two; the
  # askpass helper, the smallest, has some sixty).
  pads=$(objdump -d "$elf" | grep -c endbr64)
  check $([ "$pads" -gt 40 ]; echo $?) "$binary is built with control-flow protection ($pads landing pads)"
done
rm -rf "$unpacked"

if [ "$(id -u)" -ne 0 ]; then
  echo "# not root: install and removal not tried"
elif dpkg-query -W -f='${Status}' dovrel 2>/dev/null | grep -q "install ok installed"; then
  echo "# dovrel is already installed here: install and removal not tried"
else
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$(realpath "$DEB")" >/dev/null 2>&1
  check $? "apt-get install ./$name"
  version=$(env -u DISPLAY -u WAYLAND_DISPLAY /usr/bin/dovrel --version 2>&1)
  check $([ "$version" = "dovrel $VERSION" ]; echo $?) "/usr/bin/dovrel --version says dovrel $VERSION ($version)"
  check $(man -w dovrel >/dev/null 2>&1 || [ -e /usr/share/man/man1/dovrel.1.gz ]; echo $?) "man dovrel finds the page"
  check $([ -x /usr/libexec/dovrel/dovrel-relay ] && ! ldd /usr/libexec/dovrel/dovrel-relay | grep -q libQt; echo $?) \
    "the relay is installed where dovrel finds it, and links no Qt"
  DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq dovrel >/dev/null 2>&1
  check $([ ! -e /usr/bin/dovrel ]; echo $?) "apt-get remove dovrel takes it away again"
fi

echo "package: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
