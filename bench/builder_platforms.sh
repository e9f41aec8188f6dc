#!/usr/bin/env bash
# The Linux and the Windows patch builder on the same pairs of the benchmark corpus: container
# size from each, whether the two containers are the same bytes, and wall-clock build times
# (the Windows builder under Wine on this machine; both see the same processors, so both run
# the same number of threads). The Windows time includes starting the program under Wine,
# measured on its own as "wine start" and shown in the last column's reference line.
#
# Usage: bench/builder_platforms.sh [DATA]     (DATA: the corpus, default /tmp/bench-data)
#        CASES="watcher-2.4.0-2.4.1 rollup-4.17.2-4.18.0" bench/builder_platforms.sh
# Make the corpus first with the shared corpus script (it writes DATA/pairs/<case>/{old,new}).
# The project files and containers go to a scratch folder; the corpus is only read.
set -euo pipefail
cd "$(dirname "$0")/.."
DATA=${1:-${DATA:-/tmp/bench-data}}
[ -d "$DATA/pairs" ] || { echo "builder_platforms: no corpus in $DATA/pairs; run the corpus script first" >&2; exit 2; }
source scripts/wine-env.sh
start_wine >/dev/null
export LC_ALL=C.UTF-8
for preset in native win64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$(nproc)" --target patchbuild >/dev/null
done
linux=$PWD/build/native/tools/patchbuild/patchbuild
windows=$PWD/build/win64/tools/patchbuild/patchbuild.exe
WORK=$(mktemp -d /tmp/builder-platforms-XXXXXX)
trap 'rm -rf "$WORK"; _wine_env_stop_all' EXIT

# seconds CMD... : wall-clock seconds of CMD, which must succeed.
seconds() {
  /usr/bin/time -f "%e" -o "$WORK/time" "$@" >/dev/null 2>"$WORK/stderr" </dev/null || {
    echo "builder_platforms: failed: $*" >&2; cat "$WORK/stderr" >&2; exit 1; }
  cat "$WORK/time"
}
# Wine's own start, for reading the Windows times.
start=$(for _ in 1 2 3; do seconds wine "$windows" --help; done | sort -n | sed -n 2p)

printf '%-24s %12s %12s %9s | %8s %8s %6s\n' case "Linux bytes" "Windows bytes" identical "Linux s" "Wine s" ratio
printf '%s\n' "$(printf '%.0s-' {1..92})"
all_same=yes
for pair in "$DATA"/pairs/*/; do
  name=$(basename "$pair")
  if [ -n "${CASES:-}" ] && [[ " $CASES " != *" $name "* ]]; then continue; fi
  pair=${pair%/}
  # One project file per builder, each naming the folders as its system does.
  for side in linux windows; do
    if [ $side = linux ]; then old=$pair/old new=$pair/new; else old="Z:${pair//\//\\}\\old" new="Z:${pair//\//\\}\\new"; fi
    cat >"$WORK/$side.toml" <<TOML
registry = 'HKEY_LOCAL_MACHINE\\SOFTWARE\\Bench\\$name\\Path'
[messages]
T_MAINTITLE = "$name"
[[versions]]
folder = '$old'
name = "old"
[[versions]]
folder = '$new'
name = "new"
TOML
  done
  linux_s=$(seconds "$linux" build -q "$WORK/linux.toml" -o "$WORK/linux.pat")
  windows_s=$(seconds wine "$windows" build -q "Z:${WORK//\//\\}\\windows.toml" -o "Z:${WORK//\//\\}\\windows.pat")
  same=yes
  cmp -s "$WORK/linux.pat" "$WORK/windows.pat" || { same=NO; all_same=no; }
  printf '%-24s %12d %12d %9s | %8.2f %8.2f %5.2fx\n' "$name" "$(stat -c %s "$WORK/linux.pat")" \
    "$(stat -c %s "$WORK/windows.pat")" "$same" "$linux_s" "$windows_s" "$(echo "$windows_s/$linux_s" | bc -l)"
done
printf '%s\n' "$(printf '%.0s-' {1..92})"
echo "wine start (patchbuild.exe --help, median of 3): $start s; threads: as many as processors, at most 4 ($(nproc) here)"
echo "containers identical on every pair: $all_same"
