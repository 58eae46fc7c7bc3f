#!/usr/bin/env bash
# The 64-bit Windows build: cross-built with MinGW-w64 on Debian, run under
# Wine. Installs what is missing (as root, with apt-get), builds Expat (from
# Debian's source package, with Debian's patches) and GoogleTest for Windows
# once into build-windows-deps/, then builds the project into build-windows/.
#
#   bash scripts/windows.sh build   build the DLLs, zelbasxml.exe and the tests
#   bash scripts/windows.sh test    build, run every test under Wine, and
#                                   check that zelbasxml.exe prints what the
#                                   Linux build prints
set -euo pipefail

cd "$(dirname "$0")/.."
root=$PWD
mode="${1:-test}"
build_dir="${WINDOWS_BUILD_DIR:-build-windows}"
deps="$root/${WINDOWS_DEPS_DIR:-build-windows-deps}"
toolchain="$root/cmake/mingw-w64-x86_64.cmake"
expat_version=2.5.0-1+deb12u2

case "$mode" in
  build | test) ;;
  *)
    echo "usage: $0 [build|test]" >&2
    exit 2
    ;;
esac

bash scripts/ensure-packages.sh cmake ninja-build dpkg-dev googletest g++-mingw-w64-x86-64 wine64

# Wine without a display, its prefix inside the build, and without offering
# to install the parts a console program never needs.
export WINEPREFIX="$root/$build_dir/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64

# Debian's source of Expat at exactly $expat_version, into $deps/src; adds the source archive
# of the release to apt's sources when it is not there.
fetch_expat() {
  local src="$deps/src"
  if [[ ! -d $src/expat-${expat_version%-*} ]]; then
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
    rm -rf "$src" && mkdir -p "$src"
    # dpkg-source unpacks it with Debian's patches applied.
    (cd "$src" && apt-get source -q --only-source "expat=$expat_version")
    # Debian builds it with autoconf, whose header defines XML_DTD as 1, and
    # one of its patches tests that value; Expat's CMake header defines it
    # empty. The same value here.
    sed -i 's/^#cmakedefine XML_DTD$/#cmakedefine XML_DTD 1/' "$src/expat-${expat_version%-*}/expat/expat_config.h.cmake"
  fi
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
expat_stamp="$deps/prefix/expat-$expat_version.stamp"
if [[ ! -f $expat_stamp ]]; then
  fetch_expat
  build_dependency expat "$deps/src/expat-${expat_version%-*}/expat" -DEXPAT_SHARED_LIBS=ON -DEXPAT_BUILD_TOOLS=OFF \
    -DEXPAT_BUILD_EXAMPLES=OFF -DEXPAT_BUILD_TESTS=OFF -DEXPAT_BUILD_DOCS=OFF -DEXPAT_BUILD_FUZZERS=OFF
  touch "$expat_stamp"
fi
gtest_version=$(dpkg-query -W -f='${Version}' googletest)
gtest_stamp="$deps/prefix/googletest-$gtest_version.stamp"
if [[ ! -f $gtest_stamp ]]; then
  build_dependency googletest /usr/src/googletest -DBUILD_GMOCK=OFF -Dgtest_force_shared_crt=ON
  touch "$gtest_stamp"
fi

cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELBAS_WERROR=ON \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_PREFIX_PATH="$deps/prefix" \
  -DCMAKE_FIND_ROOT_PATH="$deps/prefix" -DCMAKE_CROSSCOMPILING_EMULATOR="$wine"
cmake --build "$build_dir" -j2

if [[ $mode == test ]]; then
  ctest --test-dir "$build_dir" --output-on-failure -j2
fi
