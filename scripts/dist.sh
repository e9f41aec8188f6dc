#!/usr/bin/env bash
# The release bundle a vendor downloads: dist/patch-utility-VERSION/ with the updater
# (PatchUtility.exe, the 32-bit template every update is made from), patchbuild for Windows x64
# (patchbuild.exe) and for Linux x86-64 (patchbuild, its libraries linked in, so that it runs on a
# fresh Debian 12 with nothing installed), the vendor's guide, and an example project with two
# small version folders; and dist/patch-utility-VERSION.zip of that folder.
# Builds what it needs first; stops with one line when a part cannot be had.
set -euo pipefail
cd "$(dirname "$0")/.."

updater=build/win32/PatchUtility.exe
windows_builder=build/win64/tools/patchbuild/patchbuild.exe
linux_builder=build/native/tools/patchbuild/patchbuild

fail() {
  echo "dist: $*" >&2
  exit 1
}

scripts/install-deps.sh build >/dev/null
build() {  # preset, target...
  local preset=$1
  shift
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$(nproc)" --target "$@" >/dev/null
}
build win32 PatchUtility
build native patchbuild
# Only a win64 build that knows the target is asked for it; a missing file is reported below.
if cmake --build --preset win64 --target help 2>/dev/null | grep -qw patchbuild; then build win64 patchbuild; fi

[ -f "$windows_builder" ] || fail "$windows_builder is missing: the win64 preset does not build patchbuild.exe"
# Nothing to install beside either builder: the Linux one needs only the C library that every
# Debian 12 has (its C++ runtime and libraries are linked in), the Windows one only system DLLs.
scripts/check-tool-deps.sh "$linux_builder" "$windows_builder" >/dev/null ||
  fail "a builder needs libraries that a fresh system lacks (scripts/check-tool-deps.sh says which)"

version=$("$linux_builder" --version | awk '{print $2}')
name=patch-utility-$version
bundle=dist/$name
rm -rf "$bundle" "dist/$name.zip"
mkdir -p "$bundle/docs/images" "$bundle/example"

cp "$updater" "$windows_builder" "$linux_builder" "$bundle/"
strip "$bundle/patchbuild"
cp docs/vendor-guide.md "$bundle/docs/"
cp docs/images/*.png "$bundle/docs/images/"
cp -r docs/example/. "$bundle/example/"
python3 scripts/example_icon.py "$bundle/example/example.ico"

# The zip holds the folder itself, with the programs' execute permission.
(cd dist && python3 -m zipfile -c "$name.zip" "$name")
echo "dist: $bundle/ and dist/$name.zip ($(du -k "dist/$name.zip" | cut -f1) KiB):"
(cd "$bundle" && find . -type f | sort | sed 's|^\./|  |')
