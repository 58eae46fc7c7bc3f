#!/usr/bin/env bash
# Builds the libFuzzer targets with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer into build-fuzz/, then runs each for SECONDS
# (default 60), one after another.
#
#   bash scripts/fuzz.sh [SECONDS] [readwrite|readfile|nodeapi ...]
#
# Each run starts from the seed and regression corpora (fuzz/corpus/T,
# fuzz/regressions/T) and grows fuzz/corpus-work/T (not committed). An input
# that crashes is written to fuzz/findings/ and the script exits 1; once
# fixed, move it to fuzz/regressions/T so that every build replays it.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
shift || true
targets=("$@")
((${#targets[@]})) || targets=(readwrite readfile nodeapi)

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELBAS_WERROR=ON \
  -DZELBAS_SANITIZE=ON -DZELBAS_FUZZ=ON -DZELBAS_BUILD_TESTS=OFF
cmake --build build-fuzz

status=0
for t in "${targets[@]}"; do
  mkdir -p "fuzz/corpus-work/$t" fuzz/findings
  echo "== fuzz_$t for ${seconds}s"
  # Standard error is closed (-close_fd_mask=2) to keep the parse error
  # reports out of the log; libFuzzer and the sanitizers still report.
  if ! ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    "build-fuzz/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 -close_fd_mask=2 \
    -print_final_stats=1 -artifact_prefix="fuzz/findings/$t-" \
    "fuzz/corpus-work/$t" "fuzz/corpus/$t" "fuzz/regressions/$t"; then
    echo "== fuzz_$t: FINDING, see fuzz/findings/" >&2
    status=1
  fi
done
exit $status
