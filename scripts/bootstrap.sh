#!/usr/bin/env bash
# Sets up a fresh Debian machine and builds: installs what is missing or,
# for Expat, out of date (as root, with apt-get), configures and builds the
# release preset (CMakePresets.json) into build/, then runs what was asked
# for.
#
#   bash scripts/bootstrap.sh test      build and run every test
#   bash scripts/bootstrap.sh example   build and format the bundled example
set -euo pipefail

cd "$(dirname "$0")/.."
mode="${1:-test}"

# man-db: the install test reads the installed manual page; btrfs-progs:
# the write tests' copy-on-write file system; python3, libxml2-utils and
# xmlstarlet: the command's tests that read beside Python, xmllint and
# xmlstarlet (without them those tests are left out). Expat at the newest revision
# the sources offer (the security suite's): older ones crash on hostile
# input, and the configure step refuses them.
packages=(cmake g++ ninja-build pkg-config libmimalloc-dev libgtest-dev man-db btrfs-progs python3 libxml2-utils
  xmlstarlet)

bash scripts/ensure-packages.sh "${packages[@]}" --newest libexpat1-dev libexpat1

cmake --preset release
cmake --build --preset release -j"$(nproc)"

case "$mode" in
  test)
    ctest --preset release -j"$(nproc)"
    ;;
  example)
    build/tools/zelbasxml format examples/catalog.xml
    ;;
  *)
    echo "usage: $0 [test|example]" >&2
    exit 2
    ;;
esac
