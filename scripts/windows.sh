#!/usr/bin/env bash
# The 64-bit Windows build: cross-built with MinGW-w64 on Debian, run under
# Wine. Installs what is missing (as root, with apt-get) and the newest
# libexpat1-dev, builds Expat (the Debian revision the Linux build links)
# and mimalloc (from Debian's source packages, with Debian's patches) and
# GoogleTest for Windows once into build-windows-deps/, then builds the
# project with the windows preset (CMakePresets.json) into build-windows/.
#
#   bash scripts/windows.sh deps    only the dependencies (bench/run.sh --windows)
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
mingw=x86_64-w64-mingw32
mimalloc_version=2.0.9+ds-2

case "$mode" in
  deps | build | test) ;;
  *)
    echo "usage: $0 [deps|build|test]" >&2
    exit 2
    ;;
esac

bash scripts/ensure-packages.sh cmake ninja-build dpkg-dev autoconf automake libtool googletest \
  g++-mingw-w64-x86-64 wine64 --newest libexpat1-dev libexpat1
# The same Expat on both systems: the revision the Linux build links.
expat_version="$(dpkg-query -W -f='${Version}' libexpat1-dev)"

# (grep reads to the end: with -q it may stop apt-cache early, failing the pipe.)
source_listed() { apt-cache showsrc "$1" 2>/dev/null | grep -x "Version: $2" >/dev/null; }

# Adds the release's source archives, its updates' and its security
# suite's, to apt's sources.
add_source_entries() {
  local codename
  if [[ $(id -u) -ne 0 ]]; then
    echo "error: Debian's sources need deb-src entries for the release and its security suite (as root)" >&2
    exit 1
  fi
  codename="$(sed -n "s/^VERSION_CODENAME=//p" /etc/os-release)"
  cat >"/etc/apt/sources.list.d/$codename-src.sources" <<EOF
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: $codename $codename-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: $codename-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
  apt-get update -q
}

# Debian's source of a package at exactly the given version, unpacked with
# its patches into $deps/src/PACKAGE-VERSION (each revision apart: they
# unpack to the same folder name). Fails when no source delivers it.
fetch_source() {
  local package=$1 version=$2
  source_listed "$package" "$version" || return 1
  rm -rf "$deps/src/$package-$version" && mkdir -p "$deps/src/$package-$version" || return 1
  (cd "$deps/src/$package-$version" && apt-get source -q --only-source "$package=$version")
}

