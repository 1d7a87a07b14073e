#!/usr/bin/env bash
# The benchmark: builds quillon in Release (build-bench/), generates seeded inputs of about
# 20 MB and 200 MB in bench/data/ (2 GB with --large), and prints one table: quillon in
# layouts 1, 3 and 5 (or those given), with and without -e:UTF-8, to /dev/null and to a file,
# beside the I/O floor and a typical Python script (bench/baseline.py); layout 1 also on an
# ASCII variant of the input. Every case: wall time and CPU time (user + system, all threads,
# the process and its children), then the targets, "met" or "not met", with their figures.
#
#   bench/run.sh [--large] [--sizes MB,MB,...] [--repeat N] [--best] [--layouts LIST] [--worst]
#                [--micro] [--quillon PATH --no-build] [--data-dir DIR] [--no-script]
#
#   --large         measure 20, 200 and 2000 MB
#   --sizes LIST    input sizes in MB (default 20,200)
#   --repeat N      runs per case, the median counts (default 3; file writes are bimodal on a
#                   shared machine: take 9 or more for figures); wall and CPU time are each
#                   the median of their own, not both of the run with the median wall time
#   --best          the best wall and the best CPU time count instead of the medians
#   --layouts LIST  the layouts measured (default 1,3,5)
#   --worst         also layout 1 on the worst case: every record goes line by line
#   --micro         also build and run the micro-benchmark of the hot pieces
#   --quillon PATH  measure this binary; with --no-build nothing is built
#   --data-dir DIR  where inputs and the output file go (default bench/data)
#   --no-script     leave out the Python script (it is slow on large inputs)
set -euo pipefail

BenchDir=$(cd "$(dirname "$0")" && pwd)
Root=$(dirname "$BenchDir")
BuildDir="$Root/build-bench"
Sizes=20,200
Repeat=3
Micro=0
Build=1
Quillon=""
DataDir="$BenchDir/data"
Extra=()

while [ $# -gt 0 ]; do
  case "$1" in
  --large) Sizes=20,200,2000 ;;
  --sizes) Sizes="$2"; shift ;;
  --repeat) Repeat="$2"; shift ;;
  --micro) Micro=1 ;;
  --quillon) Quillon="$2"; shift ;;
  --no-build) Build=0 ;;
  --data-dir) DataDir="$2"; shift ;;
  --no-script) Extra+=(--no-script) ;;
  --best) Extra+=(--best) ;;
  --worst) Extra+=(--worst) ;;
  --layouts) Extra+=(--layouts "$2"); shift ;;
  -h | --help) sed -n '2,23p' "$0"; exit 0 ;;
  *) echo "run.sh: unknown option $1" >&2; exit 2 ;;
  esac
  shift
done

if [ "$Build" = 1 ]; then
  Targets=(--target quillon)
  [ "$Micro" = 1 ] && Targets+=(--target quillon_micro_bench)
  BenchFlag=OFF
  [ "$Micro" = 1 ] && BenchFlag=ON
  cmake -S "$Root" -B "$BuildDir" -DCMAKE_BUILD_TYPE=Release -DQUILLON_TESTS=OFF \
    -DQUILLON_BENCH=$BenchFlag >/dev/null
  cmake --build "$BuildDir" -j2 "${Targets[@]}" >/dev/null
  [ -n "$Quillon" ] || Quillon="$BuildDir/quillon"
fi
if [ -z "$Quillon" ]; then
  echo "run.sh: --no-build needs --quillon PATH" >&2
  exit 2
fi
if [ ! -x "$Quillon" ]; then
  echo "run.sh: $Quillon is not an executable" >&2
  exit 2
fi

Python=/usr/bin/python3
[ -x "$Python" ] || Python=python3
"$Python" "$BenchDir/bench.py" --quillon "$Quillon" --data-dir "$DataDir" --sizes "$Sizes" \
  --repeat "$Repeat" "${Extra[@]}"

if [ "$Micro" = 1 ]; then
  if [ "$Build" = 1 ]; then
    "$BuildDir/bench/quillon_micro_bench" --benchmark_min_time=0.2
  else
    echo "run.sh: --micro needs a build" >&2
  fi
fi
