#!/usr/bin/env bash
# Installs what is missing, builds, and converts the sample text job
# examples/sample.txt with the bundled sample tables; shows the input and the
# tagged output as UTF-8.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C build -j"$(nproc)" velkan_cli sample_tables >/dev/null
out=${1:-build/demo.txt}
echo "== examples/sample.txt (the text job, Shift_JIS, shown as UTF-8) =="
iconv -f CP932 -t UTF-8 examples/sample.txt | tr -d '\r'
echo
# No --root: the bundled tables under build/root are used, and the format
# store goes to the user's state directory.
build/bin/velkan convert --define build/root/sample.def examples/sample.txt -o "$out"
echo "== $out (Shift_JIS, shown as UTF-8) =="
iconv -f CP932 -t UTF-8 "$out" | tr -d '\r'
