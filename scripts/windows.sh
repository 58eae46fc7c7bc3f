#!/usr/bin/env bash
# The 64-bit Windows build: cross-built with MinGW-w64 on Debian, run under
# Wine. Installs what is missing (as root, with apt-get), builds Expat (from
# Debian's source package, with Debian's patches) and GoogleTest for Windows
# once into build-windows-deps/, then builds the project with the windows
# preset (CMakePresets.json) into build-windows/.
#
#   bash scripts/windows.sh build   the DLLs, zelbasxml.exe and the tests
#   bash scripts/windows.sh test    build, check the main DLL's exports and
#                                   run every test under Wine (as the
#                                   unprivileged user zelbas-wine when run
#                                   as root); the CLI test
#                                   also compares zelbasxml.exe's output with
#                                   the release preset's (built into build/)
set -euo pipefail

cd "$(dirname "$0")/.."
mode="${1:-test}"
deps="$PWD/build-windows-deps"  # where the windows preset looks for them
toolchain="$PWD/cmake/mingw-w64-x86_64.cmake"
expat_version=2.5.0-1+deb12u2
expat_source="$deps/src/expat-${expat_version%-*}/expat"

case "$mode" in
  build | test) ;;
  *)
    echo "usage: $0 [build|test]" >&2
    exit 2
    ;;
esac

bash scripts/ensure-packages.sh cmake ninja-build dpkg-dev googletest g++-mingw-w64-x86-64 wine64

# Debian's source of Expat at exactly $expat_version, unpacked with its
# patches; adds the release's source archive to apt's sources when missing.
fetch_expat() {
  if ! apt-cache showsrc expat 2>/dev/null | grep -qx "Version: $expat_version"; then
    if [[ $(id -u) -ne 0 ]]; then
      echo "error: the Expat source needs a deb-src entry for bookworm (as root)" >&2
      exit 1
    fi
    cat >/etc/apt/sources.list.d/bookworm-src.sources <<'EOF'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
    apt-get update -q
  fi
  rm -rf "$deps/src" && mkdir -p "$deps/src"
  (cd "$deps/src" && apt-get source -q --only-source "expat=$expat_version")
  # Debian builds it with autoconf, whose header defines XML_DTD as 1, and a
  # patch of its own tests that value; Expat's CMake header defines it
  # empty. The same value here.
  sed -i 's/^#cmakedefine XML_DTD$/#cmakedefine XML_DTD 1/' "$expat_source/expat_config.h.cmake"
}

# Builds a CMake project for Windows and installs it into $deps/prefix.
build_dependency() {
  local name=$1 source=$2
  shift 2
  cmake -S "$source" -B "$deps/build/$name" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$deps/prefix" "$@"
  cmake --build "$deps/build/$name" -j2
  cmake --install "$deps/build/$name"
}

# Each dependency is built once per version; a rerun finds it installed.
if [[ ! -f $deps/prefix/expat-$expat_version.stamp ]]; then
  fetch_expat
  build_dependency expat "$expat_source" -DEXPAT_SHARED_LIBS=ON -DEXPAT_BUILD_TOOLS=OFF \
    -DEXPAT_BUILD_EXAMPLES=OFF -DEXPAT_BUILD_TESTS=OFF -DEXPAT_BUILD_DOCS=OFF -DEXPAT_BUILD_FUZZERS=OFF
  touch "$deps/prefix/expat-$expat_version.stamp"
fi
gtest_version="$(dpkg-query -W -f='${Version}' googletest)"
if [[ ! -f $deps/prefix/googletest-$gtest_version.stamp ]]; then
  build_dependency googletest /usr/src/googletest -DBUILD_GMOCK=OFF
  touch "$deps/prefix/googletest-$gtest_version.stamp"
fi

reference=()
if [[ $mode == test ]]; then
  # The Linux command, whose output the Windows one must match.
  bash scripts/ensure-packages.sh g++ pkg-config libexpat1-dev libgtest-dev
  [[ -f build/CMakeCache.txt ]] || cmake --preset release
  cmake --build --preset release -j2 --target zelbasxml
  reference=(-DZELBAS_REFERENCE_ZELBASXML="$PWD/build/tools/zelbasxml")
fi

cmake --preset windows "${reference[@]}"
cmake --build --preset windows -j2

[[ $mode == test ]] || exit 0

# The module's export table: the entry points by their plain names, and the
# classes, the tally-taking pairs and the container instantiations by their
# C++ names.
exports="$(x86_64-w64-mingw32-objdump -p build-windows/bin/ZELBasXmlDocument.dll |
  sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/s/^.*\] //p' | c++filt)"
missing=0
for name in DllMain KELVORY_TWAX_INTERNAL_ZELBasXmlDocument ZELBasXmlDocument_initializeC \
  ZELBasXmlDocument_finalizeC 'ZELBasXmlDocument_initialize(int&)' 'ZELBasXmlDocument_finalize(int&)' \
  'ZELBasXmlDocument_specific_initialize(int&)' 'ZELBasXmlDoc_finalize(int&)' \
  'ZELBasXmlDocument::ReadFile(ZELString const&)' 'ZELBasXmlNode::Serialize(ZELString&, ZELString) const' \
  'ZELString::CastToCharPtr() const' 'atr_StringBase::Release()' \
  'ZELBasVector<ZELBasXmlNode>::push_back(ZELBasXmlNode const&)' \
  'ZELBasMap<ZELString, ZELString>::find(ZELString const&) const' \
  'bool ZELBasStandardComparitor<ZELString>(void const*, void const*, void const*)'; do
  grep -qxF "$name" <<<"$exports" || {
    echo "not exported by ZELBasXmlDocument.dll: $name" >&2
    missing=1
  }
done
((missing == 0))

# The tests run as an unprivileged user, so that what Windows refuses a user
# (a read-only file, a file another handle holds) is refused under Wine too;
# as root, Wine allows it. Root makes the user and gives it the build's Wine
# prefix (build-windows/wine, where the emulator points Wine) and ctest's
# records; the rest of the tree it only reads.
if [[ $(id -u) -ne 0 ]]; then
  ctest --preset windows -j2
  exit
fi
user=zelbas-wine
home=/var/lib/$user
id "$user" >/dev/null 2>&1 || useradd --system --home-dir "$home" --create-home --shell /usr/sbin/nologin "$user"
# A prefix root made points at root's own server: the user's starts afresh.
[[ $(stat -c %U build-windows/wine 2>/dev/null) == "$user" ]] || rm -rf build-windows/wine
mkdir -p build-windows/Testing build-windows/wine
chown -R "$user:" build-windows/Testing build-windows/wine
runuser -u "$user" -- env HOME="$home" ctest --preset windows -j2
