#!/usr/bin/env bash
# Throughput of velkan beside iconv on the same characters, and peak memory.
#
#   bench/run.sh [-b BUILD] [-t ROOT] [-m MILLION] [-r RUNS] [-k JOBS] [-s SMALL] [--disk DIR] [--batch]
#                [--huge GIB] [--keep DIR]
#
#   -b BUILD    build folder holding bin/velkan and bin/velkan_bench_jobs (default: build)
#   -t ROOT     the table root the jobs are made for and converted with
#               (default: BUILD/root, the bundled sample tables)
#   -m MILLION  characters per job, in millions (default 16)
#   -r RUNS     runs of each program; the fastest counts (default 5)
#   -k JOBS     which jobs: a comma-separated choice of chars, commands,
#               overlays, text, kinds (default the first four; overlays is the
#               command job switching a font with an overlay on and off, made
#               only when the root has such a font; kinds is a job for every
#               kind of command, one mixing them and a text job of escapes,
#               timed without iconv)
#   -s SMALL    the small-jobs batch: SMALL jobs of 2048 words of characters
#               converted as one batch with -j 1, beside one job holding the
#               same words, in the run's folder and on a disk (default 2000;
#               0 leaves it out)
#   --disk DIR  where the small-jobs batch is run on a disk (default /var/tmp;
#               left out when DIR is a tmpfs)
#   --batch     also convert 8 copies of the character job with -j 1 and -j 2
#   --huge GIB  also convert a character job of GIB gibibytes once, for its
#               peak memory (written and removed again)
#   --keep DIR  generate the jobs in DIR and leave them there
#
# The jobs and outputs go to a new folder in $TMPDIR when it is set, else in
# /dev/shm when it has room, else in /tmp. velkan syncs its output to the
# disk before renaming it into place and iconv does not: on a disk that flush
# is part of velkan's time (see bench/README.md).
#
# velkan converts each job (.zan code words, or the .txt text job through the
# text pre-pass) into tagged Shift_JIS; iconv converts the same characters:
# the code-word jobs' characters from UTF-16BE into CP932, the text job from
# CP932 into UTF-16BE. Both write their output to a file in the same folder.
# Characters per second count the characters of the job (line ends and
# commands not counted). Peak memory is the maximum resident set size.
# The character job's output must be byte for byte iconv's, and the text
# job's that of the character job: the script says so, and exits 1 when not.
set -euo pipefail

build=build
root=
millions=16
runs=5
jobs=chars,commands,overlays,text
batch=0
small=2000
disk=/var/tmp
huge=0
keep=
diskDir=
while [ $# -gt 0 ]; do
  case "$1" in
    -b) build=$2; shift 2 ;;
    -t) root=$2; shift 2 ;;
    -m) millions=$2; shift 2 ;;
    -r) runs=$2; shift 2 ;;
    -k) jobs=$2; shift 2 ;;
    -s) small=$2; shift 2 ;;
    --disk) disk=$2; shift 2 ;;
    --batch) batch=1; shift ;;
    --huge) huge=$2; shift 2 ;;
    --keep) keep=$2; shift 2 ;;
    -h|--help) sed -n '2,/^set /p' "$0" | sed -n 's/^# \{0,1\}//p'; exit 0 ;;
    *) echo "bench/run.sh: unknown option $1" >&2; exit 2 ;;
  esac
done

velkan=$build/bin/velkan
root=${root:-$build/root}
gen=$build/bin/velkan_bench_jobs
prepass=$build/bin/velkan_bench_pre_pass_file
for tool in "$velkan" "$gen" "$prepass" /usr/bin/time; do
  [ -x "$tool" ] || { echo "bench/run.sh: $tool is missing (build first)" >&2; exit 1; }
done
command -v iconv >/dev/null || { echo "bench/run.sh: iconv is missing" >&2; exit 1; }
[ -d "$root" ] || { echo "bench/run.sh: no table root at $root (build first, or give -t ROOT)" >&2; exit 1; }

