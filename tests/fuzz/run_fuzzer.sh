#!/usr/bin/env bash
# Runs one libFuzzer target: first each kept crash input once (each must now run clean), then a
# campaign from the seeds and the corpus it has grown so far, with the extra libFuzzer options
# given (-max_total_time=60 or -runs=10000000). Prints libFuzzer's final statistics.
#
#   run_fuzzer.sh PROGRAM SEEDS REGRESSIONS WORKDIR [LIBFUZZER OPTIONS...]
set -euo pipefail
program=$1 seeds=$2 regressions=$3 work=$4
shift 4
mkdir -p "$work/corpus" "$work/artifacts"
shopt -s nullglob
kept=("$regressions"/*)
if [ ${#kept[@]} -gt 0 ]; then
  "$program" -timeout=10 "${kept[@]}"
fi
exec "$program" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$work/artifacts/" \
  "$@" "$work/corpus" "$seeds"
