#!/usr/bin/env bash
# Installs the project into a temporary prefix, then builds the installed
# examples against it, find_tags through pkg-config and the others through
# find_package, and runs them; builds the README's examples
# with the plain `-lZELBasXmlDocument`; checks the manual page and the
# documents' links.
#   install_test.sh BUILD_DIR VERSION LIBDIR CXX [FLAGS]
# LIBDIR is the library directory under the prefix (CMAKE_INSTALL_LIBDIR).
# FLAGS are given to every compile and link of the examples (the sanitizer
# build passes its -fsanitize options, which a host of its libraries needs).
set -u
build="$1"
version="$2"
libdir="$3"
cxx="$4"
flags="${5:-}"
source "$(dirname "$0")/tally.sh"
prefix="$work/prefix"

cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 ||
  { cat "$work/install.log"; fail "cmake --install"; finish; }

# Layout, and a versioned SONAME on every library.
doc="$prefix/share/doc/ZELBasXmlDocument"
for f in include/ZELBasXmlDocument/{ZELBasXmlDocument.h,ZELBasModulePair.h,ZELBasXmlParser.h} \
  "$libdir/cmake/ZELBasXmlDocument/ZELBasXmlDocumentConfig.cmake" "$libdir/pkgconfig/ZELBasXmlDocument.pc" \
  bin/zelbasxml share/man/man1/zelbasxml.1.gz share/doc/ZELBasXmlDocument/{LICENSE,README.md,docs/performance.md} \
  share/doc/ZELBasXmlDocument/examples/CMakeLists.txt; do
  [[ -f "$prefix/$f" ]] || fail "not installed: $f"
done
# Every header in the one folder, none beside it.
[[ -z $(find "$prefix/include" -maxdepth 1 -type f) ]] || fail "headers straight in include/"
# Each library's versioned file and SONAME; the name links are links, but
# the library's own is a linker script that names the modules too.
for lib in ZELBasXmlDocument ZELBasXmlParser ZELBasShared ZELBasGenericsLib ZELBasCoreUtils ZELBasAlloc; do
  so="$prefix/$libdir/lib$lib.so"
  if [[ -L $so || $lib == ZELBasXmlDocument ]] && [[ -L $so.1 ]] &&
    readelf -d "$so.1" 2>/dev/null | grep -q "SONAME.*\[lib$lib\.so\.1\]"; then pass; else
    fail "lib$lib.so: missing, or SONAME not lib$lib.so.1"
  fi
done
grep -q '^INPUT(libZELBasXmlDocument.so.1 AS_NEEDED(.*libZELBasCoreUtils.so.1' "$prefix/$libdir/libZELBasXmlDocument.so" ||
  fail "libZELBasXmlDocument.so is not the linker script"

# The manual page, and every relative link of the installed documents.
if MANPATH="$prefix/share/man" man -P cat zelbasxml 2>&1 | grep -q 'zelbasxml.*format XML documents'; then pass; else
  fail "man zelbasxml"
fi
while IFS= read -r md; do
  for target in $(grep -oE '\]\([^) ]+' "$md" | cut -c3- | grep -v '://' | cut -d'#' -f1); do
    [[ -e "$(dirname "$md")/$target" ]] || fail "${md#"$doc"/}: link to $target leads nowhere"
  done
done < <(find "$doc" -name '*.md')

# The command runs from the prefix alone: no build-tree path, no library path.
catalog="$doc/examples/catalog.xml"
if readelf -d "$prefix/bin/zelbasxml" | grep -qF "path: [\$ORIGIN/../$libdir]" &&
  [[ "$(env -u LD_LIBRARY_PATH "$prefix/bin/zelbasxml" --version | head -n1)" == "zelbasxml $version" ]] &&
  env -u LD_LIBRARY_PATH "$prefix/bin/zelbasxml" find price "$catalog" | grep -qx '<price>24.00'; then
  pass
else
  fail "installed zelbasxml"
fi

# expect NAME EXPECTED_FILE -- command...: runs the command, compares stdout.
expect() {
  local name="$1" want="$2"
  shift 3
  if "$@" >"$work/out" 2>"$work/err" && cmp -s "$work/out" "$want"; then pass; else
    fail "$name"
    diff "$want" "$work/out" | head -20
    sed 's/^/    /' "$work/err"
  fi
}

