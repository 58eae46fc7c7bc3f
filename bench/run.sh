#!/usr/bin/env bash
# Builds the benchmark (Release), writes the corpus, runs every contender on
# every file and prints the Markdown tables (bench/table.py).
#
#   bash bench/run.sh [--scale S] [--reps N] [--min-time SECONDS] [--out FILE]
#
# --scale 1 writes the full corpus (about 50 MB for the largest file, 400 MB
# with the scaling files); CI runs a small one. Measurements are CPU time, best
# of N repetitions, each contender and file in a process of its own, run in a
# different order in each repetition so that contenders share the machine's
# noise alike.
set -euo pipefail
cd "$(dirname "$0")/.."

scale=1 reps=3 min_time=0.5 out=""
while (($#)); do
  case "$1" in
    --scale) scale="$2"; shift 2 ;;
    --reps) reps="$2"; shift 2 ;;
    --min-time) min_time="$2"; shift 2 ;;
    --out) out="$2"; shift 2 ;;
    *) echo "usage: $0 [--scale S] [--reps N] [--min-time SECONDS] [--out FILE]" >&2; exit 2 ;;
  esac
done

build="${BENCH_BUILD_DIR:-build-bench}"
corpus="${BENCH_CORPUS_DIR:-$build/corpus}"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZELBAS_WERROR=ON -DZELBAS_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target zelbas_bench >&2
bench="$build/bench/zelbas_bench"
[[ -x "$bench" ]] || { echo "error: benchmark not built (needs libbenchmark-dev and the peers)" >&2; exit 1; }

mkdir -p "$corpus"
"$bench" generate "$corpus" "$scale" >/dev/null
files=("$corpus"/data-export.xml "$corpus"/text-heavy.xml "$corpus"/deeply-nested.xml "$corpus"/wide.xml
       "$corpus"/balanced.xml)
real=/usr/share/mime/packages/freedesktop.org.xml
[[ -r "$real" ]] && files+=("$real")
scaling=()
for shape in scale-export scale-wide; do
  for x in 1 4 16; do scaling+=("$corpus/$shape-x$x.xml:scaling"); done
done

# Every contender on every file runs in a process of its own, so that none
# inherits another's heap (freed memory, mappings, page faults to come); the
# repetitions visit the runs in a different order each time.
results="$build/bench-results"
rm -rf "$results"
mkdir -p "$results"
runs=()
for entry in "${files[@]}" "${scaling[@]}"; do
  file="${entry%%:*}"
  name="$(basename "$file")"
  kinds="read/expat_chunked read/expat_whole read/zel_file read/zel_string read/pugixml read/tinyxml2 read/libxml2
         write/zel write/pugixml write/tinyxml2 write/libxml2"
  [[ "$entry" == *:scaling ]] && kinds="read/expat_chunked read/zel_file write/zel"
  for kind in $kinds; do runs+=("$kind|$file|$name"); done
done
for ((rep = 1; rep <= reps; ++rep)); do
  i=0
  while IFS= read -r run; do
    IFS='|' read -r kind file name <<<"$run"
    filter="^$kind/${name//./\\.}\$"
    "$bench" --benchmark_min_time="$min_time" --benchmark_filter="$filter" --benchmark_format=json \
      "$file" >"$results/$rep-$i.json"
    i=$((i + 1))
    printf '.' >&2
  done < <(printf '%s\n' "${runs[@]}" | shuf --random-source=<(yes "$rep"))
done
echo >&2

memory="$build/bench-memory.jsonl"
: >"$memory"
for file in "${files[@]}"; do
  for contender in zel_file zel_string pugixml tinyxml2 libxml2; do
    "$bench" rss "$contender" "$file" >>"$memory"
  done
done

machine="$(lscpu | sed -n 's/^Model name: *//p' | head -1), $(nproc) cores"
if [[ -n "$out" ]]; then
  python3 bench/table.py "$results" "$memory" "$machine" | tee "$out"
else
  python3 bench/table.py "$results" "$memory" "$machine"
fi
