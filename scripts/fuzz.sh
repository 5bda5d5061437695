#!/usr/bin/env bash
# Runs every fuzz target of the fuzz build (cmake --preset fuzz; see
# docs/reliability.md), one after the other, for a time or a number of runs:
#
#   bash scripts/fuzz.sh [--seconds N | --runs N] [TARGET...]
#
# (default: 60 seconds each, every target in build/fuzz/bin).  Each target
# starts from its seeds in fuzz/corpus/<target>/ and the inputs of
# fuzz/regressions/<target>/, and keeps what it adds in
# build/fuzz/corpus/<target>/.  An input that crashes, trips a sanitizer, hangs
# for 10 seconds or shows a finding is written to build/fuzz/findings/<target>/
# and the script fails at the end; once the fault is mended, the input goes
# into fuzz/regressions/<target>/, where the test suite replays it.  Each
# target's log is build/fuzz/logs/<target>.log; a line per target sums it up.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$root/build/fuzz
limit=(-max_total_time=60)
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) limit=(-max_total_time="$2"); shift 2 ;;
    --runs) limit=(-runs="$2"); shift 2 ;;
    -h|--help) sed -n '2,17p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    -*) echo "fuzz: unknown option $1" >&2; exit 2 ;;
    *) targets+=("$1"); shift ;;
  esac
done
if [ ${#targets[@]} -eq 0 ]; then
  for program in "$build"/bin/qv_fuzz_*; do
    [ -x "$program" ] && targets+=("${program##*/qv_fuzz_}")
  done
fi
if [ ${#targets[@]} -eq 0 ]; then
  echo "fuzz: no fuzz targets in $build/bin (cmake --preset fuzz && cmake --build --preset fuzz)" >&2
  exit 2
fi

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:halt_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1:abort_on_error=1}

failed=()
summary=()
for t in "${targets[@]}"; do
  program=$build/bin/qv_fuzz_$t
  [ -x "$program" ] || { echo "fuzz: no target $t ($program)" >&2; exit 2; }
  rm -rf "$build/findings/$t"
  mkdir -p "$build/corpus/$t" "$build/findings/$t" "$build/logs" "$root/fuzz/regressions/$t"
  log=$build/logs/$t.log
  echo "fuzz: $t (${limit[*]})"
  status=0
  # From the build directory: the module is found beside the program.
  (cd "$build/bin" && "$program" "${limit[@]}" -timeout=10 -print_final_stats=1 \
     -artifact_prefix="$build/findings/$t/" \
     "$build/corpus/$t" "$root/fuzz/corpus/$t" "$root/fuzz/regressions/$t") >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  last=$(grep -E '^#[0-9]+' "$log" | tail -1 || true)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
  corp=$(sed -n 's/.* corp: \([0-9]*\/[0-9]*[a-zA-Z]*\).*/\1/p' <<<"$last")
  findings=$(find "$build/findings/$t" -type f | wc -l)
  line="$t: ${runs:-?} runs, cov ${cov:-?}, ft ${ft:-?}, corpus ${corp:-?}, findings $findings"
  if [ "$status" != 0 ] || [ "$findings" != 0 ]; then
    line="$line: FAILED (exit $status; see $log)"
    failed+=("$t")
    grep -E 'qvfuzz: finding|ERROR|SUMMARY|runtime error' "$log" | head -5 || true
  fi
  summary+=("$line")
  echo "$line"
done

echo
printf '%s\n' "${summary[@]}"
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: findings in: ${failed[*]}" >&2
  exit 1
fi
