#!/usr/bin/env bash
# Installs what building and testing QV Math Node needs on Debian 12, and
# nothing when it is all there already.  Run as root (or with sudo on hand).
#
#   bash scripts/install-deps.sh            everything: native, sanitizer, fuzz
#                                            and Windows builds, Wine to run them
#   bash scripts/install-deps.sh --native   only what the Linux builds need
#
# On kernels that cannot run 32-bit x86 Linux programs (Wine's 32-bit side
# is one), it also sets up qemu-i386 user emulation for them through
# binfmt_misc.  That setting lasts until the machine restarts; running this
# script again restores it.
set -euo pipefail

native_only=0
for arg in "$@"; do
  case "$arg" in
    --native) native_only=1 ;;
    -h|--help) sed -n '2,13p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "install-deps: unknown argument: $arg" >&2; exit 2 ;;
  esac
done

native_packages=(
  cmake g++ ninja-build
  libgtest-dev libgmock-dev googletest
  libbenchmark-dev libcli11-dev libtomlplusplus-dev libtbb-dev libopenexr-dev
  libcairo2-dev fonts-dejavu-core pkgconf zlib1g-dev
  clang libclang-rt-14-dev llvm
)
windows_packages=(
  g++-mingw-w64-i686 g++-mingw-w64-x86-64
  wine wine64 wine32:i386
)
packages=("${native_packages[@]}")
if [ "$native_only" = 0 ]; then
  packages+=("${windows_packages[@]}")
fi

log() { echo "install-deps: $*"; }

# Runs a command as root: directly, or through sudo.
as_root() {
  if [ "$(id -u)" = 0 ]; then
    "$@"
  elif command -v sudo >/dev/null 2>&1; then
    sudo "$@"
  else
    echo "install-deps: root is needed for: $*" >&2
    echo "install-deps: run this script as root: sudo bash scripts/install-deps.sh" >&2
    exit 1
  fi
}

is_installed() {
  [ "$(dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null)" = installed ]
}

# Runs apt-get as root, up to four times, thirty seconds apart: while a
# mirror is being synced, an update or a download fails for a while.
apt_get() {
  local attempt
  for attempt in 1 2 3 4; do
    as_root env DEBIAN_FRONTEND=noninteractive apt-get "$@" && return 0
    [ "$attempt" = 4 ] && break
    log "apt-get failed (attempt $attempt of 4); trying again in 30 s"
    sleep 30
  done
  return 1
}

# The release this machine runs (bookworm), or nothing when it does not say.
release_codename() {
  ( . /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-}" )
}

apt_updated=0
prefer_release=()
apt_install() {
  local apt_opts=(-y -q -o DPkg::Lock::Timeout=900 -o Dpkg::Use-Pty=0)
  if [ "$apt_updated" = 0 ]; then
    log "apt-get update"
    if ! apt_get -q -o DPkg::Lock::Timeout=900 update; then
      log "some package lists could not be fetched (above); going on with those that were"
      # A suite whose list is missing for one architecture (a mirror serving
      # a stale i386 list of the security suite, say) offers amd64 and i386
      # different versions of the same library, which Wine's 32-bit side
      # needs equal.  The release's own versions are there for both.
      local codename
      codename=$(release_codename)
      if [ -n "$codename" ]; then
        log "preferring $codename's own versions, which every architecture's list has"
        prefer_release=(-o "APT::Default-Release=$codename")
      fi
    fi
    apt_updated=1
  fi
  log "apt-get install $*"
  apt_get install "${apt_opts[@]}" "${prefer_release[@]}" --no-install-recommends "$@"
}

# ---- packages -----------------------------------------------------------------
missing=()
for p in "${packages[@]}"; do
  is_installed "$p" || missing+=("$p")
done

if [ "${#missing[@]}" -gt 0 ]; then
  needs_i386=0
  for p in "${missing[@]}"; do
    case "$p" in *:i386) needs_i386=1 ;; esac
  done
  if [ "$needs_i386" = 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    log "enabling the i386 architecture"
    as_root dpkg --add-architecture i386
    apt_updated=0
  fi
  apt_install "${missing[@]}"
  for p in "${missing[@]}"; do
    is_installed "$p" || { echo "install-deps: $p did not install" >&2; exit 1; }
  done
else
  log "all packages present"
fi

[ "$native_only" = 1 ] && exit 0

# ---- 32-bit x86 programs ----------------------------------------------------------
# Wine runs 32-bit Windows programs with its 32-bit loader, an i386 Linux
# program.  Some kernels (virtual machines without IA-32 emulation) cannot
# execute those; qemu-i386 then runs them, registered with binfmt_misc.
probe=/usr/lib/wine/wine
if [ -x "$probe" ] && ! "$probe" --version >/dev/null 2>&1; then
  log "this kernel does not run 32-bit x86 programs: setting up qemu-i386"
  is_installed qemu-user-static || apt_install qemu-user-static
  qemu=/usr/bin/qemu-i386-static
  [ -x "$qemu" ] || { echo "install-deps: $qemu is missing" >&2; exit 1; }
  binfmt=/proc/sys/fs/binfmt_misc
  if [ ! -e "$binfmt/register" ]; then
    as_root mount -t binfmt_misc binfmt_misc "$binfmt"
  fi
  if [ -e "$binfmt/qemu-i386" ]; then
    as_root sh -c "echo 1 > $binfmt/qemu-i386"
  else
    # ELF32, little-endian, ET_EXEC or ET_DYN, EM_386; 'F' opens qemu now, so
    # the handler works from any mount namespace.
    magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
    mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    as_root sh -c "printf '%s' ':qemu-i386:M::$magic:$mask:$qemu:F' > $binfmt/register"
  fi
  if ! "$probe" --version >/dev/null 2>&1; then
    echo "install-deps: 32-bit x86 programs still do not run; Windows 32-bit tests cannot run" >&2
    exit 1
  fi
  log "32-bit x86 programs run through qemu-i386"
fi
