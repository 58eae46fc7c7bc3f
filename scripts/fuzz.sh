#!/usr/bin/env bash
# Builds the libFuzzer targets with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer (the fuzz preset, into build-fuzz/), then runs
# each for SECONDS (default 600), as many at once as there are cores.
#
#   bash scripts/fuzz.sh [SECONDS] [read|nodeapi|roundtrip|kept ...]
#
# Each run starts from the seed and regression corpora (fuzz/corpus/T, or
# for nodeapi the bytes of fuzz/seeds-nodeapi.txt; fuzz/regressions/T) and
# grows fuzz/corpus-work/T (not committed). An input that crashes is
# written to fuzz/findings/ and the script exits 1; once fixed, move it
# to fuzz/regressions/T so that every build replays it.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-600}"
shift || true
targets=("$@")
((${#targets[@]})) || targets=(read nodeapi roundtrip kept)

bash scripts/ensure-packages.sh clang libclang-rt-14-dev
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$(nproc)"

# A target's seeds: the node fuzzer's are written into the build from text.
seeds() { if [[ $1 == nodeapi ]]; then echo build-fuzz/fuzz/corpus/nodeapi; else echo "fuzz/corpus/$1"; fi; }
export -f seeds

# One target; its log is shown only when it finds something.
run() {
  local t=$1 log="build-fuzz/fuzz-$1.log"
  mkdir -p "fuzz/corpus-work/$t" fuzz/findings
  echo "== fuzz_$t for ${seconds}s"
  # Standard error is closed (-close_fd_mask=2) to keep the parse error
  # reports out of the log; libFuzzer and the sanitizers still report.
  if ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    "build-fuzz/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 -close_fd_mask=2 \
    -print_final_stats=1 -artifact_prefix="fuzz/findings/$t-" \
    "fuzz/corpus-work/$t" "$(seeds "$t")" "fuzz/regressions/$t" >"$log" 2>&1; then
    sed -n "s/^stat::number_of_executed_units: */== fuzz_$t: runs: /p" "$log"
  else
    cat "$log"
    echo "== fuzz_$t: FINDING, see fuzz/findings/" >&2
    return 1
  fi
}
export -f run
export seconds
printf '%s\n' "${targets[@]}" | xargs -P "$(nproc)" -n 1 bash -c 'run "$1"' _ || exit 1
