#!/usr/bin/env bash
# The release as a vendor meets it: `make dist` makes the bundle and its zip; the zip unpacks to
# exactly the bundle, with the right kind of program in each place (the 32-bit updater, Windows
# x64 and Linux x86-64 builders); then the vendor's guide is followed in the unpacked
# folder: every ```sh block of docs/vendor-guide.md runs in order, and every patchbuild.exe line
# of its ```bat blocks runs under Wine and must give the same bytes as the Linux builder. Last,
# the example is made into a branded, signed update the way the guide says (with the 64-bit
# updater as the template, since Wine here runs only 64-bit programs), and that update brings
# an installation of Example 1.0 to 1.1 under Wine.
# Expects the native and win64 builds; run by scripts/test.sh after the other Wine tests.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
source scripts/wine-env.sh
start_xvfb
start_wine

work=$root/build/e2e-release
shots=$root/build/e2e-screenshots
rm -rf "$work"
mkdir -p "$work" "$shots"

fail() {
  echo "release e2e: $*" >&2
  exit 1
}

scripts/dist.sh >"$work/dist.txt" 2>&1 || fail "make dist failed: $(tail -1 "$work/dist.txt")"
version=$(build/native/tools/patchbuild/patchbuild --version | awk '{print $2}')
name=patch-utility-$version
[ -d "dist/$name" ] && [ -f "dist/$name.zip" ] || fail "dist/$name/ or dist/$name.zip is missing"

# The zip unpacks to the bundle, byte for byte, programs executable (unpacked as unzip does,
# with the permissions the zip stores).
python3 - "$root/dist/$name.zip" "$work" <<'PYTHON'
import os, sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as archive:
    for entry in archive.infolist():
        path = archive.extract(entry, sys.argv[2])
        mode = entry.external_attr >> 16 & 0o777
        if mode and not entry.is_dir():
            os.chmod(path, mode)
PYTHON
bundle=$work/$name
diff -r "dist/$name" "$bundle" >/dev/null || fail "the zip does not unpack to dist/$name/"
[ -x "$bundle/patchbuild" ] || fail "patchbuild lost its execute permission in the zip"

(cd "$bundle" && find . -type f | sort) >"$work/files.txt"
for file in PatchUtility.exe patchbuild.exe patchbuild docs/vendor-guide.md example/project.toml example/example.ico; do
  grep -qxF "./$file" "$work/files.txt" || fail "the bundle lacks $file"
done
grep -q '^\./example/v1\.0/' "$work/files.txt" && grep -q '^\./example/v1\.1/' "$work/files.txt" ||
  fail "the example lacks its version folders"
for image in $(grep -o 'images/[a-z0-9-]*\.png' docs/vendor-guide.md); do
  grep -qxF "./docs/$image" "$work/files.txt" || fail "the guide shows docs/$image, which the bundle lacks"
done

# Each program is the kind its name promises: the machine field of the PE header (i386 for the
# updater users run on any Windows, x86-64 for the builder), and a Linux builder that needs only
# the C library of a bare Debian 12 (nothing to install).
pe_machine() { od -An -tx2 -j $(($(od -An -tu4 -j 60 -N4 "$1") + 4)) -N2 "$1" | tr -d ' '; }
[ "$(pe_machine "$bundle/PatchUtility.exe")" = 014c ] || fail "PatchUtility.exe is not a 32-bit (i386) program"
[ "$(pe_machine "$bundle/patchbuild.exe")" = 8664 ] || fail "patchbuild.exe is not an x86-64 program"
readelf -h "$bundle/patchbuild" | grep -q 'X86-64' || fail "patchbuild is not an x86-64 Linux program"
scripts/check-tool-deps.sh "$bundle/patchbuild" "$bundle/patchbuild.exe" >/dev/null ||
  fail "a builder in the bundle needs libraries that a fresh system lacks"
env -i "$bundle/patchbuild" --version | grep -qx "patchbuild $version" || fail "patchbuild does not run without an environment"
echo "release e2e: dist/$name.zip unpacks to the bundle; its programs are what their names promise"

# The guide, followed as written.
awk '/^```sh$/ {on = 1; next} /^```/ {on = 0} on' docs/vendor-guide.md >"$work/guide.sh"
awk '/^```bat$/ {on = 1; next} /^```/ {on = 0} on && /^patchbuild\.exe /' docs/vendor-guide.md >"$work/guide.bat.txt"
[ -s "$work/guide.sh" ] && [ -s "$work/guide.bat.txt" ] || fail "no commands found in the guide"
(cd "$bundle" && bash -euo pipefail "$work/guide.sh") >"$work/guide-sh.out" 2>&1 ||
  fail "a command of the guide failed; the last lines:
$(tail -5 "$work/guide-sh.out")"
echo "release e2e: the guide's $(grep -c . "$work/guide.sh") shell lines run in the unpacked bundle"

# The Windows builder, as the guide's Windows lines call it, makes the same files.
mkdir -p "$work/linux"
cp "$bundle/example/patch.pat" "$bundle/example/Update.exe" "$work/linux/"
while IFS= read -r line; do
  (cd "$bundle" && wine cmd /c "${line%$'\r'}") >>"$work/guide-bat.out" 2>&1 </dev/null ||
    fail "under Wine, \"$line\" failed: $(tail -3 "$work/guide-bat.out")"
done <"$work/guide.bat.txt"
cmp -s "$bundle/example/patch.pat" "$work/linux/patch.pat" || fail "patchbuild.exe and patchbuild make different patches"
cmp -s "$bundle/example/Update.exe" "$work/linux/Update.exe" ||
  fail "patchbuild.exe and patchbuild make different update executables"
echo "release e2e: the guide's patchbuild.exe lines run under Wine and give the Linux builder's bytes"

# Shipped: the example's update, made and signed as the guide says, brings Example 1.0 to 1.1.
example=$bundle/example
"$bundle/patchbuild" build "$example/project.toml" -o "$example/patch.pat" --quiet --exe "$example/Update64.exe" \
  --template "$root/build/win64/PatchUtility.exe"
osslsigncode sign -pkcs12 "$example/test.pfx" -pass test -n "Example 1.1 Update" -h sha256 \
  -in "$example/Update64.exe" -out "$example/Update64-signed.exe" >/dev/null
osslsigncode verify -CAfile "$example/test-cert.pem" -in "$example/Update64-signed.exe" >/dev/null ||
  fail "the signed example update does not verify"
cp -r "$example/v1.0" "$work/Example"
ln -sfn "$work" "$WINEPREFIX/dosdevices/g:"
wine reg add 'HKLM\SOFTWARE\Example\Example' /v InstallPath /t REG_SZ /d 'G:\Example' /f >/dev/null
wine reg add 'HKCU\Software\Wine\AppDefaults\demo_driver.exe\Explorer' /v Desktop /d e2e-release /f >/dev/null
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v e2e-release /d 1024x600 /f >/dev/null
status=0
(cd "$work" && PATCHUTILITY_E2E_SCREENSHOTS="$shots" wine "$root/build/win64/tests/e2e/demo_driver.exe" run \
  "$example/Update64-signed.exe" release-example >"$work/driver.txt") || status=$?
wine reg delete 'HKLM\SOFTWARE\Example\Example' /f >/dev/null 2>&1 || true
[ $status -eq 0 ] && diff -r "$example/v1.1" "$work/Example" >/dev/null ||
  fail "the example update did not bring Example 1.0 to 1.1: $(cat "$work/driver.txt")"
echo "release e2e: the example's branded, signed update brings Example 1.0 to 1.1 under Wine"
