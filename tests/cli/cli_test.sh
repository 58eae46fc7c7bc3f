#!/usr/bin/env bash
# Runs the zelbasxml binary on files and checks bytes and exit codes.
#   cli_test.sh ZELBASXML SOURCE_DIR [SYSTEM [REFERENCE]]
# SYSTEM is the build's target system (CMake's name): Windows has no full
# device to write to. REFERENCE is the zelbasxml of another build: format
# and find must then print what it prints, byte for byte, on every file
# under tests/, examples/ and the fuzz corpus.
set -u
bin="$1"
here="$2/tests/cli"
system="${3:-}"
reference="${4:-}"
example="$2/examples/catalog.xml"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
passed=0
failed=0

# check NAME EXIT STDOUT_FILE STDERR_PATTERN -- command...
# An empty STDOUT_FILE skips the output check; an empty pattern wants no
# standard error at all.
check() {
  local name="$1" want_exit="$2" want_out="$3" want_err="$4"
  shift 5
  "$@" >"$work/out" 2>"$work/err" </dev/null
  local got=$?
  local ok=1
  [[ $got -eq $want_exit ]] || { echo "  exit $got, want $want_exit"; ok=0; }
  if [[ -n $want_out ]] && ! cmp -s "$work/out" "$want_out"; then
    echo "  standard output differs from $want_out"; ok=0
  fi
  if [[ -z $want_err && -s "$work/err" ]] || [[ -n $want_err ]] && ! grep -qE -- "$want_err" "$work/err"; then
    echo "  standard error does not match /$want_err/:"; sed 's/^/    /' "$work/err"; ok=0
  fi
  if ((ok)); then passed=$((passed + 1)); else echo "FAIL: $name"; failed=$((failed + 1)); fi
}

empty="$work/empty"
: >"$empty"
printf '<a><b></a>' >"$work/bad.xml"

check "format a file" 0 "$here/catalog.formatted.xml" '' -- "$bin" format "$example"
check "format standard input" 0 "$here/catalog.formatted.xml" '' -- bash -c "\"$bin\" format - < \"$example\""
check "format chunked" 0 "$here/catalog.formatted.xml" '' -- "$bin" format --chunked "$example"
check "format to a file" 0 "$empty" '' -- "$bin" format -o "$work/out.xml" "$example"
cmp -s "$work/out.xml" "$here/catalog.formatted.xml" || { echo "FAIL: -o output differs"; failed=$((failed + 1)); }
check "find" 0 "$here/catalog.stock.xml" '' -- "$bin" find stock "$example"
check "find nothing" 0 "$empty" '' -- "$bin" find missing "$example"

check "malformed: report, nothing written, exit 1" 1 "$empty" \
  'XML parse error: mismatched tag' -- "$bin" format "$work/bad.xml"
grep -qx '  Line: 1, Column: 8' "$work/err" || { echo "FAIL: position line"; failed=$((failed + 1)); }
check "malformed, chunked: partial tree, exit 0" 0 "" 'XML parse error: mismatched tag' \
  -- "$bin" format --chunked "$work/bad.xml"
grep -q '^    <b/>$' "$work/out" || { echo "FAIL: chunked partial tree"; failed=$((failed + 1)); }
check "find on malformed input" 1 "$empty" 'XML parse error' -- "$bin" find b "$work/bad.xml"

check "missing input" 2 "$empty" "^zelbasxml: $work/none.xml: No such file or directory$" \
  -- "$bin" format "$work/none.xml"
check "missing input, chunked" 2 "$empty" "^zelbasxml: $work/none.xml: " -- "$bin" format --chunked "$work/none.xml"
check "unwritable output folder" 2 "$empty" "^zelbasxml: $work/no/out.xml: " \
  -- "$bin" format -o "$work/no/out.xml" "$example"
if [[ $system == Windows ]]; then
  echo "skipped: the full device checks (no such device on Windows)"
else
  check "full device" 2 "$empty" "^zelbasxml: /dev/full: No space left on device$" \
    -- "$bin" format -o /dev/full "$example"
  check "find into a full device" 2 "$empty" "^zelbasxml: /dev/full: " -- "$bin" find name -o /dev/full "$example"
fi
check "no command" 2 "$empty" 'no command given' -- "$bin"
check "unknown option" 2 "$empty" 'unknown option --fast' -- "$bin" format --fast "$example"
check "find without tag" 2 "$empty" 'find needs a TAG' -- "$bin" find
check "chunked needs a file" 2 "$empty" '--chunked needs an INPUT file' -- "$bin" format --chunked
check "help" 0 "" '' -- "$bin" --help
grep -q '^usage: zelbasxml format' "$work/out" || { echo "FAIL: help text"; failed=$((failed + 1)); }
check "version" 0 "" '' -- "$bin" --version
grep -qE '^zelbasxml [0-9]+\.[0-9]+\.[0-9]+$' "$work/out" || { echo "FAIL: version"; failed=$((failed + 1)); }

# The same bytes, errors and exit codes as the other build, on every file at
# hand; find looks for the second tag name in the file.
if [[ -n $reference ]]; then
  while IFS= read -r -d '' file; do
    tag="$(grep -ao '<[A-Za-z_][A-Za-z0-9_.-]*' "$file" | sed -n '2s/<//p')"
    for command in "format" "format --chunked" "find ${tag:-a}"; do
      # shellcheck disable=SC2086 # the command's words
      "$reference" $command "$file" >"$work/want" 2>"$work/want-err" </dev/null
      want=$?
      # shellcheck disable=SC2086
      "$bin" $command "$file" >"$work/out" 2>"$work/err" </dev/null
      if [[ $? -eq $want ]] && cmp -s "$work/out" "$work/want" && cmp -s "$work/err" "$work/want-err"; then
        passed=$((passed + 1))
      else
        echo "FAIL: not as $reference prints: $command $file"
        failed=$((failed + 1))
      fi
    done
  done < <(find "$2/tests" "$2/examples" "$2/fuzz/corpus" -type f -print0 | sort -z)
fi

echo "$passed passed, $failed failed"
((failed == 0))
