#!/usr/bin/env bash
# Kills writers at random moments and checks what they leave: each way of
# writing a file is killed KILLS times (100 by default) while it writes two
# 1 MB documents in turn over one file with WriteFile, which renders into
# the file a piece at a time. After each kill the file must hold one
# document whole (the in-place ways, the mount point's copy included,
# documented as not atomic, are only counted); the unnamed way must leave
# no named file at all, and the next write no new file of any way.
#
#   bash scripts/kill-test.sh [KILLS] [KILL_WRITER] [KILL_WRITER_EXE]
#
# Ways: normal (unnamed new file), named (as on a file system without
# unnamed files), named-other (the same, root writing another user's file,
# so that what a kill leaves is that user's), mount (a bind-mounted file),
# in-place (a writable file in a read-only folder, as another user) and,
# when the Windows build and Wine are there, windows. Named-other, mount and
# in-place need root (run here in a mount namespace of their own); they are
# skipped otherwise.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
kills="${1:-100}"
writer="${2:-$root/build/tests/kill_writer}"
exe="${3-$root/build-windows/bin/kill_writer.exe}"
bytes=1000000
other=4242  # the unprivileged writer of the in-place way

if [[ $(id -u) -eq 0 && -z ${ZELBAS_KILL_TEST_NS:-} ]]; then
  ZELBAS_KILL_TEST_NS=1 exec unshare --mount --propagation private bash "$0" "$kills" "$writer" "$exe"
fi
[[ -x $writer ]] || {
  echo "no $writer: build the release preset first" >&2
  exit 2
}
work="$(mktemp -d)"
trap 'umount -q "$work"/mount/doc.xml 2>/dev/null || true; rm -rf "$work"' EXIT
chmod 755 "$work"
failed=0

# Leftover new files in a folder.
leftovers() { find "$1" -maxdepth 1 -name '.*.tmp' | wc -l; }

# kill_loop NAME FILE MIXED_ALLOWED NAMES_ALLOWED COMMAND...: runs COMMAND
# (a writer of FILE) KILLS times.
kill_loop() {
  local name=$1 file=$2 allowed=$3 names=$4 mixed=0 left=0 i pid
  shift 4
  for ((i = 0; i < kills; i++)); do
    "$@" >"$work/started" &
    pid=$!
    # Killed 0 to 99 ms after its documents are ready.
    until [[ -s $work/started ]] || ! kill -0 "$pid" 2>/dev/null; do sleep 0.005; done
    sleep "0.0$(printf %02d $((RANDOM % 100)))"
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    "$writer" check "$file" "$bytes" || mixed=$((mixed + 1))
    left=$((left + $(leftovers "$(dirname "$file")")))
  done
  # The next write removes what killed writers left.
  ("$@" once) >/dev/null 2>&1 || true
  local after
  after=$(leftovers "$(dirname "$file")")
  echo "$name: $kills kills, $mixed left mixed text, $left new files seen right after a kill, $after after the next write"
  if ((after > 0)) || { ((mixed > 0)) && [[ $allowed == no ]]; } || { ((left > 0)) && [[ $names == no ]]; }; then
    echo "  FAILED" >&2
    failed=1
  fi
}

# The writers, forever or "once".
normal() { [[ ${1:-} == once ]] && exec "$writer" once "$work/normal/doc.xml" "$bytes"; exec "$writer" write "$work/normal/doc.xml" "$bytes"; }
named() { [[ ${1:-} == once ]] && exec "$writer" once "$work/named/doc.xml" "$bytes"; exec "$writer" write "$work/named/doc.xml" "$bytes" named; }
named_other() {
  [[ ${1:-} == once ]] && exec "$writer" once "$work/named-other/doc.xml" "$bytes"
  exec "$writer" write "$work/named-other/doc.xml" "$bytes" named
}
mounted() { [[ ${1:-} == once ]] && exec "$writer" once "$work/mount/doc.xml" "$bytes"; exec "$writer" write "$work/mount/doc.xml" "$bytes"; }
in_place() {
  local as=(setpriv --reuid="$other" --regid="$other" --clear-groups)
  [[ ${1:-} == once ]] && exec "${as[@]}" "$writer" once "$work/in-place/doc.xml" "$bytes"
  exec "${as[@]}" "$writer" write "$work/in-place/doc.xml" "$bytes"
}
windows() {
  [[ ${1:-} == once ]] && exec wine "$exe" once "$work/windows/doc.xml" "$bytes"
  exec wine "$exe" write "$work/windows/doc.xml" "$bytes"
}

mkdir "$work/normal" "$work/named"
"$writer" once "$work/normal/doc.xml" "$bytes"
"$writer" once "$work/named/doc.xml" "$bytes"
kill_loop normal "$work/normal/doc.xml" no no normal
kill_loop named "$work/named/doc.xml" no yes named

if [[ $(id -u) -eq 0 ]]; then
  mkdir "$work/named-other"
  "$writer" once "$work/named-other/doc.xml" "$bytes"
  chown "$other:$other" "$work/named-other/doc.xml"
  kill_loop named-other "$work/named-other/doc.xml" no yes named_other

  mkdir "$work/mount"
  "$writer" once "$work/mount/source.xml" "$bytes"
  touch "$work/mount/doc.xml"
  mount --bind "$work/mount/source.xml" "$work/mount/doc.xml"
  kill_loop mount "$work/mount/doc.xml" yes no mounted
  umount "$work/mount/doc.xml"

  mkdir "$work/in-place"
  "$writer" once "$work/in-place/doc.xml" "$bytes"
  chown "$other:$other" "$work/in-place/doc.xml"
  chmod 555 "$work/in-place"
  kill_loop in-place "$work/in-place/doc.xml" yes no in_place
else
  echo "named-other, mount, in-place: skipped (need root)"
fi

if [[ -f $exe ]] && command -v wine >/dev/null; then
  mkdir "$work/windows"
  "$writer" once "$work/windows/doc.xml" "$bytes"
  kill_loop windows "$work/windows/doc.xml" no yes windows
fi
exit "$failed"
