#!/usr/bin/env bash
# Makes the seed corpora of the fuzz targets from the golden cases and the
# fuzz fixture: fuzz/corpus/<target>/... (not kept in git).
#   fuzz/make_corpora.sh [BUILD_DIR]     (default build-fuzz)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-fuzz}
if [[ ! -x "$build/bin/fuzz_seeds" ]]; then
  echo "no $build/bin/fuzz_seeds: build with -DVELKAN_FUZZ=ON first (see fuzz/README.md)" >&2
  exit 1
fi
mkdir -p fuzz/corpus
ASAN_OPTIONS=detect_leaks=0 "$build/bin/fuzz_seeds" tests/cases fuzz/corpus
# A target without seeds of its own starts from an empty input.
for f in "$build"/bin/*_fuzzer; do
  mkdir -p "fuzz/corpus/$(basename "$f")"
done
