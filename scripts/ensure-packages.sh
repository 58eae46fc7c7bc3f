#!/usr/bin/env bash
# Installs the named Debian packages that are not installed yet (as root,
# with apt-get).
#   bash scripts/ensure-packages.sh PACKAGE...
set -euo pipefail

missing=()
for p in "$@"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
((${#missing[@]})) || exit 0
echo "Installing: ${missing[*]}"
if [[ $(id -u) -ne 0 ]]; then
  echo "error: missing packages need root: apt-get install ${missing[*]}" >&2
  exit 1
fi
apt-get update -q
DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}"
