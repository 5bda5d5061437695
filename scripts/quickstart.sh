#!/usr/bin/env bash
# Builds QV Math Node for this machine (build/native) and shows the reference
# host at work: the list of nodes, then one node evaluated.
#
#   bash scripts/quickstart.sh
#
# Installs the native build's packages first when any is missing (that step
# needs root or sudo).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

if ! bash scripts/install-deps.sh --native; then
  echo >&2
  echo "quickstart: the build's packages (cmake, g++, ninja, GoogleTest, ...) are missing." >&2
  echo "quickstart: install them as root, then run quickstart again:" >&2
  echo "    sudo bash scripts/install-deps.sh --native" >&2
  exit 1
fi

echo "==== building build/native ===="
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build/native --parallel 2

qvhost=build/native/bin/qvhost
echo
echo "==== $qvhost nodes ===="
"$qvhost" nodes
echo
echo "==== $qvhost eval QvMs_POW In=2 Pow=10 ===="
"$qvhost" eval QvMs_POW In=2 Pow=10
