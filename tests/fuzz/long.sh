#!/usr/bin/env bash
# The long fuzz campaign: each target in turn (one at a time: the machine's cores are shared),
# for RUNS executions (default 10,000,000) or at most MAX_SECONDS seconds each (default: no limit),
# from the seeds and the corpus the short runs have grown. Prints executions, executions per
# second and the time taken per target; crash inputs land in build/fuzz/tests/fuzz/work/*/artifacts.
#
#   tests/fuzz/long.sh [TARGET...]          (RUNS=10000000 MAX_SECONDS=0 by default)
set -euo pipefail
cd "$(dirname "$0")/../.."
RUNS=${RUNS:-10000000}
SECONDS_EACH=${MAX_SECONDS:-0}
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(container payload apply)

scripts/build.sh fuzz >/dev/null
build=build/fuzz/tests/fuzz
"$build/make_seeds" "$build/seeds" >/dev/null
summary=()
for target in "${targets[@]}"; do
  echo "== fuzz_$target: up to $RUNS executions"
  log="$build/work/$target/long.log"
  mkdir -p "$(dirname "$log")"
  start=$(date +%s)
  status=0
  tests/fuzz/run_fuzzer.sh "$build/fuzz_$target" "$build/seeds/$target" "tests/fuzz/regressions/$target" \
    "$build/work/$target" -runs="$RUNS" -max_total_time="$SECONDS_EACH" >"$log" 2>&1 || status=$?
  elapsed=$(( $(date +%s) - start ))
  runs=$(awk '/stat::number_of_executed_units/ {print $2}' "$log")
  rate=$(awk '/stat::average_exec_per_sec/ {print $2}' "$log")
  line=$(printf 'fuzz_%-10s executions %10s   per second %6s   seconds %6s   exit %s' \
    "$target" "${runs:-?}" "${rate:-?}" "$elapsed" "$status")
  echo "$line"
  summary+=("$line")
  [ "$status" -eq 0 ] || { grep -E 'ERROR|SUMMARY|fuzz_' "$log" | head -20; }
done
echo "== summary"
printf '%s\n' "${summary[@]}"
