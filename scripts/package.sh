#!/usr/bin/env bash
# Makes the Debian packages from a finished build, then checks them unpacked:
# the command runs and formats the example as the tests expect, its manual
# page reads, each package has its copyright file, and the development
# package holds what find_package, pkg-config and a plain
# -lZELBasXmlDocument read.
#
#   bash scripts/package.sh [BUILD_DIR]     default build/
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir="${1:-build}"

bash scripts/ensure-packages.sh dpkg-dev file man-db

rm -f "$build_dir"/*.deb
(cd "$build_dir" && cpack -G DEB)

version="$("$build_dir/tools/zelbasxml" --version | head -n1 | cut -d' ' -f2)"
runtime="$(echo "$build_dir"/zelbasxmldocument_"$version"-*.deb)"
dev="$(echo "$build_dir"/zelbasxmldocument-dev_"$version"-*.deb)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

dpkg-deb -x "$runtime" "$work/root"
dpkg-deb -x "$dev" "$work/root"
fail() {
  echo "package check failed: $*" >&2
  exit 1
}

dpkg-deb -f "$runtime" Depends | grep -q 'libexpat1' || fail "runtime package does not depend on libexpat1"
dpkg-deb -f "$dev" Depends | grep -q "zelbasxmldocument (= $version-" || fail "dev package not tied to its runtime"
[[ "$(env -u LD_LIBRARY_PATH "$work/root/usr/bin/zelbasxml" --version | head -n1)" == "zelbasxml $version" ]] ||
  fail "unpacked zelbasxml --version"
"$work/root/usr/bin/zelbasxml" format examples/catalog.xml | cmp -s - tests/cli/catalog.formatted.xml ||
  fail "unpacked zelbasxml format"
for f in include/ZELBasXmlDocument/ZELBasXmlDocument.h include/ZELBasXmlDocument/ZELBasModulePair.h \
  lib/pkgconfig/ZELBasXmlDocument.pc \
  lib/cmake/ZELBasXmlDocument/ZELBasXmlDocumentConfig.cmake lib/libZELBasXmlDocument.so; do
  [[ -e "$work/root/usr/$f" ]] || fail "usr/$f missing"
done
[[ -z $(find "$work/root/usr/include" -maxdepth 1 -type f) ]] || fail "headers straight in usr/include"
for deb in "$runtime" "$dev"; do
  package="$(dpkg-deb -f "$deb" Package)"
  dpkg-deb -c "$deb" >"$work/$package.list"
  grep -q " \./usr/share/doc/$package/copyright$" "$work/$package.list" &&
    grep -q '^License: Expat$' "$work/root/usr/share/doc/$package/copyright" || fail "$package: no copyright file"
done
grep -q ' \./usr/share/man/man1/zelbasxml\.1\.gz$' "$work/zelbasxmldocument.list" ||
  fail "no manual page in the runtime package"
MANPATH="$work/root/usr/share/man" man -P cat zelbasxml >"$work/man.txt" 2>&1 || true
grep -q 'format XML documents' "$work/man.txt" || fail "man zelbasxml on the unpacked page"
grep -q '^INPUT(libZELBasXmlDocument\.so\.1 ' "$work/root/usr/lib/libZELBasXmlDocument.so" ||
  fail "usr/lib/libZELBasXmlDocument.so is not the linker script"
file -L "$work/root/usr/lib/libZELBasXmlDocument.so.1" | grep -q 'ELF.*shared object' ||
  fail "usr/lib/libZELBasXmlDocument.so.1 is not the library"
echo "packages: $(basename "$runtime") $(basename "$dev")"