if [ -n "$keep" ]; then
  dir=$keep
  mkdir -p "$dir"
else
  # A tmpfs when there is one with room (about 30 MB a million characters,
  # and 2.1 GB a GiB of the huge job), so that velkan's sync of its output
  # costs nothing, as iconv writes without one; $TMPDIR decides when set.
  base=${TMPDIR:-}
  if [ -z "$base" ]; then
    base=/tmp
    need=$((30 * millions + 2100 * huge))
    # The kinds jobs take about 75 MB a million characters together.
    case ",$jobs," in *,kinds,*) need=$((need + 75 * millions)) ;; esac
    free=$(df --output=avail -BM /dev/shm 2>/dev/null | tail -n 1 | tr -dc 0-9)
    if [ -w /dev/shm ] && [ -n "$free" ] && [ "$free" -gt "$need" ]; then base=/dev/shm; fi
  fi
  dir=$(mktemp -d "$base/velkan-bench.XXXXXX")
  trap 'rm -rf "$dir"; [ -z "${diskDir:-}" ] || rm -rf "$diskDir"' EXIT
fi

# The revision is the binary's own (what --version says it was built from),
# not the checkout the script runs from, so that -b names what it measures.
revision=$("$velkan" --version 2>/dev/null | sed -n 's/.*(git \([^)]*\)).*/\1/p')
echo "velkan at ${revision:-unknown}," \
     "$(nproc) processors, ${millions} M characters a job, best of ${runs} runs," \
     "in $dir ($(stat -f -c %T "$dir" 2>/dev/null || echo unknown))"
"$gen" "$root" "$dir" "$millions" "$jobs"
# The format store goes to a folder of the run's own, never into the root.
convert=("$velkan" convert --root "$root" --store "$dir/store")
failures=0

# Runs a command `runs` times; sets best (wall seconds), cpu (user + system
# seconds of that run), peak (KiB), and ok=0 when any run failed. The first
# argument names what the command writes (a file or a folder, or - for
# nothing): it is removed before each run, untimed, so that every run writes
# afresh and no run pays for discarding the output of the run before.
measure() {
  best=; cpu=; peak=0; ok=1
  local i start end secs kib used made=$1
  shift
  for ((i = 0; i < runs; i++)); do
    [ "$made" = - ] || rm -rf "$made"
    start=$EPOCHREALTIME
    if ! /usr/bin/time -f '%M %U %S' -o "$dir/mem" "$@" >"$dir/out" 2>"$dir/err"; then ok=0; fi
    end=$EPOCHREALTIME
    secs=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.6f", b - a }')
    kib=$(tail -n 1 "$dir/mem" | awk '{ print $1 }')
    used=$(tail -n 1 "$dir/mem" | awk '{ printf "%.2f", $2 + $3 }')
    if [ -z "$best" ] || awk -v a="$secs" -v b="$best" 'BEGIN { exit !(a < b) }'; then best=$secs cpu=$used; fi
    if [ "$kib" -gt "$peak" ]; then peak=$kib; fi
  done
}

# Compares two outputs; notes a failure when they differ.
same() {
  if cmp -s "$1" "$2"; then
    echo "    check: $3"
  else
    echo "    CHECK FAILED: not so: $3 ($(cmp "$1" "$2" 2>&1 | head -n 1))"
    failures=$((failures + 1))
  fi
}

rate() { awk -v n="$1" -v s="$2" 'BEGIN { printf "%.1f", n / s / 1e6 }'; }

