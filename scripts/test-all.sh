#!/usr/bin/env bash
# Installs what is missing, then builds every configuration and runs every
# test suite, each through its CMake preset (CMakePresets.json):
#
#   native    build/native    RelWithDebInfo
#   sanitize  build/sanitize  Debug, AddressSanitizer + UndefinedBehaviorSanitizer
#   thread    build/thread    RelWithDebInfo, ThreadSanitizer
#   win32     build/win32     32-bit Windows (MinGW-w64), tests under Wine
#   win64     build/win64     64-bit Windows (MinGW-w64), tests under Wine
#                             (a test that fails is run once more: Wine now
#                             and then loses a program at its start or exit,
#                             silently or with a segmentation fault after the
#                             test passed; a real failure fails twice)
#   fuzz      build/fuzz      clang, AddressSanitizer + UndefinedBehaviorSanitizer
#                             and libFuzzer: the tests, then every fuzz target
#                             for 60 seconds (scripts/fuzz.sh)
#
#   bash scripts/test-all.sh [CONFIG...]     (default: all six, in that order)
#
# Stops at the first failure with a non-zero exit; a summary is printed
# either way.
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

# One 64-bit Wine prefix serves both Windows configurations.
wine_prefix=$root/build/wine-prefix
export QV_WINEPREFIX=$wine_prefix
stop_wine() {
  if [ -d "$wine_prefix" ]; then
    bash cmake/wine-run.sh --prefix "$wine_prefix" --stop || true
  fi
}

# The sanitizer options and the Wine prefix of the tests are set by the
# test presets.

for c in "${configs[@]}"; do
  current=$c
  t0=$(date +%s)

  step "$c: configure"
  cmake --preset "$c"
  step "$c: build"
  cmake --build --preset "$c"
  t_built=$(date +%s)

  if [ "$c" = win32 ] || [ "$c" = win64 ]; then
    step "$c: preparing Wine"
    bash cmake/wine-run.sh --prefix "$wine_prefix" --init
  fi
  step "$c: test"
  ctest --preset "$c"
  if [ "$c" = win32 ] || [ "$c" = win64 ]; then
    stop_wine
  fi
  if [ "$c" = fuzz ]; then
    step "fuzz: every target for 60 seconds"
    bash scripts/fuzz.sh --seconds 60
  fi

  t1=$(date +%s)
  summary+=("$c: passed (build $((t_built - t0))s, tests $((t1 - t_built))s)")
  current=""
done
