#!/usr/bin/env bash
# The Windows archive as a user takes it: made with cpack -G ZIP, unpacked
# into an empty folder; there a program built with the one link line and
# the installed examples built with find_package, each shipped as the
# packaging guide says (the program beside the DLLs of bin/), run under the
# emulator from another folder, as does the unpacked zelbasxml.exe.
#   windows_install_test.sh BUILD_DIR SOURCE_DIR VERSION CXX TOOLCHAIN EMULATOR...
set -u
build="$1" source="$2" version="$3" cxx="$4" toolchain="$5"
shift 5
run=("$@")
source "$(dirname "$0")/tally.sh"

(cd "$build" && cpack -G ZIP -B "$work/package") >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack -G ZIP"; finish; }
zip=("$work"/package/*.zip)
mkdir "$work/unpacked" "$work/elsewhere"
(cd "$work/unpacked" && cmake -E tar xf "${zip[0]}") || { fail "unpack ${zip[0]}"; finish; }
prefix=("$work"/unpacked/*)
prefix="${prefix[0]}"

for f in bin/ZELBasXmlDocument.dll bin/zelbasxml.exe bin/libstdc++-6.dll bin/libgcc_s_seh-1.dll \
  bin/libwinpthread-1.dll lib/libZELBasXmlDocument.dll.a lib/libexpat.dll.a include/ZELBasXmlDocument/expat.h \
  include/ZELBasXmlDocument/ZELBasXmlDocument.h lib/cmake/ZELBasXmlDocument/ZELBasXmlDocumentConfig.cmake \
  lib/pkgconfig/ZELBasXmlDocument.pc share/doc/ZELBasXmlDocument/LICENSE \
  share/doc/ZELBasXmlDocument/licenses/expat/COPYING; do
  [[ -f "$prefix/$f" ]] || fail "not in the archive: $f"
done
[[ -n $(compgen -G "$prefix/bin/libexpat*.dll") ]] || fail "not in the archive: Expat's DLL"

# ships FOLDER PROGRAM...: a folder holding the programs and bin/'s DLLs.
ships() {
  local folder="$work/$1"
  shift
  mkdir -p "$folder" && cp "$@" "$prefix"/bin/*.dll "$folder/"
}
# expect NAME WANT -- command...: run from another folder, first line of output.
expect() {
  local name="$1" want="$2"
  shift 3
  if (cd "$work/elsewhere" && "${run[@]}" "$@") >"$work/out" 2>"$work/err" &&
    [[ $(head -n1 "$work/out" | tr -d '\r') == "$want" ]]; then pass; else
    fail "$name"
    sed 's/^/    /' "$work/out" "$work/err" | head -20
  fi
}

catalog="$prefix/share/doc/ZELBasXmlDocument/examples/catalog.xml"
expect "unpacked zelbasxml.exe" "zelbasxml $version" -- "$prefix/bin/zelbasxml.exe" --version
expect "unpacked zelbasxml.exe reads" "<price>12.50" -- "$prefix/bin/zelbasxml.exe" find price "$catalog"

cat >"$work/app.cpp" <<'CPP'
#include <cstdio>

#include "ZELBasXmlDocument.h"

int main(int argc, char** argv) {
  ZELBasXmlDocument document;
  ZELBasVector<ZELBasXmlNode> names;
  if (argc < 2 || document.ReadFile(ZELString(argv[1])) != 0 ||
      document.GetRoot().GetElementsByTagName(ZELString("name"), names) != 0 || names.size() == 0) {
    return 1;
  }
  std::printf("%zu names, first %s\n", names.size(), names[0].GetData().CastToCharPtr());
  return 0;
}
CPP
if "$cxx" -std=c++17 "$work/app.cpp" -I"$prefix/include/ZELBasXmlDocument" -L"$prefix/lib" -lZELBasXmlDocument \
  -o "$work/app.exe" >"$work/link.log" 2>&1; then
  pass
  ships shipped-app "$work/app.exe"
  expect "-lZELBasXmlDocument program" "3 names, first Claw hammer" -- "$work/shipped-app/app.exe" "$catalog"
else
  fail "-lZELBasXmlDocument alone"
  head -20 "$work/link.log"
fi

# find_package from the archive alone: its CMake package and Expat's files.
examples="$prefix/share/doc/ZELBasXmlDocument/examples"
if cmake -S "$examples" -B "$work/examples" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_FIND_ROOT_PATH="$prefix" >"$work/examples.log" 2>&1 &&
  cmake --build "$work/examples" >>"$work/examples.log" 2>&1; then
  pass
  ships shipped-examples "$work/examples/outline.exe"
  expect "find_package program" 'catalog currency="EUR" region="eu" updated="2026-11-30"' \
    -- "$work/shipped-examples/outline.exe" "$catalog"
else
  fail "find_package build"
  tail -20 "$work/examples.log"
fi
finish
