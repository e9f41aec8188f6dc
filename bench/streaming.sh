#!/usr/bin/env bash
# Identification and application at the machine's limit, measured in one run against tools
# that move the same bytes (median of RUNS runs, page cache warm):
#   - identification of five files of 120 MB each, next to reading them (cat) and cp;
#   - application of the 108 MB synthetic delta (301 copies, 301 literals), next to cp,
#     `xdelta3 -d` of the same pair encoded by `xdelta3 -e`, and the data-movement floor: the
#     old file read twice, the new one written once and read once.
#
#   bench/streaming.sh          (DATA=/tmp/bench-data RUNS=5 by default)
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/common.sh
RUNS=${RUNS:-5}
IDENT="$DATA/ident-5x120M"
TOOLS=build/native/tools/bench_containers
RUNNER=build/native/tests/native_runner/native_update

scripts/install-deps.sh build bench >/dev/null
scripts/build.sh native >/dev/null
make_synthetic_pair
mkdir -p "$IDENT"
for i in 1 2 3 4 5; do
  [ -f "$IDENT/file$i.bin" ] || head -c 120000000 /dev/urandom >"$IDENT/file$i.bin"
done

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
$TOOLS/identification-container "$WORK/ident.pat" "$IDENT"/file*.bin
$TOOLS/container-from-commands "$PAIR/old/data.bin" "$PAIR/new/data.bin" "$PAIR/commands.tsv" \
  data.bin "$WORK/apply.pat" >/dev/null
xdelta3 -e -f -s "$PAIR/old/data.bin" "$PAIR/new/data.bin" "$WORK/delta.vcdiff"
mkdir -p "$WORK/install"

now() { date +%s%N; }
# Runs "$@" and prints its wall time in seconds.
timed() {
  local start end
  start=$(now)
  "$@" >/dev/null
  end=$(now)
  awk -v ns=$((end - start)) 'BEGIN { printf "%.4f\n", ns / 1e9 }'
}

identify() { $RUNNER "$WORK/ident.pat" "$IDENT" --identify-only | grep -q 'status=4'; }
read_five() { cat "$IDENT"/file*.bin >/dev/null; }
copy_five() { rm -rf "$WORK/copy5"; mkdir "$WORK/copy5"; cp "$IDENT"/file*.bin "$WORK/copy5/"; }
apply_delta() {
  $RUNNER "$WORK/apply.pat" "$WORK/install" | grep -q 'result=0'
}
xdelta_decode() { xdelta3 -d -f -s "$PAIR/old/data.bin" "$WORK/delta.vcdiff" "$WORK/xdelta.out"; }
copy_new() { rm -f "$WORK/copy.bin"; cp "$PAIR/new/data.bin" "$WORK/copy.bin"; }
floor_moves() {
  cat "$PAIR/old/data.bin" >/dev/null
  cat "$PAIR/old/data.bin" >/dev/null
  cat "$PAIR/new/data.bin" >"$WORK/floor.bin"
  cat "$WORK/floor.bin" >/dev/null
}

read_five  # warm the page cache
cat "$PAIR/old/data.bin" "$PAIR/new/data.bin" >/dev/null
declare -A samples
for _ in $(seq "$RUNS"); do
  samples[identify]+="$(timed identify) "
  samples[read_five]+="$(timed read_five) "
  samples[copy_five]+="$(timed copy_five) "
  rm -rf "$WORK/copy5"
  cp "$PAIR/old/data.bin" "$WORK/install/data.bin"
  samples[apply]+="$(timed apply_delta) "
  cmp -s "$WORK/install/data.bin" "$PAIR/new/data.bin" || { echo "application gave the wrong file" >&2; exit 1; }
  samples[xdelta]+="$(timed xdelta_decode) "
  samples[copy_new]+="$(timed copy_new) "
  samples[floor]+="$(timed floor_moves) "
  rm -f "$WORK/xdelta.out" "$WORK/copy.bin" "$WORK/floor.bin"
done
m() { tr ' ' '\n' <<<"${samples[$1]}" | grep . | median; }

identBytes=$((5 * 120000000))
newBytes=$(stat -c %s "$PAIR/new/data.bin")
awk -v id="$(m identify)" -v rd="$(m read_five)" -v cp5="$(m copy_five)" \
    -v ap="$(m apply)" -v xd="$(m xdelta)" -v cpn="$(m copy_new)" -v fl="$(m floor)" \
    -v ib="$identBytes" -v nb="$newBytes" -v runs="$RUNS" 'BEGIN {
  printf "median of %d runs, page cache warm\n\n", runs
  printf "%-44s %9s %10s %12s\n", "identification of 5 x 120 MB", "seconds", "GB/s", "ours / this"
  printf "%-44s %9.3f %10.2f %12s\n", "ours (native_update --identify-only)", id, ib / id / 1e9, "1.00"
  printf "%-44s %9.3f %10.2f %12.2f\n", "cat of the five files", rd, ib / rd / 1e9, id / rd
  printf "%-44s %9.3f %10.2f %12.2f\n", "cp of the five files", cp5, ib / cp5 / 1e9, id / cp5
  printf "\n%-44s %9s %10s %12s\n", "application of the 108 MB delta", "seconds", "GB/s new", "ours / this"
  printf "%-44s %9.3f %10.2f %12s\n", "ours (native_update)", ap, nb / ap / 1e9, "1.00"
  printf "%-44s %9.3f %10.2f %12.2f\n", "xdelta3 -d (delta from xdelta3 -e)", xd, nb / xd / 1e9, ap / xd
  printf "%-44s %9.3f %10.2f %12.2f\n", "cp of the new file", cpn, nb / cpn / 1e9, ap / cpn
  printf "%-44s %9.3f %10.2f %12.2f\n", "floor: old read twice, new written + read", fl, nb / fl / 1e9, ap / fl
}'
