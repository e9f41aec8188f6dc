#!/usr/bin/env bash
# Installs with apt-get whatever this project needs and the machine lacks. Idempotent: a
# package already present is never reinstalled, and apt is not touched when nothing is missing.
# Usage: scripts/install-deps.sh [build|test|bench|i386]...   (default: build test)
set -euo pipefail

build=(cmake make g++ pkg-config zlib1g-dev libgtest-dev libbenchmark-dev
       mingw-w64 libz-mingw-w64-dev binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
       libcli11-dev libtomlplusplus-dev libfmt-dev)  # header-only; divsufsort and zopfli: third_party/
test=(wine wine64 xvfb imagemagick x11-utils xdotool clang-14 libclang-rt-14-dev openssl osslsigncode)
bench=(xdelta3 bsdiff zstd time)
i386=(g++-multilib qemu-user)  # scripts/test-i386-kernels.sh

groups=("$@")
[ ${#groups[@]} -gt 0 ] || groups=(build test)
wanted=()
for group in "${groups[@]}"; do
  case "$group" in
    build) wanted+=("${build[@]}") ;;
    test) wanted+=("${build[@]}" "${test[@]}") ;;
    bench) wanted+=("${build[@]}" "${bench[@]}") ;;
    i386) wanted+=("${build[@]}" "${i386[@]}") ;;
    *) echo "install-deps: unknown group '$group' (build, test, bench or i386)" >&2; exit 2 ;;
  esac
done

missing=()
for package in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
# Drop duplicates while keeping the order.
mapfile -t missing < <(printf '%s\n' "${missing[@]+"${missing[@]}"}" | awk 'NF && !seen[$0]++')

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
echo "install-deps: installing ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q "${missing[@]}"
