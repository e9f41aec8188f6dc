# Sourced by the benchmark scripts: the synthetic 108 MB pair of the benchmark corpus, made
# once under DATA, and the median of numbers on standard input.
DATA=${DATA:-/tmp/bench-data}
SHARED=${SHARED:-../shared/bench}
PAIR="$DATA/pairs/synth-108M"

make_synthetic_pair() {
  [ -f "$PAIR/new/data.bin" ] && [ -f "$PAIR/commands.tsv" ] && return 0
  mkdir -p "$PAIR/old" "$PAIR/new" "$DATA/bin"
  gcc -O2 -o "$DATA/bin/gen_synth" "$SHARED/gen_synth.c"
  "$DATA/bin/gen_synth" "$PAIR" >/dev/null
}

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
