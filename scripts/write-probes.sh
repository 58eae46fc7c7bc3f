#!/usr/bin/env bash
# The long probes of the file module's writes, as root (protection_tests
# runs short versions of each): the 900-case matrix against the kernel's
# own open, with /proc and without; 8 and 32 writers released together 70
# times on each path (normal, in place, mount point); a write's time beside
# 100,000 and 1,000,000 planted names; then the kill table
# (scripts/kill-test.sh). Prints the figures docs/limits.md gives. Every
# fs.protected_* setting changed is restored, and the mounts live in mount
# namespaces of their own.
#
#   bash scripts/write-probes.sh [WRITE_PROBES]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
probes="${1:-$root/build/platform/ZELBasShared/tests/write_probes}"
[[ $(id -u) -eq 0 ]] || {
  echo "run as root: the probes make files of two other users and change fs.protected_*" >&2
  exit 2
}
if [[ ! -x $probes ]]; then
  echo "no $probes: build the release preset first" >&2
  exit 2
fi
# A folder the probes' other users may enter.
work="$(mktemp -d -p /tmp zelbas-probes.XXXXXX)" && chmod 755 "$work"
trap 'rm -rf "$work"' EXIT
failed=0

"$probes" matrix "$work/matrix" || failed=1
for way in normal in-place mount; do
  for writers in 8 32; do
    "$probes" together "$work/$way-$writers" "$way" "$writers" 70 || failed=1
  done
done
for count in 100000 1000000; do
  "$probes" names "$work/names" "$count"
  rm -rf "$work/names"
done
bash "$root/scripts/kill-test.sh" 100 || failed=1
exit "$failed"
