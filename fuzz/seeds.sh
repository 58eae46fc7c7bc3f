#!/usr/bin/env bash
# Writes the node fuzzer's seeds from their readable form (seeds-nodeapi.txt):
# each "== name: what it does" section becomes the file OUT/name, each token
# one byte: an operation's name its number, a quoted tag or attribute name
# its place in the fuzzer's table, "-" an unused slot (0), a number itself.
#
#   bash fuzz/seeds.sh IN OUT
set -euo pipefail
in=$1 out=$2
ops=(tag attr root append assign copy assign-inside search parent render parse clear assign-into append-into remove set-root
  append-child remove-children for-each)
names=('""' '"a"' '"b"' '"aa"' '"B"')
rm -rf "$out"
mkdir -p "$out"
file=/dev/null
while IFS= read -r line; do
  line=${line%%#*}
  if [[ $line == "== "* ]]; then
    name=${line#== }
    file="$out/${name%%:*}"
    : >"$file"
    continue
  fi
  bytes=
  for token in $line; do
    value=$token
    [[ $token == - ]] && value=0
    for i in "${!ops[@]}"; do [[ $token == "${ops[i]}" ]] && value=$i; done
    for i in "${!names[@]}"; do [[ $token == "${names[i]}" ]] && value=$i; done
    [[ $value =~ ^[0-9]+$ ]] && ((value < 256)) || { echo "seeds.sh: '$token' is no byte" >&2; exit 1; }
    bytes+=$(printf '\\%03o' "$value")
  done
  printf "$bytes" >>"$file"
done <"$in"
