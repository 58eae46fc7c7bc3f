#!/usr/bin/env bash
# Builds the benchmark (Release), writes the corpus, measures every contender
# on every file and prints the Markdown tables (bench/runner.py).
#
#   bash bench/run.sh [--quick] [--windows] [--scale S] [--reps N] [--only LIST] [--out FILE]
#                     [--baseline COMMIT]
#
# --windows measures the Windows build (scripts/windows.sh's dependencies,
# the windows preset with the benchmark, in build-bench-windows/) under Wine
# against raw Expat built for Windows, in the same tables and with the same
# checks; there are no peers. ZELBAS_ALLOCATOR=malloc in the environment
# builds it on the C runtime's heap instead of mimalloc.
#
# The full run (10 MB a generated file, 3 repetitions of every process, 30
# reads each) measures a cell again (twice at most) when two of its
# repetitions differ by more than 30%, and fails when they still do or when
# pugixml reads slower than raw Expat: its figures are then not to be
# published. --quick (CI) runs a small corpus once and checks only that every
# contender runs and gives sane output. --only restricts the contenders
# (comma-separated: expat_chunked, expat_whole, zel_file, zel_file_whole,
# zel_file_keep, zel_string, pugixml_file, pugixml_buffer, tinyxml2, libxml2, write_zel,
# write_pugixml, write_tinyxml2). --baseline builds the benchmark of an
# earlier commit (from its files, under the build folder) and measures its
# ReadFile in the same run, beside this one's (Linux only).
set -euo pipefail
cd "$(dirname "$0")/.."

scale=1 reps=3 reads=30 quick="" only="" out="" windows="" baseline=""
command="bash bench/run.sh $*"
while (($#)); do
  case "$1" in
    --quick) quick=--quick scale=0.02 reps=1 reads=12; shift ;;
    --windows) windows=1; shift ;;
    --scale) scale="$2"; shift 2 ;;
    --reps) reps="$2"; shift 2 ;;
    --only) only="$2"; shift 2 ;;
    --out) out="$2"; shift 2 ;;
    --baseline) baseline="$2"; shift 2 ;;
    *) echo "usage: $0 [--quick] [--windows] [--scale S] [--reps N] [--only LIST] [--out FILE] [--baseline COMMIT]" >&2
      exit 2 ;;
  esac
done

version() { dpkg-query -W -f='${Version}' "$1" 2>/dev/null | sed 's/[-+].*//'; }
if [[ -n $windows ]]; then
  build="${BENCH_BUILD_DIR:-build-bench-windows}"
  bash scripts/windows.sh deps >&2
  cmake --preset windows -B "$build" -DCMAKE_BUILD_TYPE=Release -DZELBAS_BUILD_BENCH=ON -DZELBAS_BUILD_TESTS=OFF \
    -DZELBAS_BUILD_EXAMPLES=OFF -DZELBAS_ALLOCATOR="${ZELBAS_ALLOCATOR:-mimalloc}" >/dev/null
  cmake --build "$build" --target zelbas_bench >&2
  [[ -f "$build/bin/zelbas_bench.exe" ]] || { echo "error: benchmark not built" >&2; exit 1; }
  # Wine's own processes are started once, before anything is measured.
  export WINEPREFIX="$PWD/$build/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=
  bench="/usr/lib/wine/wine64 $PWD/$build/bin/zelbas_bench.exe"
  $bench faultcost >/dev/null
  [[ -z $only ]] && only=expat_chunked,expat_whole,zel_file,zel_string,write_zel
  system="Windows (MinGW-w64 GCC $(version g++-mingw-w64-x86-64-posix)) under Wine $(version wine64), \
the memory module on ${ZELBAS_ALLOCATOR:-mimalloc}"
else
  build="${BENCH_BUILD_DIR:-build-bench}"
  bash scripts/ensure-packages.sh python3 libpugixml-dev libtinyxml2-dev libxml2-dev libmimalloc-dev >&2
  cmake --preset bench -B "$build" >/dev/null
  cmake --build "$build" --target zelbas_bench >&2
  bench="$build/bench/zelbas_bench"
  [[ -x "$bench" ]] || { echo "error: benchmark not built (needs the peers: see bench/CMakeLists.txt)" >&2; exit 1; }
  system="GCC $(version gcc-12), pugixml $(version libpugixml1v5), tinyxml2 $(version libtinyxml2-9), \
libxml2 $(version libxml2)"
fi
corpus="${BENCH_CORPUS_DIR:-$build/corpus}"

if [[ -n $baseline ]]; then
  # The commit's files, built with the same preset; kept for the next run.
  commit="$(git rev-parse --verify "$baseline^{commit}")"
  before="$(realpath -m "$build")/baseline-$commit"
  if [[ ! -d "$before/src" ]]; then
    mkdir -p "$before/src"
    git archive "$commit" | tar -x -C "$before/src"
  fi
  (cd "$before/src" && cmake --preset bench -B "$before/build" >/dev/null &&
    cmake --build "$before/build" --target zelbas_bench >&2)
  args_baseline=(--baseline "$before/build/bench/zelbas_bench")
fi

mkdir -p "$corpus"
files=()
while read -r path _; do files+=("${path%$'\r'}"); done < <($bench generate "$corpus" "$scale")
real=/usr/share/mime/packages/freedesktop.org.xml
[[ -r "$real" ]] && files+=("$real")

load() { cut -d' ' -f1 /proc/loadavg; }
machine="$(lscpu | sed -n 's/^Model name: *//p' | head -1), $(nproc) cores"
hypervisor="$(lscpu | sed -n 's/^Hypervisor vendor: *//p' | head -1)"
[[ -n "$hypervisor" ]] && machine+=" ($hypervisor guest)"
header="Command: \`$command\`. Machine: $machine, Linux $(uname -r | cut -d- -f1), a page fault \
$($bench faultcost | tr -d '\r') µs. $system, Expat $(version libexpat1), mimalloc $(version libmimalloc2.0). \
$reps repetition(s) of every process, $reads reads or writes each; CPU time of the reading thread; \
MB = 10^6 bytes. Load average $(load) at the start"

args=(--bench "$bench" --reps "$reps" --reads "$reads" --writes "$reads" --raw "$build/bench-results.jsonl")
[[ -n "$quick" ]] && args+=("$quick" --retries 0)
[[ -n "$only" ]] && args+=(--only "$only")
[[ -n "$baseline" ]] && args+=("${args_baseline[@]}")
status=0
tables="$(python3 -B bench/runner.py "${args[@]}" --header "$header" "${files[@]}")" || status=$?
if [[ -n "$out" ]]; then printf '%s\n' "$tables" >"$out"; fi
printf '%s\n' "$tables"
exit "$status"