# One line of the table: the job, velkan's and iconv's best run, the ratio of
# their throughputs by wall time (and by processor time), and peak memory.
report() {
  local name=$1 chars=$2 ratio cpuRatio vRate
  ratio=$(awk -v v="$vBest" -v i="$iBest" 'BEGIN { printf "%.2f", i / v }')
  cpuRatio=$(awk -v v="$vCpu" -v i="$iCpu" 'BEGIN { if (v > 0) printf "%.2f", i / v; else print "-" }')
  vRate=$(rate "$chars" "$vBest")
  if [ "$vOk" != 1 ]; then ratio=failed cpuRatio=- vRate=-; fi
  printf '%-9s %11d %8.3f %11s %10s %6s %8s %11d %10d\n' "$name" "$chars" "$vBest" "$vRate" \
    "$(rate "$chars" "$iBest")" "$ratio" "$cpuRatio" "$vPeak" "$iPeak"
}

printf '%-9s %11s %8s %11s %10s %6s %8s %11s %10s\n' job characters velkan-s "velkan M/s" "iconv M/s" ratio \
  cpu-ratio "velkan KiB" "iconv KiB"
while read -r name chars; do
  case $name in
    chars)    input=chars.zan;    plain=chars.utf16;    from=UTF-16BE; to=CP932 ;;
    commands) input=commands.zan; plain=commands.utf16; from=UTF-16BE; to=CP932 ;;
    overlays) input=overlays.zan; plain=overlays.utf16; from=UTF-16BE; to=CP932 ;;
    text)     input=text.txt;     plain=text.txt;       from=CP932;    to=UTF-16BE ;;
    kind-*)
      # A kind of command: velkan alone, against no iconv run.
      input=$name.zan
      [ "$name" != kind-text ] || input=$name.txt
      measure "$dir/$name.out" "${convert[@]}" "$dir/$input" -o "$dir/$name.out"
      [ $ok = 1 ] || { sed 's/^/    velkan: /' "$dir/err" | head -n 3; failures=$((failures + 1)); }
      printf '%-19s %11d %8.3f %11s\n' "$name" "$chars" "$best" "$(rate "$chars" "$best")"
      rm -f "$dir/$name.out"
      continue ;;
  esac
  measure "$dir/$name.iconv" iconv -f $from -t $to "$dir/$plain" -o "$dir/$name.iconv"
  iBest=$best iCpu=$cpu iPeak=$peak
  measure "$dir/$name.out" "${convert[@]}" "$dir/$input" -o "$dir/$name.out"
  vBest=$best vCpu=$cpu vPeak=$peak vOk=$ok
  [ $vOk = 1 ] || sed 's/^/    velkan: /' "$dir/err" | head -n 3
  report "$name" "$chars"
  case $name in
    chars) same "$dir/chars.out" "$dir/chars.iconv" "the character job's output is byte for byte iconv's" ;;
    text)
      if [ -f "$dir/chars.out" ]; then
        same "$dir/text.out" "$dir/chars.out" "the text job's output is byte for byte the character job's"
      fi ;;
  esac
  if [ "$name" = text ]; then
    # The pre-pass alone: the text into code words, counted and dropped.
    measure - "$prepass" "$root" "$dir/text.txt"
    vBest=$best vCpu=$cpu vPeak=$peak vOk=$ok
    report pre-pass "$chars"
  fi
  [ "$name" = chars ] || rm -f "$dir/$name.out"
  rm -f "$dir/$name.iconv"
done <"$dir/counts"
rm -f "$dir/chars.out"

if [ $batch = 1 ] && [ -f "$dir/chars.zan" ]; then
  mkdir -p "$dir/batch"
  for i in 1 2 3 4 5 6 7 8; do ln -sf ../chars.zan "$dir/batch/c$i.zan"; done
  chars=$(awk '$1 == "chars" { print $2 }' "$dir/counts")
  for j in 1 2; do
    measure "$dir/batch/out" "${convert[@]}" "$dir"/batch/c?.zan --out-dir "$dir/batch/out" -j $j
    printf 'batch of 8 character jobs, -j %d: %.3f s, %s M characters/s, peak %d KiB\n' $j "$best" \
      "$(rate $((chars * 8)) "$best")" "$peak"
    eval "batch$j=$best"
  done
  awk -v a="$batch1" -v b="$batch2" 'BEGIN { printf "speed-up from 1 to 2 jobs: %.2f\n", a / b }'
  rm -rf "$dir/batch"
