#!/usr/bin/env bash
# Planning at scale, in one run: a product of 24,000 small files where only the executable
# changes, against one of 20,000 unchanged files to which the new version adds 4,000. Both
# builds read the same number of files; the second must plan 4,000 added files among 20,000
# others. Prints each build's time, its slowest phases (PATCHBUILD_TIMING) and the ratio
# (goal: at most 2x).
#
#   bench/planning_scale.sh        (UNCHANGED=20000 ADDED=4000 by default)
set -euo pipefail
cd "$(dirname "$0")/.."
UNCHANGED=${UNCHANGED:-20000}
ADDED=${ADDED:-4000}
PATCHBUILD=build/native/tools/patchbuild/patchbuild

cmake --preset native >/dev/null
cmake --build --preset native --target patchbuild >/dev/null

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

# project DIR OLD_FILES NEW_FILES: version 0 holds files 0..OLD_FILES-1, version 1 holds files
# 0..NEW_FILES-1, each a few dozen bytes of its own, in folders of 500; app.exe changes.
make_project() {
  python3 - "$@" <<'PY'
import os, sys
root, old, new = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
for version, count in ((0, old), (1, new)):
    base = os.path.join(root, f"v{version}")
    for i in range(count):
        folder = os.path.join(base, "data", f"part{i // 500:03d}")
        if i % 500 == 0:
            os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, f"file{i:06d}.dat"), "w") as out:
            out.write(f"content of file {i}, the same in every version\n")
    with open(os.path.join(base, "app.exe"), "w") as out:
        out.write(f"the program, version {version}\n" * 200)
with open(os.path.join(root, "project.toml"), "w") as out:
    out.write("registry = 'HKEY_LOCAL_MACHINE\\SOFTWARE\\Bench\\Path'\n"
              "[[versions]]\nfolder = \"v0\"\n[[versions]]\nfolder = \"v1\"\n"
              "[identify]\nfiles = [\"app.exe\"]\n"
              "[options]\ncompression = 9\n")
PY
}

TOTAL=$((UNCHANGED + ADDED))
make_project "$WORK/unchanged" "$TOTAL" "$TOTAL"
make_project "$WORK/added" "$UNCHANGED" "$TOTAL"

# build NAME: runs the build, prints its seconds and keeps the phase times.
build() {
  local start end
  start=$(date +%s%N)
  PATCHBUILD_TIMING=1 "$PATCHBUILD" build "$WORK/$1/project.toml" -o "$WORK/$1.pat" --quiet \
    2>"$WORK/$1.timing" >/dev/null
  end=$(date +%s%N)
  echo "scale=2; ($end - $start) / 1000000000" | bc
}

reference=$(build unchanged)
measured=$(build added)
echo "planning at scale: $TOTAL unchanged files: ${reference} s"
echo "planning at scale: $UNCHANGED unchanged + $ADDED added: ${measured} s"
for name in unchanged added; do
  echo "  slowest phases ($name):"
  grep '^timing:' "$WORK/$name.timing" | sort -k3 -g -r | head -3 | sed 's/^timing: */    /'
done
echo "ratio: $(echo "scale=2; $measured / $reference" | bc) (goal: at most 2)"
