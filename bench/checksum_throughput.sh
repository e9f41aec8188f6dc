#!/usr/bin/env bash
# Checksum throughput on a cached file: the updater's whole-file checksum (checksumFile, run
# through `patchbuild checksum`, or the bench program until the patch builder is built)
# against coreutils' cksum, a CRC over the same generator, and against plain reading
# (`cat FILE > /dev/null`). Each command runs a few times on the warmed file; the best run counts.
# Usage: bench/checksum_throughput.sh [FILE]   (default: a 1 GB file of random bytes under build/bench)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${RUNS:-3}

patchbuild=build/native/tools/patchbuild/patchbuild
bench_program=build/native/bench/checksum_file_bench
if [ -x "$patchbuild" ]; then
  ours=("$patchbuild" checksum)
elif [ -x "$bench_program" ]; then
  ours=("$bench_program")
else
  echo "checksum_throughput: build the native preset first (scripts/build.sh native)" >&2
  exit 1
fi

file=${1:-build/bench/checksum-1g.bin}
if [ ! -f "$file" ]; then
  mkdir -p "$(dirname "$file")"
  echo "making $file (1 GB of random bytes)"
  head -c 1000000000 /dev/urandom > "$file"
fi
size=$(stat -c %s "$file")
cat "$file" > /dev/null  # into the page cache

# Best wall time of $runs runs, in seconds.
best_time() {
  local times=() start end
  for _ in $(seq "$runs"); do
    start=$(date +%s%N)
    "$@" > /dev/null
    end=$(date +%s%N)
    times+=($((end - start)))
  done
  printf '%s\n' "${times[@]}" | sort -n | head -n 1 | awk '{ printf "%.4f", $1 / 1e9 }'
}

read_file() { cat "$1" > /dev/null; }

echo "file: $file ($size bytes), best of $runs runs each"
echo "ours: ${ours[*]}"
t_ours=$(best_time "${ours[@]}" "$file")
t_cksum=$(best_time cksum "$file")
t_cat=$(best_time read_file "$file")

printf '%-22s %8s %8s %10s %10s\n' command seconds GB/s "vs cksum" "vs cat"
row() {
  awk -v name="$1" -v t="$2" -v size="$size" -v cksum="$t_cksum" -v cat="$t_cat" \
    'BEGIN { printf "%-22s %8.3f %8.2f %9.2fx %9.2fx\n", name, t, size / t / 1e9, cksum / t, cat / t }'
}
row "$(basename "${ours[0]}")" "$t_ours"
row cksum "$t_cksum"
row "cat > /dev/null" "$t_cat"
echo "(ratios are speed ratios: above 1 means faster than cksum, or than reading the file)"
