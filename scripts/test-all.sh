#!/usr/bin/env bash
# Installs what is missing, then builds every configuration and runs every
# test suite:
#
#   native    build/native    RelWithDebInfo
#   sanitize  build/sanitize  Debug, AddressSanitizer + UndefinedBehaviorSanitizer
#   win32     build/win32     32-bit Windows (MinGW-w64), tests under Wine
#   win64     build/win64     64-bit Windows (MinGW-w64), tests under Wine
#
#   bash scripts/test-all.sh [CONFIG...]     (default: all four, in that order)
#
# Stops at the first failure with a non-zero exit; a summary is printed
# either way.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

all_configs=(native sanitize thread win32 win64)
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

jobs=2
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

# Sanitizer reports end the run with a stack trace.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0:halt_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}

for c in "${configs[@]}"; do
  current=$c
  t0=$(date +%s)
  dir=build/$c
  args=(-G Ninja)
  case "$c" in
    native)   args+=(-DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
    sanitize) args+=(-DCMAKE_BUILD_TYPE=Debug "-DQV_SANITIZE=address,undefined") ;;
    thread)   args+=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV_SANITIZE=thread) ;;
    win32)    args+=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-i686.cmake") ;;
    win64)    args+=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-x86_64.cmake") ;;
  esac

  step "$c: configure"
  cmake -S . -B "$dir" "${args[@]}"
  step "$c: build"
  cmake --build "$dir" --parallel "$jobs"
  t_built=$(date +%s)

  if [ "$c" = win32 ] || [ "$c" = win64 ]; then
    step "$c: preparing Wine"
    bash cmake/wine-run.sh --prefix "$wine_prefix" --init
  fi
  step "$c: test"
  ctest --test-dir "$dir" --output-on-failure --parallel "$jobs"
  if [ "$c" = win32 ] || [ "$c" = win64 ]; then
    stop_wine
  fi

  t1=$(date +%s)
  summary+=("$c: passed (build $((t_built - t0))s, tests $((t1 - t_built))s)")
  current=""
done
