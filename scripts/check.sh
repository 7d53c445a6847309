#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite twice:
# once normally and once under AddressSanitizer + UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)

echo "== build (release with assertions) =="
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C build -j"$jobs"
echo "== tests =="
(cd build && ctest --output-on-failure -j"$jobs")

echo "== build (AddressSanitizer + UndefinedBehaviorSanitizer) =="
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELKAN_SANITIZE=ON >/dev/null
ninja -C build-asan -j"$jobs"
echo "== tests under sanitizers =="
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j"$jobs")

echo "== benchmark (a short run: figures only, nothing is asserted) =="
bench/run.sh -b build -m 2 -r 2 || echo "(the short benchmark run did not finish; the tests above decide)"
