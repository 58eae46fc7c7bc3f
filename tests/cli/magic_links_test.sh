#!/usr/bin/env bash
# zelbasxml's -o through magic links, as a shell user writes them: a pipe
# behind /dev/stdout, a process substitution, and /dev/stdout appended to a
# log, which keeps the log's earlier lines.
#   magic_links_test.sh ZELBASXML SOURCE_DIR
set -euo pipefail
bin="$1"
example="$2/examples/catalog.xml"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
"$bin" format "$example" >"$work/expected"
failed=0
check() {
  if cmp -s "$work/expected" "$2"; then echo "ok: $1"; else
    echo "FAIL: $1"
    failed=1
  fi
}
"$bin" format "$example" -o /dev/stdout | cat >"$work/piped"
check "-o /dev/stdout | cat" "$work/piped"
"$bin" format "$example" -o >(gzip >"$work/out.gz")
wait $!
gzip -dc "$work/out.gz" >"$work/substituted"
check "-o >(gzip > out.gz)" "$work/substituted"
echo "earlier line" >"$work/log"
"$bin" format "$example" -o /dev/stdout >>"$work/log"
{ echo "earlier line"; cat "$work/expected"; } >"$work/expected-log"
cp "$work/expected-log" "$work/expected"
check "-o /dev/stdout >> log" "$work/log"
exit "$failed"
