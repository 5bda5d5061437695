#!/usr/bin/env bash
# Builds QV Math Node for this machine (build/native) and runs the demo: the
# built-in demo network rendered, its noisy channel plotted and its four
# viewers' previews drawn, into qvhost-demo/.
#
#   bash scripts/quickstart.sh [OUTPUT DIRECTORY]
#
# Installs the native build's packages first when any is missing (that step
# needs root or sudo).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
out=${1:-qvhost-demo}

if ! bash scripts/install-deps.sh --native; then
  echo >&2
  echo "quickstart: the build's packages (cmake, g++, ninja, GoogleTest, ...) are missing." >&2
  echo "quickstart: install them as root, then run quickstart again:" >&2
  echo "    sudo bash scripts/install-deps.sh --native" >&2
  exit 1
fi

echo "==== building build/native ===="
cmake --preset native
cmake --build --preset native

qvhost=build/native/bin/qvhost
echo
echo "==== $qvhost demo --out $out ===="
"$qvhost" demo --out "$out" --force