cat >"$work/outline.txt" <<'OUT'
catalog currency="EUR" region="eu" updated="2026-11-30"
  product category="tools" sku="A-100"
    name: Claw hammer
    price: 12.50
    stock warehouse="north": 140
    stock warehouse="south": 35
  product category="garden" sku="B-220"
    name: Watering can with rose
    price: 9.90
    note: Holds 10 l; <rose> detaches.
  product category="kitchen" discontinued="yes" sku="C-310"
    name: Café pot
    price: 24.00
OUT
cat >"$work/find.txt" <<'OUT'
product/stock warehouse="north": 140
product/stock warehouse="south": 35
OUT
printf 'A-100\nB-220\nC-310\n' >"$work/find-sku.txt"
printf '<a><b></a>' >"$work/bad.xml"
: >"$work/empty"
cat >"$work/settings.want" <<'OUT'
<?xml version="1.0" encoding="utf-8"?>
<!-- Written by ZELBasXmlDocument -->
<settings version="3">
    <title>Sales &amp; returns &lt;2026&gt;</title>
    <window height="768" maximized="no" width="1280"/>
    <filter field="region">north, south</filter>
    <recent>/srv/reports/q4.csv</recent>
</settings>
OUT
cat >"$work/escaped.want" <<'OUT'
<?xml version="1.0" encoding="utf-8"?>
<!-- Written by ZELBasXmlDocument -->
<order customer="O'Neil &amp; &quot;Sons&quot;" lines="2&#9;boxes&#10;">
    <item sku="A-100">Salt &amp; Pepper</item>
    <note>Deliver <b>after 9 &lt;not before&gt;</b></note>
</order>
OUT
cat >"$work/build_tree.txt" <<'OUT'
<!-- order 1042 -->
<order customer="c-77" id="1042">
    <lines>
        <line quantity="2" sku="A-100"/>
        <line quantity="1" sku="C-310"/>
    </lines>
    <delivery warehouse="north">Back door; ring twice
    </delivery>
</order>
<!-- 2 lines -->
<!-- from north, the main store -->
OUT

# find_package: the installed examples' own CMakeLists.txt, a project of its
# own that finds the package and links ZELBas::XmlDocument.
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
if cmake -S "$prefix/share/doc/ZELBasXmlDocument/examples" -B "$work/cmake-build" "${generator[@]}" \
  -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_CXX_FLAGS="$flags -Wall -Wextra -Werror" \
  >"$work/cmake.log" 2>&1 && cmake --build "$work/cmake-build" \
  --target outline build_tree edit_settings sum_field write_escaped keep_settings delete_drafts \
  >>"$work/cmake.log" 2>&1; then
  bin="$work/cmake-build"
  expect "find_package: outline" "$work/outline.txt" -- "$bin/outline" "$catalog"
  expect "find_package: build_tree" "$work/build_tree.txt" -- "$bin/build_tree"
  if "$bin/outline" "$work/bad.xml" 2>&1 >/dev/null | grep -q "^outline: $work/bad.xml:1:8: mismatched tag$"; then pass; else
    fail "find_package: outline of a malformed file"
  fi
  # The settings file edited in place, then as saved.
  cp "$doc/examples/settings.xml" "$work/settings.xml"
  echo "$work/settings.xml: saved, and reads back the same" >"$work/edit.txt"
  expect "edit_settings" "$work/edit.txt" -- "$bin/edit_settings" "$work/settings.xml"
  expect "edit_settings: the file" "$work/settings.want" -- cat "$work/settings.xml"
  # Prices cut by the 256 KiB chunks of ReadFile still add up.
  awk 'BEGIN { print "<orders>"; for (i = 0; i < 60000; i++) {
      printf "  <order id=\"%d\"><price>%d.%02d</price></order>\n", i, i % 997, i % 100; t += i % 997 + (i % 100) / 100 }
    print "</orders>"; printf "60000 price, total %.2f\n", t > "/dev/stderr" }' >"$work/orders.xml" 2>"$work/sum.txt"
  (($(stat -c %s "$work/orders.xml") > 4 * 262144)) || fail "sum_field: the file is too small"
  expect "sum_field" "$work/sum.txt" -- "$bin/sum_field" "$work/orders.xml" price
  expect "write_escaped" "$work/empty" -- "$bin/write_escaped" "$work/escaped.xml"
  expect "write_escaped: the file" "$work/escaped.want" -- cat "$work/escaped.xml"
  # Kept layouts: one value of the commented file changed, nothing else;
  # the drafts gone from the page with their lines, the text around them
  # where it was.
  cp "$doc/examples/settings.xml" "$work/keep.xml"
  sed 's/width="1024"/width="1280"/' "$doc/examples/settings.xml" >"$work/keep.want"
  expect "keep_settings" "$work/empty" -- "$bin/keep_settings" "$work/keep.xml" window width 1280
  expect "keep_settings: the file" "$work/keep.want" -- cat "$work/keep.xml"
  sed -e 's|<span class="draft">(measure again!)</span>||' -e '/<p class="draft">/d' \
    "$doc/examples/article.xml" >"$work/drafts.want"
  expect "delete_drafts" "$work/drafts.want" -- "$bin/delete_drafts" "$doc/examples/article.xml"
