#!/usr/bin/env bash
# A vendor's whole path, end to end: three versions of a program in folders, a project file with
# the vendor's branding, `patchbuild build --exe` (the container, and the branded update made
# from the real updater), `info` and `verify`; the update signed with a throwaway certificate
# (openssl, osslsigncode) and its signature verified; Windows reading the branding back; then the
# signed update, under Wine, brings a copy of each older version to the newest, byte for byte,
# with the test driver pressing Update and Done. Among the files, names that change only in case
# beyond A-Z, which Windows takes for the same name: they must survive the update. Last, `exe` on
# the signed update drops the signature with a warning.
# Expects the native, win32 and win64 builds; run by scripts/test.sh after the other Wine tests.
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/wine-env.sh
start_xvfb
start_wine

patchbuild=$PWD/build/native/tools/patchbuild/patchbuild
driver=$PWD/build/win64/tests/e2e/demo_driver.exe
branding_reader=$PWD/build/native/tests/tools/templates/branding_reader.exe
work=$PWD/build/e2e-patchbuild
shots=$PWD/build/e2e-screenshots
rm -rf "$work"
mkdir -p "$work" "$shots"
ln -sfn "$work" "$WINEPREFIX/dosdevices/f:"

# Three versions: an executable that changes each time, data that moves and grows, a file added
# in 1.1 and dropped in 1.2, a folder that comes and one that goes.
make_version() {  # folder, version
  local dir=$work/$1
  mkdir -p "$dir/data"
  head -c 300000 /dev/zero | tr '\0' 'x' >"$dir/app.exe"
  printf 'build %s\n' "$2" >>"$dir/app.exe"
  seq 1 $((2000 + ${2//./} * 50)) | sed "s/\$/ row of version $2/" >"$dir/data/table.txt"
}
# case_names folder version "Ä" "Ö": a file that never changes and a folder whose file changes,
# spelled with the given first letters.
case_names() {
  printf 'the same in every version\n' >"$work/$1/$3rger.dat"
  mkdir -p "$work/$1/$4l"
  seq 1 400 | sed "s/\$/ oil of version $2/" >"$work/$1/$4l/sorten.txt"
}
make_version v1.0 1.0
mkdir -p "$work/v1.0/old-plugins" && echo "plugin" >"$work/v1.0/old-plugins/a.dll"
case_names v1.0 1.0 Ä Ö
make_version v1.1 1.1
echo "added in 1.1" >"$work/v1.1/data/extra.txt"
case_names v1.1 1.1 Ä Ö
make_version v1.2 1.2
mkdir -p "$work/v1.2/maps" && head -c 5000 /dev/urandom >"$work/v1.2/maps/m1.map"
case_names v1.2 1.2 ä ö

# Every file and folder below a folder, one a line, with its checksum; names in lower case, since
# a name that changed only in case keeps its old spelling on disk, as Windows treats it as one.
folded_listing() {
  (cd "$1" && find . -mindepth 1 | while IFS= read -r path; do
    if [ -d "$path" ]; then echo "$path/"; else echo "$path $(md5sum <"$path" | cut -c1-32)"; fi
  done) | perl -CSD -ne 'print lc' | LC_ALL=C sort
}

cat >"$work/project.toml" <<'TOML'
registry = 'HKEY_LOCAL_MACHINE\SOFTWARE\PatchUtilityE2E\Product\Path'

[messages]
T_MAINTITLE = "Product 1.2 Update"
T_IDENT0 = "Product 1.0 is installed."
T_IDENT1 = "Product 1.1 is installed."
T_IDENT2 = "Product 1.2 is installed."
T_UPDATEREADY = "Press Update."
T_UPGRADED = "Product is now version 1.2."
T_Update = "Update"
T_PatchDone = "Done"
T_Cancel = "Cancel"
T_Location = "Location:"
T_Browse = "Browse..."

[[versions]]
folder = "v1.0"

[[versions]]
folder = "v1.1"

[[versions]]
folder = "v1.2"

[identify]
auto = true

[options]
deltas = "chained"

[exe]
icon = "product.ico"
product_name = "Product"
product_version = "1.2.0"
company = "Product Makers Ltd"
description = "Product 1.2 Update"
copyright = "© 2026 Product Makers Ltd"
TOML
# The vendor's icon, as an image editor writes it: a PNG for 256 pixels, bitmaps below.
convert -size 256x256 xc:'#d02020' -fill '#ffd040' -draw 'circle 128,128 128,40' \
  -define icon:auto-resize=256,48,32,16 "$work/product.ico"

fail() {
  echo "patchbuild e2e: $*" >&2
  exit 1
}

"$patchbuild" build "$work/project.toml" -o "$work/patch.pat" --exe "$work/Update.exe" \
  --template build/win64/PatchUtility.exe --quiet 2>"$work/build-warnings.txt"
if [ -s "$work/build-warnings.txt" ]; then
  # The builder warns when an update cut off part-way could not be finished by a second run.
  echo "patchbuild e2e: the build warned:" >&2
  cat "$work/build-warnings.txt" >&2
  exit 1
fi
"$patchbuild" info "$work/patch.pat" --json >"$work/info.json"
grep -q '"registry"' "$work/info.json"
# What a vendor ships is the 32-bit updater; Wine here runs the 64-bit one, built the same way.
"$patchbuild" exe "$work/patch.pat" --project "$work/project.toml" --template build/win32/PatchUtility.exe \
  -o "$work/Update32.exe"

# Signing, as a vendor does after embedding, with a certificate made for this run alone.
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" -days 2 \
  -subj "/CN=Product Makers Ltd (test certificate)" -addext "extendedKeyUsage=codeSigning" 2>/dev/null
for exe in Update Update32; do
  osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -n "Product 1.2 Update" -h sha256 \
    -in "$work/$exe.exe" -out "$work/$exe-signed.exe" >"$work/sign-$exe.txt" ||
    fail "osslsigncode could not sign $exe.exe: $(cat "$work/sign-$exe.txt")"
  osslsigncode verify -CAfile "$work/cert.pem" -in "$work/$exe-signed.exe" >"$work/verify-signature-$exe.txt" ||
    fail "the signature of $exe-signed.exe does not verify: $(tail -5 "$work/verify-signature-$exe.txt")"
  "$patchbuild" info "$work/$exe-signed.exe" >"$work/info-$exe-signed.txt" ||
    fail "patchbuild info cannot read $exe-signed.exe"
  grep -q 'PatchUtilityE2E' "$work/info-$exe-signed.txt" || fail "patchbuild info shows another container in $exe-signed.exe"
  # What Explorer and the administrator prompt read: the branding, the checksum, the icon.
  wine "$branding_reader" "F:\\$exe-signed.exe" | tr -d '\r' >"$work/branding-$exe.txt"
  for line in 'ProductName=Product' 'ProductVersion=1.2.0' 'FileVersion=1.2.0' 'CompanyName=Product Makers Ltd' \
              'FileDescription=Product 1.2 Update' 'LegalCopyright=© 2026 Product Makers Ltd' \
              'fixed file 1.2.0.0 product 1.2.0.0' 'icon 16 16x16 centre ffd040' 'icon 32 32x32 centre ffd040'; do
    grep -qxF "$line" "$work/branding-$exe.txt" || fail "$exe-signed.exe: Windows does not read \"$line\":
$(cat "$work/branding-$exe.txt")"
  done
  read -r _ _ stored _ computed <"$work/branding-$exe.txt"
  [ "$stored" = "$computed" ] || fail "$exe-signed.exe: PE checksum $stored stored, $computed computed"
  echo "patchbuild e2e: $exe-signed.exe is branded, signed (osslsigncode verifies it) and patchbuild info reads it"
done

# Embedding again into a signed update drops its signature, and says so.
"$patchbuild" exe "$work/patch.pat" --template "$work/Update-signed.exe" -o "$work/Resigned.exe" 2>"$work/resign.txt"
grep -q 'warning: the template was signed' "$work/resign.txt" || fail "no warning for a signed template"
if osslsigncode verify -CAfile "$work/cert.pem" -in "$work/Resigned.exe" >/dev/null 2>&1; then
  fail "an update made from a signed template still claims its signature"
fi
echo "patchbuild e2e: exe on the signed update drops its signature with a warning"

# The driver and the updater it starts run in a Wine virtual desktop, so screenshots show frames.
wine reg add 'HKCU\Software\Wine\AppDefaults\demo_driver.exe\Explorer' /v Desktop /d e2e-patchbuild /f >/dev/null
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v e2e-patchbuild /d 1024x600 /f >/dev/null

status=0
for version in 1.0 1.1; do
  install=$work/install-$version
  cp -r "$work/v$version" "$install"
  "$patchbuild" verify "$work/patch.pat" "$install" >"$work/verify-$version.txt"
  wine reg add 'HKLM\SOFTWARE\PatchUtilityE2E\Product' /v Path /t REG_SZ /d "F:\\install-$version" /f >/dev/null
  if (cd "$work" && PATCHUTILITY_E2E_SCREENSHOTS="$shots" wine "$driver" run "$work/Update-signed.exe" "patchbuild-from-$version" \
        >"$work/driver-$version.txt") &&
      diff <(folded_listing "$work/v1.2") <(folded_listing "$install") >/dev/null; then
    echo "patchbuild e2e: $version -> 1.2 under Wine by the signed update: the installation is exactly version 1.2"
  else
    echo "patchbuild e2e: $version -> 1.2 FAILED" >&2
    cat "$work/driver-$version.txt" "$work/verify-$version.txt" >&2
    diff <(folded_listing "$work/v1.2") <(folded_listing "$install") >&2 || true
    status=1
  fi
done
exit $status
