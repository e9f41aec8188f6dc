#!/usr/bin/env bash
# Planning at scale, in one run: a product of 24,000 small files where only the executable
# changes, against one of 20,000 unchanged files to which the new version adds 4,000, and one
# where it changes 4,000 of 24,000. The builds read the same number of files; the others must
# plan 4,000 added or changed files among 20,000. Prints each build's time, its slowest phases
# (PATCHBUILD_TIMING) and the ratios (goal for the added files: at most 2x). The payload is
# deflated with zlib: zopfli's time grows with the payload, which the added files fill.
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

# project DIR OLD_FILES NEW_FILES CHANGED: version 0 holds files 0..OLD_FILES-1, version 1 files
# 0..NEW_FILES-1, each a few dozen bytes of its own, in folders of 500, the last CHANGED of
# them with other bytes in version 1; app.exe changes.
make_project() {
  python3 - "$@" <<'PY'
import os, sys
root, old, new, changed = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
for version, count in ((0, old), (1, new)):
    base = os.path.join(root, f"v{version}")
    for i in range(count):
        folder = os.path.join(base, "data", f"part{i // 500:03d}")
        if i % 500 == 0:
            os.makedirs(folder, exist_ok=True)
        edit = f" (version {version})" if i >= count - changed else ""
        with open(os.path.join(folder, f"file{i:06d}.dat"), "w") as out:
            out.write(f"content of file {i}{edit}, most of it the same in every version\n")
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
make_project "$WORK/unchanged" "$TOTAL" "$TOTAL" 0
make_project "$WORK/added" "$UNCHANGED" "$TOTAL" 0
make_project "$WORK/changed" "$TOTAL" "$TOTAL" "$ADDED"

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
added=$(build added)
changed=$(build changed)
echo "planning at scale: $TOTAL unchanged files: ${reference} s"
echo "planning at scale: $UNCHANGED unchanged + $ADDED added: ${added} s"
echo "planning at scale: $UNCHANGED unchanged + $ADDED changed: ${changed} s"
for name in unchanged added changed; do
  echo "  slowest phases ($name):"
  grep '^timing:' "$WORK/$name.timing" | sort -k3 -g -r | head -3 | sed 's/^timing: */    /'
done
echo "ratio, changed: $(echo "scale=2; $changed / $reference" | bc)"
echo "ratio, added: $(echo "scale=2; $added / $reference" | bc) (goal: at most 2)"
