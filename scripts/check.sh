#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite twice:
# once normally and once under AddressSanitizer + UndefinedBehaviorSanitizer;
# between the two, installs the build and uses the installation with the
# build tree out of reach, and makes and checks the Debian packages
# (scripts/check-install.sh); then, where clang is present, every fuzz target
# for a short time.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)

echo "== build (release with assertions) =="
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELKAN_WERROR=ON >/dev/null
ninja -C build -j"$jobs"
echo "== tests =="
(cd build && ctest --output-on-failure -j"$jobs")

echo "== installation: the installed velkan with the build tree out of reach, the packages =="
scripts/check-install.sh --hide-build --package build

echo "== build (AddressSanitizer + UndefinedBehaviorSanitizer) =="
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELKAN_SANITIZE=ON >/dev/null
ninja -C build-asan -j"$jobs"
echo "== tests under sanitizers =="
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j"$jobs")

echo "== benchmark (a short run: figures only, nothing is asserted) =="
bench/run.sh -b build -m 2 -r 2 || echo "(the short benchmark run did not finish or one of its output checks failed; the tests above decide)"

# A short run of every fuzz target (fuzz/README.md); it needs clang with
# libFuzzer. VELKAN_FUZZ_SECONDS sets the time per target.
if command -v clang++ >/dev/null 2>&1; then
  echo "== fuzz targets (clang, libFuzzer, ${VELKAN_FUZZ_SECONDS:-20} s each) =="
  cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DVELKAN_FUZZ=ON -DVELKAN_BUILD_TESTS=OFF -DVELKAN_BUILD_GUI=OFF >/dev/null
  ninja -C build-fuzz -j"$jobs"
  fuzz/make_corpora.sh build-fuzz
  fuzz/run_all.sh "${VELKAN_FUZZ_SECONDS:-20}" build-fuzz
else
  echo "== fuzz targets skipped: no clang++ =="
fi
