#!/usr/bin/env bash
# Installs what is missing, then configures, builds and tests every
# configuration, each through its CMake workflow preset (CMakePresets.json;
# `cmake --workflow --preset CONFIG` does the same for one):
#
#   native    build/native    RelWithDebInfo
#   sanitize  build/sanitize  Debug, AddressSanitizer + UndefinedBehaviorSanitizer
#   thread    build/thread    RelWithDebInfo, ThreadSanitizer
#   win32     build/win32     32-bit Windows (MinGW-w64), tests under Wine
#   win64     build/win64     64-bit Windows (MinGW-w64), tests under Wine
#                             (one Wine prefix, build/wine-prefix, for both;
#                             the CTest fixture "wine" readies it before the
#                             first test and ends its wineserver after the
#                             last; a test that fails is run once more: Wine
#                             now and then loses a program at its start or
#                             exit, silently or with a segmentation fault
#                             after the test passed; a real failure fails
#                             twice)
#   fuzz      build/fuzz      clang, AddressSanitizer + UndefinedBehaviorSanitizer
#                             and libFuzzer: the tests, then every fuzz target
#                             for 60 seconds (scripts/fuzz.sh)
#
#   bash scripts/test-all.sh [CONFIG...]     (default: all six, in that order)
#
# Stops at the first failure with a non-zero exit; a summary is printed
# either way.  Builds take ninja's number of jobs and tests run as many at a
# time as the machine has processors, unless CMAKE_BUILD_PARALLEL_LEVEL or
# CTEST_PARALLEL_LEVEL say otherwise.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

all_configs=(native sanitize thread win32 win64 fuzz)
if [ $# -gt 0 ]; then
  configs=("$@")
else
  configs=("${all_configs[@]}")
fi
for c in "${configs[@]}"; do
  case " ${all_configs[*]} " in
    *" $c "*) ;;
    *) echo "test-all: unknown configuration '$c' (choose from: ${all_configs[*]})" >&2; exit 2 ;;
  esac
done

summary=()
current=""
started_at=$(date +%s)

print_summary() {
  local status=$?
  echo
  echo "==== summary ===="
  local line
  for line in "${summary[@]+"${summary[@]}"}"; do
    echo "$line"
  done
  if [ -n "$current" ]; then
    echo "$current: FAILED"
  fi
  echo "total: $(( $(date +%s) - started_at ))s"
  local failed=0
  [ "$status" = 0 ] || failed=1
  echo "configurations: ${#summary[@]} passed, $failed failed"
}
trap print_summary EXIT

step() {
  echo
  echo "==== $* ===="
}

needs_windows=0
for c in "${configs[@]}"; do
  case "$c" in win32|win64) needs_windows=1 ;; esac
done

current=install-deps
step "installing dependencies"
if [ "$needs_windows" = 1 ]; then
  bash scripts/install-deps.sh
else
  bash scripts/install-deps.sh --native
fi
current=""

export CTEST_PARALLEL_LEVEL=${CTEST_PARALLEL_LEVEL:-$(nproc)}

# The sanitizer options, the Wine prefix and the retry of a failed Windows
# test are set by the test presets.

for c in "${configs[@]}"; do
  current=$c
  t0=$(date +%s)

  step "$c: configure, build and test"
  cmake --workflow --preset "$c"
  t_tested=$(date +%s)
  timing="configure, build and tests $((t_tested - t0))s"

  if [ "$c" = fuzz ]; then
    step "fuzz: every target for 60 seconds"
    bash scripts/fuzz.sh --seconds 60
    timing="$timing, fuzzing $(( $(date +%s) - t_tested ))s"
  fi

  summary+=("$c: passed ($timing)")
  current=""
done
