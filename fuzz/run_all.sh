#!/usr/bin/env bash
# Runs every fuzz target for SECONDS each (default 20) over its corpus and
# prints one line of figures per target; a target that finds something (its
# input is written to fuzz/findings/) is reported and the script exits 1
# after the others have run.
#   fuzz/run_all.sh [SECONDS] [BUILD_DIR] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
build=${2:-build-fuzz}
shift $(( $# > 2 ? 2 : $# )) || true
targets=("$@")
if [[ ${#targets[@]} -eq 0 ]]; then
  for f in "$build"/bin/*_fuzzer; do targets+=("$(basename "$f")"); done
fi
[[ -d fuzz/corpus ]] || fuzz/make_corpora.sh "$build"
mkdir -p fuzz/findings
# The fixture's files live on tmpfs when there is one; a smaller quarantine
# keeps the sanitizer's memory (and page faults) down between runs.
export TMPDIR=${TMPDIR:-$( [[ -d /dev/shm ]] && echo /dev/shm || echo /tmp )}
export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=16}
status=0
for t in "${targets[@]}"; do
  mkdir -p "fuzz/corpus/$t"
  # Inputs that once found something run first on every run, beside the corpus.
  extra=()
  [[ -d "fuzz/regressions/$t" ]] && extra=("fuzz/regressions/$t")
  log=$(mktemp)
  if "$build/bin/$t" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 -print_final_stats=1 \
       -artifact_prefix=fuzz/findings/"$t"- "fuzz/corpus/$t" "${extra[@]}" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    rss=$(sed -n 's/^stat::peak_rss_mb: *//p' "$log")
    echo "$t: $runs runs in ${seconds} s ($rate/s), peak RSS ${rss} MB, no finding"
  else
    echo "$t: FINDING" >&2
    grep -E "ERROR|SUMMARY|Test unit written" "$log" >&2 || tail -20 "$log" >&2
    status=1
  fi
  rm -f "$log"
done
exit $status
