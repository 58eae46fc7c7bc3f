#!/usr/bin/env bash
# Plants each fault of the table below alone in a scratch copy of HEAD,
# builds the release preset there, runs the tests and prints which tests
# caught it, as a Markdown table. The checkout it is run from is only read.
#
#   bash scripts/plant-faults.sh [--check] [FAULT NUMBER ...]
#
# --check only plants and restores each fault, to see that every edit still
# applies, without building.
#
# A clean run comes first: tests that fail without any fault are left out
# of every row and named below the table. The logs stay in the scratch
# folder (printed at the end); the copy and its build are removed.
# TEST_TIMEOUT (seconds for each test that sets none, default 120; the
# slowest takes about 10) and SUITE_TIMEOUT (seconds per ctest run, default
# 1800) bound a fault that makes a test loop forever; the tests' files go
# to the scratch folder, each at most 1 GiB, as such a loop may be writing.
set -euo pipefail

# The faults: `fault N "what"` starts one; each `edit FILE FROM TO` after it
# replaces the literal text FROM, which must occur exactly once, with TO.
fault_ids=() fault_names=()
edit_fault=() edit_file=() edit_from=() edit_to=()
fault() { fault_ids+=("$1") fault_names+=("$2"); }
edit() { edit_fault+=("${fault_ids[-1]}") edit_file+=("$1") edit_from+=("$2") edit_to+=("$3"); }

fault 1 "the tree builder never increments the depth"
edit src/xml/TreeBuilder.cpp $'    ++depth;\n' ''
fault 2 "a built child is always taken back out"
edit src/xml/TreeBuilder.cpp $'      takeOut.Take();\n' ''
fault 3 "a repeated attribute keeps its first value"
edit src/xml/TreeBuilder.cpp $'      sorted.pairs[at - 1] = pair;\n' ''
fault 4 "the string cache compares hashes, not bytes"
edit src/xml/StringCache.cpp ' && SameBytes(entry.text.CastToCharPtr(), text, length)' ''
fault 5 "one space too many per level"
edit src/xml/Indentation.h 'levelUnit = "    "' 'levelUnit = "     "'
fault 6 "stale parent links after a vector moves"
edit src/xml/XmlNode.cpp $'    moved[i].LinkChildren();\n' ''
fault 7 "moved maps keep their old header"
edit src/xml/XmlNode.cpp $'    moved[i].attributes.Relocated();\n' ''
fault 8 "the Linux loader hook calls the exported DllMain"
edit src/module/LoaderEntry.cpp 'processAttach() { Attach(1); }' 'processAttach() { DllMain(nullptr, 1, nullptr); }'
fault 9 "the search matches its start node"
edit src/xml/NodeSearch.cpp '{name, result};' '{name, result}; collector.Enter(this);'
edit src/xml/NodeSearch.cpp '{name, matches};' '{name, matches}; collector.Enter(this);'
fault 10 "the header comment line changed"
edit src/xml/DocumentWriter.cpp '<!-- Written by ZELBasXmlDocument -->' '<!-- Written by ZELBasXmlDocument. -->'
fault 11 "a rename goes ahead over a swapped file or a stranger's"
edit platform/ZELBasShared/Replace.cpp 'if (opened || CoWriterThere(r, seen))' 'if (true || opened || CoWriterThere(r, seen))'
fault 12 "the ReadString size limit one too high"
edit src/xml/DocumentReader.cpp 'characters > MaxStringCharacters)' 'characters > MaxStringCharacters + 1)'
fault 13 "the named temporary file created 0644, not private"
edit platform/ZELBasShared/Temporary.cpp 'O_NOFOLLOW | O_CLOEXEC, 0600)' 'O_NOFOLLOW | O_CLOEXEC, 0644)'
fault 14 "whole texts drop the pieces after an entity"
edit src/xml/TextAssembly.cpp $'    runGathered = true;\n' $'    return;\n'
fault 15 "\`\"\` not escaped in well-formed attribute values"
edit src/xml/Escaping.h $'    case \'"\':\n' ''
fault 16 "a held node relinked by Append"
edit src/xml/XmlNode.cpp 'if (!child.held) child.parent = this;' 'child.parent = this;'
fault 17 "assignment into a held node takes the other's parent link"
edit src/xml/XmlNode.cpp 'ZELBasXmlNode* link = held || (' 'ZELBasXmlNode* link = ('
fault 18 "the well-formed check skips attribute values"
edit src/xml/WellFormedCheck.cpp $'    if (!IsXmlText(it->second)) return "has an attribute value that is not UTF-8 of XML characters";\n' ''
fault 19 "the kept layout keeps the white space before a removed child"
edit src/xml/KeptEdits.cpp 'size_t k = hole++;' 'size_t k = hole++; if (spaced && place.before[k] + place.present[k] == 0) placed.push_back(at);'
fault 20 "the kept layout's source window keeps from one byte too late"
edit src/xml/SourceWindow.cpp 'keptStart = from;' 'keptStart = from - 1;'
fault 21 "the kept layout takes a text with any reference as written canonically"
edit src/xml/LayoutRecorder.cpp $'    } else {\n      return false;\n    }\n' $'    } else {\n      ++at;\n    }\n'
fault 22 "a fresh read does not empty the tree"
edit src/xml/DocumentReader.cpp $'  DocumentAccess::Dom(document) = ZELBasXmlNode();\n' ''
fault 23 "a read error is not recorded"
edit src/xml/DocumentReader.cpp 'readError = errno != 0 ? errno : EIO;' 'readError = 0;'
fault 24 "an in-place write takes no lock against other writers"
edit platform/ZELBasShared/Overwrite.cpp 'if (!TakeTurn(fd) || !StillThere(r)' 'if (!StillThere(r)'
fault 25 "the leftover cleanup opens a planted name before checking what it is"
edit platform/ZELBasShared/Leftovers.cpp 'LooksOurs(r, entry->d_name, self) && Abandoned(r, entry->d_name)' \
  'Abandoned(r, entry->d_name) && LooksOurs(r, entry->d_name, self)'