else
  cat "$work/cmake.log"
  fail "find_package build"
fi

# pkg-config: one compiler call per example. The prefix is not a system
# directory, so the program is told where the libraries are.
export PKG_CONFIG_PATH="$prefix/$libdir/pkgconfig"
pc_libdir="$(pkg-config --variable=libdir ZELBasXmlDocument)"
[[ "$(pkg-config --modversion ZELBasXmlDocument)" == "$version" ]] || fail "pkg-config version"
# shellcheck disable=SC2046,SC2086
if "$cxx" -std=c++17 -Wall -Wextra -Werror $flags "$prefix/share/doc/ZELBasXmlDocument/examples/find_tags.cpp" \
  -o "$work/find_tags" $(pkg-config --cflags --libs ZELBasXmlDocument) -Wl,-rpath,"$pc_libdir"; then
  expect "pkg-config: find_tags" "$work/find.txt" -- "$work/find_tags" "$catalog" stock
  expect "pkg-config: find_tags with attribute" "$work/find-sku.txt" -- "$work/find_tags" "$catalog" product sku
else
  fail "pkg-config build: find_tags"
fi

# The README's examples, unchanged, with nothing but -lZELBasXmlDocument
# (and the prefix's paths); run beside the example catalog.
mkdir -p "$work/readme/examples"
cp "$catalog" "$doc/examples/settings.xml" "$work/readme/examples/"
awk -v dir="$work/readme" '/^```cpp$/ { out = dir "/example" ++n ".cpp"; next } /^```$/ { out = "" } out { print > out }' \
  "$doc/README.md"
printf 'A-100: Claw hammer\nB-220: Watering can with rose\nD-400: Salt & pepper mill\n' >"$work/readme1.txt"
: >"$work/readme2.txt"
printf '<model name="m1" version="2">\n    <part id="p1">Wheel\n    </part>\n</model>\n' >"$work/readme3.txt"
for n in 1 2 3; do
  # shellcheck disable=SC2086
  if "$cxx" -std=c++17 -Wall -Wextra -Werror $flags "$work/readme/example$n.cpp" -o "$work/readme/example$n" \
    -I"$prefix/include/ZELBasXmlDocument" -L"$prefix/$libdir" -lZELBasXmlDocument -Wl,-rpath,"$prefix/$libdir"; then
    expect "README example $n" "$work/readme$n.txt" -- env -C "$work/readme" "./example$n"
    if ((n == 1)); then
      grep -q '^        <price>11.50</price>$' "$work/readme/catalog.out.xml" &&
        grep -q '^        <name>Salt &amp; pepper mill</name>$' "$work/readme/catalog.out.xml" &&
        ! grep -q C-310 "$work/readme/catalog.out.xml" || fail "README example 1: the file it saved"
    fi
    if ((n == 2)); then
      sed 's/width="1024"/width="1280"/' "$work/readme/examples/settings.xml" |
        cmp -s - "$work/readme/settings.out.xml" || fail "README example 2: the file it saved"
    fi
  else
    fail "README example $n: plain -lZELBasXmlDocument build"
  fi
done

# The folder named in the include, with only the include folder on the path
# (as /usr/local/include is by default): the headers find each other beside.
sed 's|#include "ZELBasXmlDocument.h"|#include <ZELBasXmlDocument/ZELBasXmlDocument.h>|' \
  "$work/readme/example1.cpp" >"$work/readme/folder.cpp"
# shellcheck disable=SC2086
if grep -q '<ZELBasXmlDocument/ZELBasXmlDocument.h>' "$work/readme/folder.cpp" &&
  "$cxx" -std=c++17 -Wall -Wextra -Werror $flags "$work/readme/folder.cpp" -o "$work/readme/folder" \
    -I"$prefix/include" -L"$prefix/$libdir" -lZELBasXmlDocument -Wl,-rpath,"$prefix/$libdir"; then
  pass
else
  fail "#include <ZELBasXmlDocument/ZELBasXmlDocument.h> with the include folder alone"
fi

finish
