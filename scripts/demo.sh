#!/usr/bin/env bash
# The main job: builds everything.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build
scripts/build.sh native win32 win64
echo "Built: build/native (core, tools, tests), build/win32 and build/win64 (Windows libraries)."
