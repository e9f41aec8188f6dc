#!/usr/bin/env bash
# Applies one delta that rebuilds a 108,452,343-byte file from 301 copies and 301 literals (the
# synthetic pair of the benchmark corpus) with the native build of the engine, and prints
# elapsed time, throughput and peak memory next to `cp` of the same file, measured in the same
# run (median of RUNS runs each). Peak memory must stay near the payload plus the block buffers,
# whatever the file size.
#
#   bench/apply_large_delta.sh            (DATA=/tmp/bench-data RUNS=3 by default)
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/common.sh
RUNS=${RUNS:-3}

scripts/install-deps.sh build bench >/dev/null
scripts/build.sh native >/dev/null
make_synthetic_pair

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
build/native/tools/bench_containers/container-from-commands \
  "$PAIR/old/data.bin" "$PAIR/new/data.bin" "$PAIR/commands.tsv" data.bin "$WORK/patch.pat"
mkdir -p "$WORK/install"
size=$(stat -c %s "$PAIR/new/data.bin")
oldsize=$(stat -c %s "$PAIR/old/data.bin")
cat "$PAIR/old/data.bin" "$PAIR/new/data.bin" >/dev/null  # warm the page cache


apply_times=() cp_times=() rss=()
for _ in $(seq "$RUNS"); do
  cp "$PAIR/old/data.bin" "$WORK/install/data.bin"
  /usr/bin/time -f '%e %M' -o "$WORK/time" build/native/tests/native_runner/native_update \
    "$WORK/patch.pat" "$WORK/install" >"$WORK/out"
  grep -q 'result=0' "$WORK/out" || { cat "$WORK/out"; echo "application failed" >&2; exit 1; }
  cmp -s "$WORK/install/data.bin" "$PAIR/new/data.bin" || { echo "result differs from the new file" >&2; exit 1; }
  read -r seconds kib <"$WORK/time"
  apply_times+=("$seconds") rss+=("$kib")
  rm -f "$WORK/copy"
  /usr/bin/time -f '%e' -o "$WORK/time" cp "$PAIR/old/data.bin" "$WORK/copy"
  cp_times+=("$(cat "$WORK/time")")
done
apply=$(printf '%s\n' "${apply_times[@]}" | median)
copy=$(printf '%s\n' "${cp_times[@]}" | median)
peak=$(printf '%s\n' "${rss[@]}" | sort -n | tail -1)
awk -v apply="$apply" -v copy="$copy" -v peak="$peak" -v size="$size" -v old="$oldsize" 'BEGIN {
  printf "%-34s %10s %12s %12s\n", "", "seconds", "MB/s (new)", "peak RSS MB"
  printf "%-34s %10.2f %12.0f %12.1f\n", "apply 108 MB delta (native)", apply, size / apply / 1e6, peak / 1024
  printf "%-34s %10.2f %12.0f %12s\n", "cp of the old file", copy, old / copy / 1e6, "-"
  printf "apply / cp = %.2f   peak RSS / file size = %.3f\n", apply / copy, peak * 1024 / size
}'
