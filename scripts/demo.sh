#!/usr/bin/env bash
# Installs what is missing, builds, and converts the demo job under examples/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C build -j"$(nproc)" velkan_cli
out=${1:-build/demo.txt}
build/bin/velkan convert --root examples/root examples/demo.zan -o "$out"
echo "== $out (Shift_JIS, shown as UTF-8) =="
iconv -f CP932 -t UTF-8 "$out"
echo