# Expat as Debian builds it (debian/rules): autoconf's configure with
# dpkg-buildflags' flags, so that its configuration (XML_DTD, XML_NS,
# XML_CONTEXT_BYTES, ...) and so every report and position it gives are
# the Linux library's. The stack protector's runtime is linked in, as glibc
# holds it on Linux, so the DLL needs no libssp-0.dll; Debian's ELF-only
# linker flags (-Bsymbolic-functions, -z relro) have no PE counterpart.
build_expat() {
  local version=$1
  local source="$deps/src/expat-$version/expat-${version%-*}/expat"
  (cd "$source" && ./buildconf.sh)
  rm -rf "$deps/build/expat" && mkdir -p "$deps/build/expat"
  (
    cd "$deps/build/expat"
    CC=$mingw-gcc-posix \
      CFLAGS="-g -O2 -fstack-protector-strong -Wformat -Werror=format-security -Wall" \
      CPPFLAGS="-Wdate-time -D_FORTIFY_SOURCE=2" \
      LDFLAGS="-Wl,$($mingw-gcc-posix -print-file-name=libssp.a)" \
      "$source/configure" --build="$(dpkg-architecture -qDEB_BUILD_GNU_TYPE)" --host=$mingw \
      --prefix="$deps/prefix" --without-docbook --without-xmlwf --without-examples --without-tests
    make -j2
    make install
  )
  install -D -m 644 "$source/COPYING" "$deps/prefix/share/licenses/expat/COPYING"
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

# mimalloc from Debian's source, with Debian's CMake options (debian/rules)
# but a static library: linked into the memory module, the only caller,
# there is no allocator state for two DLLs to share, and no DLL more to
# ship. It replaces no C runtime function (MI_OVERRIDE=OFF) and so needs no
# redirection module, which Debian's source does not carry.
build_mimalloc() {
  fetch_source mimalloc "$mimalloc_version" || {
    echo "error: no package source delivers mimalloc $mimalloc_version" >&2
    exit 1
  }
  local source="$deps/src/mimalloc-$mimalloc_version/mimalloc-${mimalloc_version%-*}"
  build_dependency mimalloc "$source" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_FLAGS="-Wall -pedantic" -DMI_BUILD_SHARED=OFF -DMI_BUILD_STATIC=ON -DMI_BUILD_OBJECT=OFF \
    -DMI_BUILD_TESTS=OFF -DMI_INSTALL_TOPLEVEL=ON -DMI_OVERRIDE=OFF -DMI_WIN_REDIRECT=OFF
  install -D -m 644 "$source/LICENSE" "$deps/prefix/share/licenses/mimalloc/LICENSE"
}

if ! { source_listed expat "$expat_version" && source_listed mimalloc "$mimalloc_version"; }; then
  add_source_entries
fi

# Each dependency is built once per version; a rerun finds it installed.
# Expat's stamp names the revision built. When the sources list the Linux
# revision but cannot deliver its source (an archive missing its newest
# files), the newest revision they deliver is built instead, with a
# warning, and the exact one tried again on each run. An Expat of another
# revision or build (CMake's, before) goes with everything built on it.
expat_stamp="$deps/prefix/expat-autoconf.stamp"
expat_built="$(cat "$expat_stamp" 2>/dev/null || true)"
if [[ $expat_built != "$expat_version" ]]; then
  rm -rf "$deps/src"
  expat_pick=""
  others="$(apt-cache showsrc expat | sed -n 's/^Version: //p' | grep -vxF "$expat_version" | sort -Vru)"
  for version in "$expat_version" $others; do
    if [[ $version == "$expat_built" ]] || fetch_source expat "$version"; then
      expat_pick=$version
      break
    fi
  done
  [[ -n $expat_pick ]] || {
    echo "error: no package source delivers an Expat source" >&2
    exit 1
  }
  if [[ $expat_pick != "$expat_built" ]]; then
    rm -rf "$deps/prefix" "$deps/build"
    build_expat "$expat_pick"
    echo "$expat_pick" >"$expat_stamp"
  fi
fi
expat_built="$(cat "$expat_stamp")"
if [[ $expat_built != "$expat_version" ]]; then
  expat_warning="warning: the Windows Expat is $expat_built, not $expat_version as on Linux: no package source delivers the source of $expat_version"
  echo "$expat_warning" >&2
  # shellcheck disable=SC2064 # the message as it is now
  trap "echo '$expat_warning' >&2" EXIT
fi
if [[ ! -f $deps/prefix/mimalloc-$mimalloc_version.stamp ]]; then
  build_mimalloc
  touch "$deps/prefix/mimalloc-$mimalloc_version.stamp"
fi
gtest_version="$(dpkg-query -W -f='${Version}' googletest)"
if [[ ! -f $deps/prefix/googletest-$gtest_version.stamp ]]; then
  build_dependency googletest /usr/src/googletest -DBUILD_GMOCK=OFF
  touch "$deps/prefix/googletest-$gtest_version.stamp"
fi

# The licences of the compiler's runtime DLLs, which the install carries.
for package in gcc-mingw-w64-base mingw-w64-common; do
  install -D -m 644 "/usr/share/doc/$package/copyright" "$deps/prefix/share/licenses/$package/copyright"
done

[[ $mode != deps ]] || exit 0

reference=()
if [[ $mode == test ]]; then
  # The Linux command, whose output the Windows one must match.
  bash scripts/ensure-packages.sh g++ pkg-config libexpat1-dev libgtest-dev
  [[ -f build/CMakeCache.txt ]] || cmake --preset release
  cmake --build --preset release -j2 --target zelbasxml
  reference=(-DZELBAS_REFERENCE_ZELBASXML="$PWD/build/tools/zelbasxml")
fi

# As root, the build's test discovery runs Wine as root and the tests run it
# as the user below, and Wine refuses a prefix another user owns: each has
# a prefix of its own, moved to build-windows/wine (where the emulator
# points Wine) while it is the one in use; the other waits beside it.
use_prefix() {
  local owner=$1 current
  current=$(stat -c %U build-windows/wine 2>/dev/null || true)
  [[ $current != "$owner" ]] || return 0
  [[ -z $current ]] || mv build-windows/wine "build-windows/wine.$current"
  if [[ -d build-windows/wine.$owner ]]; then mv "build-windows/wine.$owner" build-windows/wine; fi
}
[[ $(id -u) -ne 0 ]] || use_prefix root

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
# records, and the manifest the archive test's cpack writes into the build
# folder; the rest of the tree it only reads.
as=()
if [[ $(id -u) -eq 0 ]]; then
  user=zelbas-wine
  home=/var/lib/$user
  id "$user" >/dev/null 2>&1 || useradd --system --home-dir "$home" --create-home --shell /usr/sbin/nologin "$user"
  use_prefix "$user"
  mkdir -p build-windows/Testing build-windows/wine
  touch build-windows/install_manifest.txt
  chown -R "$user:" build-windows/Testing build-windows/wine build-windows/install_manifest.txt
  as=(runuser -u "$user" -- env HOME="$home")
fi
# One wineserver for the whole run: left to itself it stops 3 s after its
# last client, and a test starting just then finds it gone ("wine client
# error:0: recvmsg: Connection reset by peer"). Its services (wineboot's)
# are started first with nothing open: started by a test, they would hold
# its output open, and ctest would wait for it until the server stopped.
mkdir -p build-windows/wine
wine=("${as[@]}" env WINEPREFIX="$PWD/build-windows/wine" WINEDEBUG=-all "WINEDLLOVERRIDES=mscoree,mshtml=" DISPLAY=)
"${wine[@]}" wineserver -p
"${wine[@]}" "$(command -v wine64 || echo /usr/lib/wine/wine64)" wineboot </dev/null >/dev/null 2>&1
# Wine itself now and then fails a start (a test gone in 0.00 s with no
# output, a stray line on standard error): a failed test runs again, up to
# three times in all; one that fails for real fails every time.
status=0
"${as[@]}" ctest --preset windows -j2 --repeat until-pass:3 || status=$?
"${wine[@]}" wineserver -k 2>/dev/null || true
exit "$status"
