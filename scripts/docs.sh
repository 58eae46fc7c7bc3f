#!/usr/bin/env bash
# Renders the reference documentation (docs/Doxyfile: the README as the main
# page, then the public headers) as HTML in build/docs/html, installing
# doxygen when missing. Fails on any warning, such as an undocumented public
# member.
#
#   bash scripts/docs.sh
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/ensure-packages.sh doxygen
rm -rf build/docs
doxygen docs/Doxyfile
echo "docs: build/docs/html/index.html"
