#!/usr/bin/env bash
# WriteFile's peak memory beyond the tree, for a 500 MB document: natively
# by each way of writing (an unnamed new file, a named one, in place) and,
# when the Windows build and Wine are there, under Wine. The figures are
# docs/limits.md's; each run fails past 16 MiB.
#
#   bash scripts/write-memory.sh [MEGABYTES]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
megabytes="${1:-500}"
native="$root/build/tests/write_memory" windows="$root/build-windows/bin/write_memory.exe"
[[ -x $native ]] || {
  echo "no $native: build the release preset first" >&2
  exit 2
}
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
for way in unnamed named in-place; do
  "$native" "$megabytes" "$work/$way.xml" 16 "$way"
  rm -f "$work/$way.xml"
done
if [[ -f $windows ]] && command -v wine >/dev/null; then
  WINEDEBUG=-all wine "$windows" "$megabytes" "$work/windows.xml" 16 | tr -d '\r' | sed 's/^/windows /'
fi
