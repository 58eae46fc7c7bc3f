#!/usr/bin/env bash
# Sets up a fresh Debian machine and builds: installs what is missing (as
# root, with apt-get), configures, builds, then runs what was asked for.
#
#   bash scripts/bootstrap.sh test      build and run every test
#   bash scripts/bootstrap.sh example   build and format the bundled example
set -euo pipefail

cd "$(dirname "$0")/.."
mode="${1:-test}"
build_dir="${BUILD_DIR:-build}"

# man-db: the install test reads the installed manual page.
packages=(cmake g++ ninja-build pkg-config libexpat1-dev libmimalloc-dev libgtest-dev man-db)

bash scripts/ensure-packages.sh "${packages[@]}"

cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELBAS_WERROR=ON
cmake --build "$build_dir"

case "$mode" in
  test)
    ctest --test-dir "$build_dir" --output-on-failure -j"$(nproc)"
    ;;
  example)
    "$build_dir/tools/zelbasxml" format examples/catalog.xml
    ;;
  *)
    echo "usage: $0 [test|example]" >&2
    exit 2
    ;;
esac
