#!/usr/bin/env bash
# Builds the libFuzzer targets (clang++, AddressSanitizer + UndefinedBehaviorSanitizer) and runs
# each for SECONDS, one after the other, starting from its seed corpus and dictionary.
# Prints inputs tried, coverage and findings per target; exits 1 on any finding.
#   tests/fuzz/run_fuzzers.sh SECONDS [KEEP_DIR]
# KEEP_DIR, when given, receives each target's grown corpus, merged (KEEP_DIR/<target>/), so a
# longer run can start where the last one stopped. Findings are copied to
# BUILD/fuzz-findings/<target>/; add each, once fixed, to tests/fuzz/corpus/<target>/.
# Environment: QUILLON_FUZZ_BUILD (build directory, default build-fuzz), QUILLON_FUZZ_TARGETS
# (space-separated subset), QUILLON_FUZZ_JOBS (build jobs, default 2), QUILLON_FUZZ_SEED (a fixed
# random seed, so that a run can be repeated; default: a new one each run).
set -u
Seconds=${1:-}
Keep=${2:-}
if ! [[ $Seconds =~ ^[0-9]+$ ]] || [ "$Seconds" -lt 1 ]; then
  echo "usage: $0 SECONDS [KEEP_DIR]" >&2
  exit 2
fi
Root=$(cd "$(dirname "$0")/../.." && pwd)
Build=${QUILLON_FUZZ_BUILD:-$Root/build-fuzz}
read -r -a Targets <<<"${QUILLON_FUZZ_TARGETS:-csv_parser xml_escape transcode options conversion block_converter}"

echo "== building the fuzz targets in $Build"
mkdir -p "$Build"
if ! CXX=${CXX_FUZZ:-clang++} cmake -S "$Root" -B "$Build" -DQUILLON_FUZZ=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$Build/configure.log" 2>&1; then
  cat "$Build/configure.log"
  exit 1
fi
if ! cmake --build "$Build" --target fuzzers -j "${QUILLON_FUZZ_JOBS:-2}" >"$Build/build.log" 2>&1; then
  tail -50 "$Build/build.log"
  exit 1
fi

Work=$(mktemp -d)
trap 'rm -rf "$Work"' EXIT
# the targets' scratch files, left behind by a target that stops on a finding, go with it
mkdir -p "$Work/tmp"
export TMPDIR="$Work/tmp"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
Failed=0
Summary=()
for T in "${Targets[@]}"; do
  Bin=$Build/tests/fuzz/fuzz_$T
  if [ ! -x "$Bin" ]; then
    echo "== $T: not built" >&2
    Failed=1
    continue
  fi
  Corpus=$Work/$T/corpus
  Findings=$Work/$T/findings
  mkdir -p "$Corpus" "$Findings"
  Dict=()
  [ -f "$Root/tests/fuzz/dict/$T.dict" ] && Dict=(-dict="$Root/tests/fuzz/dict/$T.dict")
  echo "== fuzzing $T for $Seconds s"
  "$Bin" -max_total_time="$Seconds" -timeout=30 -rss_limit_mb=2048 -max_len=4096 \
    -print_final_stats=1 -artifact_prefix="$Findings/" "${Dict[@]}" \
    ${QUILLON_FUZZ_SEED:+-seed="$QUILLON_FUZZ_SEED"} \
    "$Corpus" "$Root/tests/fuzz/corpus/$T" >"$Work/$T.log" 2>&1
  Status=$?
  Tried=$(awk '/stat::number_of_executed_units/ {print $2}' "$Work/$T.log" | tail -1)
  Coverage=$(grep -oE 'cov: [0-9]+ ft: [0-9]+' "$Work/$T.log" | tail -1)
  Found=$(find "$Findings" -type f | wc -l)
  if [ "$Status" -ne 0 ] || [ "$Found" -gt 0 ]; then
    Failed=1
    mkdir -p "$Build/fuzz-findings/$T"
    cp "$Findings"/* "$Build/fuzz-findings/$T/" 2>/dev/null
    echo "!! $T: exit status $Status, $Found finding(s), kept in $Build/fuzz-findings/$T:"
    ls "$Build/fuzz-findings/$T"
    grep -vE '^#[0-9]+|^(INFO|MERGE|Dictionary|Loaded|\*\*\*)' "$Work/$T.log" | tail -60
  fi
  if [ -n "$Keep" ]; then
    mkdir -p "$Keep/$T"
    "$Bin" -merge=1 -max_len=4096 "$Keep/$T" "$Corpus" >"$Work/$T.merge.log" 2>&1 ||
      echo "!! $T: merging into $Keep/$T failed" >&2
  fi
  Summary+=("$(printf '%-12s %6s s  inputs tried %10s  %-22s  corpus %5s  findings %s' "$T" \
    "$Seconds" "${Tried:-?}" "${Coverage:-cov: ?}" "$(find "$Corpus" -type f | wc -l)" "$Found")")
done

echo "== fuzz summary"
printf '%s\n' "${Summary[@]}"
if [ "$Failed" -ne 0 ]; then
  echo "fuzzing found problems"
  exit 1
fi
echo "no findings"