fault 26 "RemoveChild relinks a moved sibling's children to its old slot"
edit src/xml/NodeAccess.h 'ZELBasXmlNode::Relocate(first + i + 1, first + i, 1);' \
  'ZELBasXmlNode::Relocate(first + i + 1, first + i, 1), first[i + 1].LinkChildren();'

test_timeout="${TEST_TIMEOUT:-120}"
suite_timeout="${SUITE_TIMEOUT:-1800}"
source="$(git -C "$(dirname "$0")/.." rev-parse --show-toplevel)"
commit="$(git -C "$source" rev-parse HEAD)"
check=false
if [[ ${1:-} == --check ]]; then
  check=true
  shift
fi
selected=("$@")
((${#selected[@]})) || selected=("${fault_ids[@]}")

scratch="$(mktemp -d "${TMPDIR:-/tmp}/plant-faults.XXXXXX")"
tree="$scratch/tree" logs="$scratch/logs" tmp="$scratch/tmp"
trap 'rm -rf "$tree" "$tmp"' EXIT
mkdir -p "$tree" "$logs"
# The protection tests' other users must reach the tests' folder in it.
chmod 711 "$scratch"
# An exported copy, not a worktree: nothing of the user's repository changes.
git -C "$source" archive "$commit" | tar -x -C "$tree"

# Replaces the literal FROM with TO in FILE; fails unless FROM occurs once.
plant() {
  FROM="$2" TO="$3" perl -0777 -i -pe '
    BEGIN { $from = $ENV{FROM}; $to = $ENV{TO} }
    my $n = () = /\Q$from\E/g;
    die "plant-faults: \"$from\" occurs $n times in $ARGV, not once\n" if $n != 1;
    s/\Q$from\E/$to/;' "$tree/$1"
}

# Restored from the commit with a new modification time, so that the next
# build recompiles it: an old time would leave the faulty objects in place.
restore() { git -C "$source" show "$commit:$1" >"$tree/$1"; }

# Builds and runs the tests; prints the names of those that failed, or
# a line saying why there are none to name.
run_tests() {
  local log="$logs/$1" failed="$tree/build/Testing/Temporary/LastTestsFailed.log"
  if ! cmake --build "$tree/build" -j2 >"$log.build" 2>&1; then
    echo "(does not build)"
    return
  fi
  rm -rf "$failed" "$tmp"
  mkdir "$tmp"
  local status=0
  # A test killed at its timeout leaves its files: here, removed before
  # the next run. The largest a test writes on purpose is 160 MiB.
  (cd "$tree/build" && ulimit -S -f $((1 << 20)) && export TMPDIR="$tmp" TEST_TMPDIR="$tmp" &&
    timeout "$suite_timeout" ctest -j2 -E install --timeout "$test_timeout" --output-on-failure) \
    >"$log.ctest" 2>&1 || status=$?
  if ((status == 124)); then
    echo "(ctest timed out)"
  elif [[ -f $failed ]]; then
    sed 's/^[0-9]*://' "$failed"
  elif ((status != 0)); then
    echo "(ctest failed, exit $status)"
  fi
}

# "3 tests: A.x, B.y, C.z" for a few; for more, the suites by count:
# "25 tests: NodeTest (9), TreeBuilderTest (2), fuzz replays (2), ...".
shorten() {
  local names=("$@")
  ((${#names[@]})) || return 0
  if [[ ${names[0]} == \(* ]]; then
    echo "${names[0]}"
  elif ((${#names[@]} <= 3)); then
    local IFS=,
    echo "${#names[@]} test$( ((${#names[@]} > 1)) && echo s): ${names[*]}" | sed 's/,/, /g'
  else
    printf '%s\n' "${names[@]}" |
      sed -E 's/^fuzz_.*_replay$/fuzz replays/; s/^zelbasxml_.*/zelbasxml scripts/; s/[./].*//' |
      sort | uniq -c | sort -k1,1nr -k2 |
      awk -v total="${#names[@]}" '
        { name = $0; sub(/^ *[0-9]+ /, "", name); groups[NR] = name ($1 > 1 ? " (" $1 ")" : "") }
        END {
          line = total " tests: "
          for (i = 1; i <= NR && i <= 5; ++i) line = line (i > 1 ? ", " : "") groups[i]
          print line (NR > 5 ? ", ..." : "")
        }'
  fi
}

if $check; then
  for e in "${!edit_fault[@]}"; do
    [[ " ${selected[*]} " == *" ${edit_fault[$e]} "* ]] || continue
    plant "${edit_file[$e]}" "${edit_from[$e]}" "${edit_to[$e]}"
    restore "${edit_file[$e]}"
  done
  echo "every edit applies"
  rm -rf "$scratch"
  exit 0
fi

start=$SECONDS
unbuilt=0
echo "== scratch copy of ${commit:0:12} in $scratch" >&2
(cd "$tree" && cmake --preset release >"$logs/configure" 2>&1)
echo "== clean build and run" >&2
mapfile -t baseline < <(run_tests clean)
if [[ ${baseline[0]:-} == \(* ]]; then
  echo "plant-faults: the clean tree fails: ${baseline[0]} (see $logs)" >&2
  exit 1
fi

rows=()
for i in "${!fault_ids[@]}"; do
  id="${fault_ids[$i]}"
  [[ " ${selected[*]} " == *" $id "* ]] || continue
  echo "== fault $id: ${fault_names[$i]}" >&2
  files=()
  for e in "${!edit_fault[@]}"; do
    [[ ${edit_fault[$e]} == "$id" ]] || continue
    plant "${edit_file[$e]}" "${edit_from[$e]}" "${edit_to[$e]}"
    files+=("${edit_file[$e]}")
  done
  mapfile -t failed < <(run_tests "fault-$id")
  for file in "${files[@]}"; do restore "$file"; done
  caught=()
  for name in "${failed[@]}"; do
    [[ " ${baseline[*]} " == *" $name "* ]] || caught+=("$name")
  done
  summary="$(shorten "${caught[@]}")"
  [[ $summary != "(does not build)" ]] || unbuilt=1
  [[ -n $summary ]] || summary="**not caught**"
  rows+=("| $id. ${fault_names[$i]} | $summary |")
  echo "   $summary" >&2
done

echo
echo "| fault | caught by |"
echo "|---|---|"
printf '%s\n' "${rows[@]}"
echo
((${#baseline[@]} == 0)) || echo "Failing without any fault, left out above: ${baseline[*]}"
echo "Run time: $(((SECONDS - start) / 60)) min $(((SECONDS - start) % 60)) s; logs in $logs"
exit "$unbuilt"
