#!/usr/bin/env bash
# The long form of the interrupted-update test: every kill point, then TIMED (default 200) runs
# killed at random moments, once with version 0 recognised by every identification file (as the
# tests run it), once by the identification file updated last, and once on a chained update
# that patchbuild builds from three version folders. Prints every table.
#
#   tests/interrupt/long.sh            (TIMED=200 SCALE=10 SEED=1 by default; PRESET=native)
set -euo pipefail
cd "$(dirname "$0")/../.."
TIMED=${TIMED:-200}
SCALE=${SCALE:-10}
SEED=${SEED:-1}
PRESET=${PRESET:-native}
scripts/build.sh "$PRESET" >/dev/null
build="build/$PRESET/tests"
status=0
for policy in every-file last-file; do
  echo "== version 0 recognised by $policy"
  "$build/interrupt/interrupted_update" "$build/native_runner/native_update" "$build/interrupt/work-long-$policy" \
    --timed "$TIMED" --timed-scale "$SCALE" --seed "$SEED" --old-version-by "$policy" || status=1
done
echo "== a chained update built by patchbuild"
tests/interrupt/patchbuild_interrupted.sh "build/$PRESET/tools/patchbuild/patchbuild" \
  "$build/interrupt/interrupted_update" "$build/native_runner/native_update" "$build/interrupt/work-long-patchbuild" \
  "$TIMED" "$SCALE" || status=1
exit $status
