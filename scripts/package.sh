#!/usr/bin/env bash
# Makes the Debian packages from a finished build, then checks them unpacked:
# the command runs and formats the example as the tests expect, and the
# development package holds what find_package and pkg-config read.
#
#   bash scripts/package.sh [BUILD_DIR]     default build/
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir="${1:-build}"

bash scripts/ensure-packages.sh dpkg-dev file

rm -f "$build_dir"/*.deb
(cd "$build_dir" && cpack -G DEB)

version="$("$build_dir/tools/zelbasxml" --version | cut -d' ' -f2)"
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
[[ "$(env -u LD_LIBRARY_PATH "$work/root/usr/bin/zelbasxml" --version)" == "zelbasxml $version" ]] ||
  fail "unpacked zelbasxml --version"
"$work/root/usr/bin/zelbasxml" format examples/catalog.xml | cmp -s - tests/cli/catalog.formatted.xml ||
  fail "unpacked zelbasxml format"
for f in include/ZELBasXmlDocument.h include/ZELBasModulePair.h lib/pkgconfig/ZELBasXmlDocument.pc \
  lib/cmake/ZELBasXmlDocument/ZELBasXmlDocumentConfig.cmake lib/libZELBasXmlDocument.so; do
  [[ -e "$work/root/usr/$f" ]] || fail "usr/$f missing"
done
echo "packages: $(basename "$runtime") $(basename "$dev")"
