#!/usr/bin/env bash
# Style and static checks, installing clang-format and clang-tidy when
# missing:
#   - every tracked C++ file must be formatted as .clang-format says;
#   - clang-tidy (checks in .clang-tidy) must find nothing in the library,
#     the stand-in modules, the command and the examples.
#
#   bash scripts/lint.sh [format|tidy]     both when no argument is given
set -euo pipefail
cd "$(dirname "$0")/.."
what="${1:-all}"
build_dir="${TIDY_BUILD_DIR:-build-tidy}"

bash scripts/ensure-packages.sh clang-format clang-tidy

if [[ $what == all || $what == format ]]; then
  echo "clang-format: $(git ls-files '*.cpp' '*.h' | wc -l) files"
  git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror
fi

if [[ $what == all || $what == tidy ]]; then
  # Only a compilation database is needed, not a build; without the tests it
  # lists exactly the sources to check.
  cmake -S . -B "$build_dir" -G Ninja -DCMAKE_EXPORT_COMPILE_COMMANDS=ON -DZELBAS_BUILD_TESTS=OFF \
    -DZELBAS_BUILD_BENCH=OFF >/dev/null
  echo "clang-tidy: $(grep -c '"file"' "$build_dir/compile_commands.json") files"
  run-clang-tidy -p "$build_dir" -quiet >"$build_dir/clang-tidy.log" 2>&1 || {
    grep -E -A3 '(warning|error):' "$build_dir/clang-tidy.log" || cat "$build_dir/clang-tidy.log"
    echo "clang-tidy found problems" >&2
    exit 1
  }
fi
echo "lint: clean"
