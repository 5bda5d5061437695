#!/usr/bin/env bash
# Runs a Windows program under Wine, quietly, in a Wine prefix of the build's
# own, and exits with the program's exit code.  CMake uses it as the
# cross-compiling emulator, so `ctest` runs the Windows test programs here.
#
#   wine-run.sh [--prefix DIR] PROGRAM.exe [ARGS...]
#   wine-run.sh [--prefix DIR] --init      (only create the prefix)
#   wine-run.sh [--prefix DIR] --stop      (end the prefix's wineserver)
#
# Prefix, first found: $QV_WINEPREFIX, --prefix DIR, then "<dir>/.wine" where
# <dir> is the program's directory, or its parent when that is a "bin"
# directory (the build tree).  The prefix is created on first use (64-bit, so
# it runs 32-bit and 64-bit programs alike); concurrent callers wait for it.
set -euo pipefail

die() { echo "wine-run: $*" >&2; exit 125; }

prefix_arg=""
mode=run
while [ $# -gt 0 ]; do
  case "$1" in
    --prefix) [ $# -ge 2 ] || die "--prefix needs a directory"; prefix_arg=$2; shift 2 ;;
    --prefix=*) prefix_arg=${1#--prefix=}; shift ;;
    --init) mode=init; shift ;;
    --stop) mode=stop; shift ;;
    --) shift; break ;;
    *) break ;;
  esac
done

if [ "$mode" = run ]; then
  [ $# -ge 1 ] || die "usage: wine-run.sh [--prefix DIR] PROGRAM.exe [ARGS...]"
  program=$1
  shift
  [ -f "$program" ] || die "no such program: $program"
fi

# ---- the prefix -----------------------------------------------------------
if [ -n "${QV_WINEPREFIX:-}" ]; then
  prefix=$QV_WINEPREFIX
elif [ -n "$prefix_arg" ]; then
  prefix=$prefix_arg
elif [ "$mode" = run ]; then
  program_dir=$(cd "$(dirname "$program")" && pwd)
  if [ "$(basename "$program_dir")" = bin ]; then
    prefix=$(dirname "$program_dir")/.wine
  else
    prefix=$program_dir/.wine
  fi
else
  die "--init and --stop need --prefix DIR or QV_WINEPREFIX"
fi
mkdir -p "$(dirname "$prefix")"
prefix=$(cd "$(dirname "$prefix")" && pwd)/$(basename "$prefix")

# ---- Wine's environment: no display, no messages, no add-on installers ----
export WINEPREFIX=$prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
export DISPLAY=
unset WAYLAND_DISPLAY
# Where 32-bit Linux programs run through qemu-i386 (kernels without 32-bit
# support; see scripts/install-deps.sh), Wine's 32-bit side needs a 2 GiB
# guest address space plus room for the shared user data page.  Ignored when
# 32-bit programs run natively.
export QEMU_RESERVED_VA=${QEMU_RESERVED_VA:-0x81000000}

# ---- Wine's programs --------------------------------------------------------
find_first() {
  local candidate
  for candidate in "$@"; do
    case "$candidate" in
      /*) [ -x "$candidate" ] && { echo "$candidate"; return 0; } ;;
      *) command -v "$candidate" >/dev/null 2>&1 && { command -v "$candidate"; return 0; } ;;
    esac
  done
  return 1
}
wine64_loader=$(find_first /usr/lib/wine/wine64 /usr/lib64/wine/wine64 wine64 || true)
wine32_loader=$(find_first /usr/lib/wine/wine /usr/lib/i386-linux-gnu/wine/wine wine || true)
wineserver=$(find_first /usr/lib/wine/wineserver64 /usr/lib/wine/wineserver wineserver || true)
[ -n "$wine64_loader$wine32_loader" ] || die "Wine is not installed (run scripts/install-deps.sh)"

# ---- stop -------------------------------------------------------------------
if [ "$mode" = stop ]; then
  if [ -d "$prefix" ] && [ -n "$wineserver" ]; then
    "$wineserver" -k >/dev/null 2>&1 || true
    "$wineserver" -w >/dev/null 2>&1 || true
  fi
  exit 0
fi

# ---- create the prefix once -----------------------------------------------
# A lock keeps parallel tests from booting the same prefix twice; the stamp
# is written only after a complete boot.
stamp=$prefix/.qv-prefix-ready
if [ ! -f "$stamp" ]; then
  exec 9>"$prefix.lock"
  flock 9
  if [ ! -f "$stamp" ]; then
    rm -rf "$prefix"
    mkdir -p "$prefix"
    boot_loader=${wine64_loader:-$wine32_loader}
    if [ -z "$wine64_loader" ]; then
      export WINEARCH=win32
    fi
    if ! "$boot_loader" wineboot --init >"$prefix.boot.log" 2>&1 </dev/null; then
      die "could not create the Wine prefix $prefix (log: $prefix.boot.log)"
    fi
    [ -z "$wineserver" ] || "$wineserver" -w >/dev/null 2>&1 || true
    touch "$stamp"
  fi
  exec 9>&-
fi

[ "$mode" = init ] && exit 0

# ---- pick the loader matching the program ------------------------------------
# PE machine field: 0x14c (i386) or 0x8664 (x86-64).
pe_machine() {
  local lfanew
  lfanew=$(od -An -t u4 -j 60 -N 4 "$1" 2>/dev/null | tr -d ' ')
  [ -n "$lfanew" ] || return 0
  od -An -t x2 -j $((lfanew + 4)) -N 2 "$1" 2>/dev/null | tr -d ' '
}
case "$(pe_machine "$program")" in
  8664) loader=${wine64_loader:-$wine32_loader} ;;
  014c)
    loader=${wine32_loader:-$wine64_loader}
    # qemu-i386's user emulation keeps one descriptor table for all of a
    # program's threads, so a thread that takes a signal after another one
    # has started comes back with that thread's thread-local storage; Wine's
    # 32-bit side, which takes signals as a matter of course, then crashes or
    # loses its server connection.  Where 32-bit programs run through qemu
    # (kernels without 32-bit support), leave out the tests whose programs
    # fail that way; the win64 build and every native one run them all.
    if [ -f /proc/sys/fs/binfmt_misc/qemu-i386 ] && grep -q '^enabled' /proc/sys/fs/binfmt_misc/qemu-i386 2>/dev/null; then
      not_under_qemu=(
        'Threads.*'                                    # renders on several threads
        'Render.ThreadsGiveTheSameValues'              # renders on 2 and 4 threads
        'AtomicFile.ThreadsWriteBesideEachOther'       # writes from 4 threads at once
        'Reference.CommittedReferenceIsWhatDocWrites'  # its command thread crashes at its start
        'HostEras.QvhostPlaysTheHostOf2020'            # one command thread after another, now and then
      )
      export GTEST_FILTER=${GTEST_FILTER:-*-$(IFS=:; echo "${not_under_qemu[*]}")}
    fi
    ;;
  *) loader=${wine64_loader:-$wine32_loader} ;;
esac

# Start the prefix's wineserver detached from our output streams, so that
# whoever reads this script's output (ctest) is not kept waiting for it.
if [ -n "$wineserver" ]; then
  "$wineserver" -p3 </dev/null >/dev/null 2>&1 || true
fi

set +e
"$loader" "$program" "$@"
status=$?
set -e
exit "$status"
