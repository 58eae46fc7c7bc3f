#!/usr/bin/env bash
# Installs the named Debian packages that are not installed yet (as root,
# with apt-get). Those after --newest must also be at the newest version the
# package sources offer (security suite included): an older one is upgraded,
# the package lists refreshed first when they are over a day old.
#   bash scripts/ensure-packages.sh PACKAGE... [--newest PACKAGE...]
set -euo pipefail

root=0
[[ $(id -u) -ne 0 ]] || root=1
updated=0
refresh() {
  ((updated)) && return
  updated=1
  apt-get update -q || echo "warning: apt-get update failed; using the package lists at hand" >&2
}

after_newest=0
newest=()
install=()
for p in "$@"; do
  if [[ $p == --newest ]]; then
    after_newest=1
    continue
  fi
  ((!after_newest)) || newest+=("$p")
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || install+=("$p")
done

if ((${#newest[@]})); then
  if ((root)) && ! find /var/lib/apt/lists -maxdepth 1 -name '*InRelease' -mmin -1440 | grep -q .; then
    refresh
  fi
  for p in "${newest[@]}"; do
    read -r installed candidate < <(LC_ALL=C apt-cache policy "$p" |
      awk '/Installed:/ { i = $2 } /Candidate:/ { c = $2 } END { print i, c }')
    # "(none)": not installed (then missing above), or offered by no source.
    [[ $installed == [0-9]* && $candidate == [0-9]* ]] || continue
    if dpkg --compare-versions "$installed" lt "$candidate"; then
      if ((root)); then
        echo "Upgrading $p $installed to $candidate"
        install+=("$p")
      else
        echo "warning: $p $installed is older than $candidate: apt-get install $p (as root)" >&2
      fi
    fi
  done
fi

((${#install[@]})) || exit 0
echo "Installing: ${install[*]}"
if ((!root)); then
  echo "error: missing packages need root: apt-get install ${install[*]}" >&2
  exit 1
fi
refresh
DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${install[@]}"