fi

# The small-jobs batch: the cost of a job besides its words. One job of
# SMALL * 2048 words, then the same words as SMALL jobs of 2048 words in one
# batch (-j 1): the ratio is the one job's time over the batch's (1 when a
# job costs nothing but its words). velkan syncs a single output before its
# rename and a batch's outputs together, so on a disk the ratio counts that.
smallBatch() {
  local where=$1 kind=$2 one many
  mkdir -p "$where/jobs"
  head -c $((small * 4096)) "$dir/small.zan" >"$where/one.zan"
  split -b 4096 -a 6 -d --additional-suffix=.zan "$where/one.zan" "$where/jobs/j"
  measure "$where/one.txt" "${convert[@]}" "$where/one.zan" -o "$where/one.txt"
  one=$best
  measure "$where/out" "${convert[@]}" "$where"/jobs/j*.zan --out-dir "$where/out" -j 1
  many=$best
  [ $ok = 1 ] || sed 's/^/    velkan: /' "$dir/err" | head -n 3
  printf 'small jobs, %-6s %5d jobs of 2048 words: %.3f s, one job of the same words %.3f s, ratio %.2f\n' \
    "$kind" "$small" "$many" "$one" "$(awk -v a="$one" -v b="$many" 'BEGIN { printf "%.2f", a / b }')"
  # Each job starts as a program of its own would (a line end before any
  # text is dropped), so the outputs joined are not the one job's.
  if [ "$(find "$where/out" -name 'j*.txt' -size +0 | wc -l)" = "$small" ]; then
    echo "    check: every job of the batch has its output"
  else
    echo "    CHECK FAILED: not so: every job of the batch has its output"
    failures=$((failures + 1))
  fi
  rm -rf "$where/jobs" "$where/out" "$where/one.zan" "$where/one.txt"
}

if [ "$small" != 0 ]; then
  # At least SMALL * 2048 words of characters, a line end every 40.
  "$gen" "$root" "$dir/smalljob" "$(awk -v n="$small" 'BEGIN { printf "%.6f", n * 2048 / 1e6 }')" charwords >/dev/null
  mv "$dir/smalljob/chars.zan" "$dir/small.zan"
  rm -rf "$dir/smalljob"
  smallBatch "$dir/small" "($(stat -f -c %T "$dir" 2>/dev/null || echo unknown))"
  if [ -d "$disk" ] && [ -w "$disk" ] && [ "$(stat -f -c %T "$disk")" != tmpfs ]; then
    diskDir=$(mktemp -d "$disk/velkan-bench-small.XXXXXX")
    smallBatch "$diskDir" "($(stat -f -c %T "$diskDir"))"
    rm -rf "$diskDir"
  fi
  rm -f "$dir/small.zan"
fi

if [ "$huge" != 0 ]; then
  # GiB of words at 41 words for 40 characters.
  hugeChars=$(awk -v g="$huge" 'BEGIN { printf "%.3f", g * 1073741824 / 2 * 40 / 41 / 1e6 }')
  mkdir -p "$dir/huge"
  "$gen" "$root" "$dir/huge" "$hugeChars" charwords >/dev/null
  runs=1 measure "$dir/huge/out" "${convert[@]}" "$dir/huge/chars.zan" -o "$dir/huge/out"
  printf 'huge job: %s bytes in, %s bytes out, %.1f s, %s M characters/s, peak %d KiB\n' \
    "$(stat -c %s "$dir/huge/chars.zan")" "$(stat -c %s "$dir/huge/out")" "$best" \
    "$(rate "$(awk -v m="$hugeChars" 'BEGIN { printf "%d", m * 1e6 }')" "$best")" "$peak"
  rm -rf "$dir/huge"
fi

if [ $failures != 0 ]; then
  echo "bench/run.sh: $failures check(s) failed" >&2
  exit 1
fi
