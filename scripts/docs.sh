#!/usr/bin/env bash
# Renders the reference documentation (docs/Doxyfile: the README as the main
# page, then the public headers) as HTML in build/docs/html, installing
# doxygen when missing. Fails on any warning, such as an undocumented public
# member, on a link of the documents or of the rendered pages that leads
# nowhere, and on a source file the tour of docs/development.md leaves out
# (scripts/check_docs.py).
#
#   bash scripts/docs.sh
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/ensure-packages.sh doxygen
rm -rf build/docs
doxygen docs/Doxyfile
python3 scripts/check_docs.py build/docs/html
echo "docs: build/docs/html/index.html"
