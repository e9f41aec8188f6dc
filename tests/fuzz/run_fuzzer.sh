#!/usr/bin/env bash
# Runs one libFuzzer target: first each kept crash input once (each must now run clean), then a
# campaign from the seeds and the corpus it has grown so far, with the extra libFuzzer options
# given (-max_total_time=60 or -runs=10000000). Prints libFuzzer's final statistics. A seed
# folder without seeds is an error, not a run from nothing.
#
#   run_fuzzer.sh PROGRAM SEEDS REGRESSIONS WORKDIR [LIBFUZZER OPTIONS...]
set -euo pipefail
program=$1 seeds=$2 regressions=$3 work=$4
shift 4
mkdir -p "$work/corpus" "$work/artifacts"
shopt -s nullglob
seeds_found=("$seeds"/*)
if [ ${#seeds_found[@]} -eq 0 ]; then
  echo "run_fuzzer.sh: no seeds in $seeds: the run would start from nothing" >&2
  exit 2
fi
kept=("$regressions"/*)
if [ ${#kept[@]} -gt 0 ]; then
  "$program" -timeout=10 "${kept[@]}"
fi
exec "$program" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$work/artifacts/" \
  "$@" "$work/corpus" "$seeds"
