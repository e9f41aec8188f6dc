#!/usr/bin/env bash
# Runs the checksum kernel tests as 32-bit x86 code built for the 32-bit updater's baseline
# (-march=pentiumpro, no SSE) under qemu-i386: once on a modern CPU model, where the 128-bit
# carry-less kernel must match the byte loop, and once on a Pentium II, which has no SSE2 or
# PCLMULQDQ, so the run-time choice must fall back to the table loop. This machine cannot run
# 32-bit programs directly and its Wine is 64-bit only; qemu's CPU models lack VPCLMULQDQ, so
# the wide kernels' 32-bit code is checked by scripts/check-baseline-isa.sh and the 64-bit runs.
# Needs: scripts/install-deps.sh i386
set -euo pipefail
cd "$(dirname "$0")/.."
out=build/i386-kernels
mkdir -p "$out"
gtest=/usr/src/googletest/googletest
flags=(-m32 -march=pentiumpro -Os -std=c++20 -Isrc -I"$gtest/include" -I"$gtest")

# checksum.cpp reads files through the platform layer; these tests never do.
cat > "$out/no_files.cpp" <<'CPP'
#include "platform/files.h"
PlatformFile* openRead(const char*) { return nullptr; }
size_t readFile(PlatformFile*, void*, size_t) { return 0; }
bool closeFile(PlatformFile*) { return true; }
CPP

sources=(src/patchdata/checksum.cpp src/patchdata/checksum_portable.cpp
         src/patchdata/x86/checksum_kernels_x86.cpp src/patchdata/x86/checksum_clmul128.cpp
         src/patchdata/x86/checksum_clmul256.cpp src/patchdata/x86/checksum_clmul512.cpp
         tests/unit/patchdata/checksum_test.cpp tests/unit/patchdata/checksum_kernels_test.cpp
         tests/unit/patchdata/x86/checksum_kernels_x86_test.cpp "$out/no_files.cpp")
objects=()
for source in "${sources[@]}"; do
  object="$out/$(basename "$source" .cpp).o"
  g++ "${flags[@]}" -c "$source" -o "$object"
  objects+=("$object")
done
for source in "$gtest/src/gtest-all.cc" "$gtest/src/gtest_main.cc"; do
  object="$out/$(basename "$source" .cc).o"
  [ -f "$object" ] || g++ "${flags[@]}" -c "$source" -o "$object"
  objects+=("$object")
done
g++ -m32 "${objects[@]}" -o "$out/checksum_tests_i386" -lpthread

status=0
for cpu in max pentium2; do
  echo "== 32-bit checksum tests, qemu-i386 -cpu $cpu"
  qemu-i386 -cpu "$cpu" "$out/checksum_tests_i386" --gtest_brief=1 || status=1
done
exit "$status"
