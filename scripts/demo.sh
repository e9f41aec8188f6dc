#!/usr/bin/env bash
# The main job: builds everything, then shows a real update. A sample program in two versions
# is built for Windows, the patch between them is made by patchbuild from a project file and
# embedded into a copy of PatchUtility.exe, version 1.0 is installed under build/demo/, the registry
# value is pointed at it, and the updater runs under Wine: in a window on your display when
# there is one (you press Update and Done), otherwise on a virtual screen, where the test
# driver presses them and the screenshots show what you would have seen. Runs again from the
# start each time.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build test
scripts/build.sh native win32 win64

root=$PWD
demo=$root/build/demo
disk=$demo/disk                 # drive D: of the demo, so the program lives in D:\Sample
install=$disk/Sample
shots=$demo/screenshots
registry_key='HKLM\SOFTWARE\PatchUtilityDemo\Sample'
registry_path='HKEY_LOCAL_MACHINE\SOFTWARE\PatchUtilityDemo\Sample\InstallPath'
rm -rf "$demo"
mkdir -p "$demo" "$shots" "$disk"

echo "== the sample program, versions 1.0 and 1.1"
make_version() {  # folder, version, number of levels
  mkdir -p "$1/data"
  cp "build/win64/demo/sample-$2.exe" "$1/Sample.exe"
  for ((level = 1; level <= $3; level++)); do
    echo "level $level: $(( (level * 7919) % 1000 )) points to reach the exit"
  done >"$1/data/levels.txt"
  printf 'Made by the sample team.\r\n' >"$1/data/credits.txt"
}
make_version "$demo/v1.0" 1.0 400
echo "Notes for version 1.0 only." >"$demo/v1.0/notes-1.0.txt"
make_version "$demo/v1.1" 1.1 450
sed -i 's/^level 100: .*/level 100: the hard one/' "$demo/v1.1/data/levels.txt"
mkdir -p "$demo/v1.1/data/maps"
head -c 20000 /dev/urandom >"$demo/v1.1/data/maps/first.map"

echo "== the patch, made by patchbuild from $demo/project.toml"
cat >"$demo/project.toml" <<TOML
# What a vendor writes: where the program is registered, what the updater says, which versions.
registry = '$registry_path'

[messages]
T_MAINTITLE = "Sample Update"
T_Location = "Location:"
T_Browse = "Browse..."
T_Update = "Update"
T_PatchDone = "Done"
T_Cancel = "Cancel"
T_ANALYSING = "Please wait: checking the installed version of Sample..."
T_UPDATEREADY = "Press Update to bring it to version 1.1."
T_MISSING = "Sample was not found. Press Browse... to choose its folder."
T_DAMAGED = "An unknown or damaged version of Sample was found."
T_NOSPACE = "There is not enough free disk space for the update."
T_Applying = "Please wait: updating Sample..."
T_UPGRADED = "Sample was updated to version 1.1."
T_FAILED = "Sample could not be updated."
T_ErrorCode = "Error"
T_SELECTFOLDER = "Choose the folder where Sample is installed."
T_IDENT0 = "Sample 1.0 is installed."
T_IDENT1 = "Sample 1.1 is installed."

[[versions]]
folder = "v1.0"

[[versions]]
folder = "v1.1"

[identify]
auto = true
TOML
patchbuild=build/native/tools/patchbuild/patchbuild
$patchbuild build "$demo/project.toml" -o "$demo/patch.pat" --quiet
$patchbuild info "$demo/patch.pat" | sed 's/^/   /'

source scripts/wine-env.sh
have_display=
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then have_display=1; else start_xvfb; fi
start_wine
# The shipped 32-bit updater for users, and the same code for 64 bits, which Wine runs here.
$patchbuild exe "$demo/patch.pat" --template build/win32/PatchUtility.exe -o "$demo/Update-Sample-1.1.exe"
$patchbuild exe "$demo/patch.pat" --template build/win64/PatchUtility.exe -o "$demo/PatchUtility.exe"
echo "== embedded: $demo/Update-Sample-1.1.exe (32-bit, what users get) and $demo/PatchUtility.exe (64-bit, run here)"

echo "== version 1.0 installed in $install (D:\\Sample), the registry pointed at it"
cp -r "$demo/v1.0" "$install"
ln -sfn "$disk" "$WINEPREFIX/dosdevices/d:"
wine reg add "$registry_key" /v InstallPath /t REG_SZ /d 'D:\Sample' /f >/dev/null

show_install() {
  (cd "$install" && find . -type f | sort | while read -r file; do
    printf '   %-26s %8s bytes  sha256 %s\n' "${file#./}" "$(stat -c %s "$file")" "$(sha256sum "$file" | cut -c1-16)"
  done)
  echo "   Sample.exe says: $(cd "$install" && wine Sample.exe | tr -d '\r' | paste -sd ' ')"
}
echo "   before:"
show_install
echo "   patchbuild verify says:"
$patchbuild verify "$demo/patch.pat" "$install" | sed 's/^/     /'

status=0
if [ -n "$have_display" ]; then
  echo "== the updater, in a window on your display: press Update, then Done"
  (cd "$demo" && wine explorer /desktop=PatchUtilityDemo,800x240 "$demo/PatchUtility.exe") || status=$?
else
  echo "== the updater, on a virtual screen; the test driver presses the buttons"
  wine reg add 'HKCU\Software\Wine\AppDefaults\demo_driver.exe\Explorer' /v Desktop /d demo /f >/dev/null
  wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v demo /d 1024x600 /f >/dev/null
  (cd "$demo" && PATCHUTILITY_E2E_SCREENSHOTS="$shots" \
    wine "$root/build/win64/tests/e2e/demo_driver.exe" run "$demo/PatchUtility.exe" demo) || status=$?
fi

echo "   after:"
show_install
if diff -r "$demo/v1.1" "$install" >/dev/null; then
  echo "== outcome: the installation is now exactly version 1.1"
else
  echo "== outcome: the installation differs from version 1.1:"
  diff -rq "$demo/v1.1" "$install" || true
  status=1
fi
if [ -z "$have_display" ]; then
  echo "== screenshots:"
  ls "$shots"/*.png | sed 's/^/   /'
fi
exit $status
