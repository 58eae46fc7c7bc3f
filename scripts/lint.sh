#!/usr/bin/env bash
# Style and static checks, installing clang-format and clang-tidy when
# missing:
#   - every tracked C++ file must be formatted as .clang-format says;
#   - clang-tidy (checks in .clang-tidy) must find nothing in the library,
#     the platform modules, the command and the examples.
#
#   bash scripts/lint.sh [format|tidy]     both when no argument is given
set -euo pipefail
cd "$(dirname "$0")/.."
what="${1:-all}"

bash scripts/ensure-packages.sh clang-format clang-tidy

if [[ $what == all || $what == format ]]; then
  echo "clang-format: $(git ls-files '*.cpp' '*.h' | wc -l) files"
  git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror
fi

if [[ $what == all || $what == tidy ]]; then
  # Only a compilation database is needed, not a build; the tidy preset
  # (without the tests) lists exactly the sources to check.
  cmake --preset tidy >/dev/null
  echo "clang-tidy: $(grep -c '"file"' build-tidy/compile_commands.json) files"
  run-clang-tidy -p build-tidy -quiet >build-tidy/clang-tidy.log 2>&1 || {
    grep -E -A3 '(warning|error):' build-tidy/clang-tidy.log || cat build-tidy/clang-tidy.log
    echo "clang-tidy found problems" >&2
    exit 1
  }
fi
echo "lint: clean"
