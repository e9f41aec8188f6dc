#!/usr/bin/env bash
# Container sizes, build times and peak memory of patchbuild over the benchmark corpus, next to
# xdelta3 -9 -S djw, xdelta3 -9, bsdiff and zstd --ultra -22 --long=27 --patch-from (one thread).
#
# Usage: bench/delta_sizes.sh [DATA]     (DATA: the corpus, default /tmp/bench-data)
#        CASES="synth-108M esbuild-0.19.12-0.20.2" bench/delta_sizes.sh   (only those pairs)
# Make the corpus first with the shared corpus script (it writes DATA/pairs/<case>/{old,new}),
# or set CORPUS=path/to/corpus.sh and this script runs it when the pairs are missing.
#
# Folder pairs are compared file by file: the other tools get one patch per file that both
# versions have and compress the new files on their own; their sizes, times and memory are
# summed (memory: the largest). patchbuild makes one container for the whole folder.
set -euo pipefail
cd "$(dirname "$0")/.."
MSVC=${MSVC:-"rollup-4.17.2-4.18.0 watcher-2.4.0-2.4.1"}  # pairs built with Microsoft's compiler
DATA=${1:-${DATA:-/tmp/bench-data}}
if [ ! -d "$DATA/pairs" ]; then
  if [ -n "${CORPUS:-}" ]; then DATA=$DATA bash "$CORPUS" >&2; else
    echo "delta_sizes: no corpus in $DATA/pairs; run the corpus script first (or set CORPUS=...)" >&2; exit 2
  fi
fi
scripts/install-deps.sh bench >&2
cmake --preset native >/dev/null
cmake --build --preset native -j"$(nproc)" --target patchbuild >/dev/null
PATCHBUILD=$PWD/build/native/tools/patchbuild/patchbuild
WORK=$(mktemp -d /tmp/delta-sizes-XXXXXX)
trap 'rm -rf "$WORK"' EXIT
printf "\\0" >"$WORK/empty"  # the "old file" (one zero byte: bsdiff maps it) for new files

# run OUT CMD... : runs CMD under /usr/bin/time; appends "seconds kilobytes cpu-seconds" to OUT.
run() {
  local out=$1; shift
  /usr/bin/time -f "%e %M %U %S" -o "$WORK/time" "$@" >/dev/null 2>"$WORK/stderr" || {
    echo "delta_sizes: failed: $*" >&2; cat "$WORK/stderr" >&2; exit 1; }
  awk '{printf "%s %s %.2f\n", $1, $2, $3 + $4}' "$WORK/time" >>"$out"
}

# tool NAME OLD NEW PATCH : one patch with one tool (OLD empty: no source)
tool() {
  local name=$1 old=$2 new=$3 patch=$4
  case $name in
    djw) if [ -n "$old" ]; then run "$WORK/t.$name" xdelta3 -f -e -9 -S djw -s "$old" "$new" "$patch";
         else run "$WORK/t.$name" xdelta3 -f -e -9 -S djw "$new" "$patch"; fi ;;
    xd9) if [ -n "$old" ]; then run "$WORK/t.$name" xdelta3 -f -e -9 -s "$old" "$new" "$patch";
         else run "$WORK/t.$name" xdelta3 -f -e -9 "$new" "$patch"; fi ;;
    bsdiff) run "$WORK/t.$name" bsdiff "${old:-$WORK/empty}" "$new" "$patch" ;;
    zstd) if [ -n "$old" ]; then run "$WORK/t.$name" zstd -q -f --ultra -22 --long=27 --single-thread --patch-from="$old" "$new" -o "$patch";
          else run "$WORK/t.$name" zstd -q -f --ultra -22 --long=27 --single-thread "$new" -o "$patch"; fi ;;
  esac
  stat -c %s "$patch" >>"$WORK/s.$name"
}

TOOLS=(djw xd9 bsdiff zstd)
printf '%-24s %9s | %-26s | %-22s | %-22s | %-22s | %-22s\n' case "old MB" \
  "patchbuild bytes  s   MB" "xdelta3 -9 -S djw" "xdelta3 -9" "bsdiff" "zstd -22 --long"
printf '%s\n' "$(printf '%.0s-' {1..166})"
total_ours=0; declare -A total
for t in "${TOOLS[@]}"; do total[$t]=0; done
for pair in "$DATA"/pairs/*/; do
  name=$(basename "$pair")
  if [ -n "${CASES:-}" ] && [[ " $CASES " != *" $name "* ]]; then continue; fi
  pair=${pair%/}; old=$pair/old; new=$pair/new
  oldmax=$(find "$old" -type f -printf '%s\n' | sort -n | tail -1)
  cat >"$WORK/project.toml" <<TOML
registry = 'HKEY_LOCAL_MACHINE\\SOFTWARE\\Bench\\$name\\Path'
[messages]
T_MAINTITLE = "$name"
[[versions]]
folder = "$old"
[[versions]]
folder = "$new"
TOML
  : >"$WORK/t.ours"
  run "$WORK/t.ours" "$PATCHBUILD" build -q "$WORK/project.toml" -o "$WORK/ours.pat"
  ours=$(stat -c %s "$WORK/ours.pat")
  read -r ours_s ours_kb ours_cpu <"$WORK/t.ours"
  line=$(printf '%-24s %9.1f | %10d %6.1f %6.0f' "$name" "$(echo "$oldmax/1048576" | bc -l)" "$ours" "$ours_s" "$(echo "$ours_kb/1024" | bc -l)")
  for t in "${TOOLS[@]}"; do
    : >"$WORK/t.$t"; : >"$WORK/s.$t"
    while IFS= read -r -d '' file; do
      rel=${file#"$new"/}
      if [ -f "$old/$rel" ]; then tool "$t" "$old/$rel" "$file" "$WORK/p.$t"; else tool "$t" "" "$file" "$WORK/p.$t"; fi
    done < <(find "$new" -type f -print0 | sort -z)
    size=$(awk '{s+=$1} END {print s}' "$WORK/s.$t")
    secs=$(awk '{s+=$1} END {print s}' "$WORK/t.$t")
    cpu=$(awk '{s+=$3} END {print s}' "$WORK/t.$t")
    kb=$(awk '$2>m {m=$2} END {print m}' "$WORK/t.$t")
    total[$t]=$((total[$t] + size))
    line+=$(printf ' | %9d %4.2fx %4.1fs %4.0fM' "$size" "$(echo "$ours/$size" | bc -l)" "$secs" "$(echo "$kb/1024" | bc -l)")
    echo "$name $t $size $secs $kb $cpu" >>"$WORK/all"
  done
  total_ours=$((total_ours + ours))
  echo "$name ours $ours $ours_s $ours_kb $oldmax $ours_cpu" >>"$WORK/all"
  if [ -f "$pair/ideal_payload.bin" ]; then
    line+=$(printf '   (ideal payload %d)' "$(stat -c %s "$pair/ideal_payload.bin")")
  fi
  echo "$line"
done
printf '%s\n' "$(printf '%.0s-' {1..166})"
line=$(printf '%-24s %9s | %10d %13s' total "" "$total_ours" "")
for t in "${TOOLS[@]}"; do
  line+=$(printf ' | %9d %4.2fx %12s' "${total[$t]}" "$(echo "$total_ours/${total[$t]}" | bc -l)" "")
done
echo "$line"
echo
echo "ratios are patchbuild / tool (below 1: patchbuild smaller); times: wall-clock seconds, memory: peak RSS"
echo "goals: each pair <= 1.00x xdelta3 -9 -S djw, the pairs built with Microsoft's compiler (MSVC=\"$MSVC\")"
echo "       together <= 0.90x; time <= 2x xdelta3 -9 -S djw; peak memory <= 8x the pair's largest old file"
awk -v msvc="$MSVC" '
  $2=="ours" {ours[$1]=$3; s[$1]=$4; kb[$1]=$5; oldmax[$1]=$6; cpu[$1]=$7}
  $2=="djw" {djw[$1]=$3; dt[$1]=$4; dcpu[$1]=$6}
  END {
    for (c in ours) {
      printf "  %-24s size %.2fx %-6s  time %.2fx %-6s (cpu %.1fs vs %.1fs)  memory %.1fx old %s\n", c,
        ours[c]/djw[c], (ours[c] <= djw[c] ? "ok" : "MISSED"),
        s[c]/(dt[c] > 0 ? dt[c] : 0.01), (s[c] <= 2*dt[c] ? "ok" : "MISSED"), cpu[c], dcpu[c],
        kb[c]*1024/oldmax[c], (kb[c]*1024 <= 8*oldmax[c] ? "ok" : "MISSED")
    }
    n = split(msvc, names, " ")
    for (k = 1; k <= n; k++) if (names[k] in ours) { mo += ours[names[k]]; md += djw[names[k]] }
    if (md > 0) printf "  %-24s size %.2fx %s\n", "MSVC pairs together", mo/md, (mo <= 0.9*md ? "ok" : "MISSED")
  }' "$WORK/all" | sort
