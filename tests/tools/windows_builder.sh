#!/usr/bin/env bash
# The Windows builder (patchbuild.exe, under Wine) beside the Linux one, on the same projects:
# three versions with non-ASCII folder and file names, paths given with a drive letter and
# backslashes. Every subcommand works; the containers and the embedded updaters are the same
# bytes from both; a bad project gives the same exit code and the same one-line error; the
# progress bar appears on a console and nowhere else.
# Expects the native and win64 builds; run by scripts/test.sh once Wine is ready.
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/wine-env.sh
start_wine
# Wine passes arguments to Windows programs in the Unix locale's encoding: UTF-8 here.
export LC_ALL=C.UTF-8

linux=$PWD/build/native/tools/patchbuild/patchbuild
windows=$PWD/build/win64/tools/patchbuild/patchbuild.exe
work=$PWD/build/windows-builder
rm -rf "$work"
mkdir -p "$work/out" "$work/template" "$work/bad"
cp build/win64/PatchUtility.exe "$work/template/"
ln -sfn "$work" "$WINEPREFIX/dosdevices/g:"  # G:\ is the work folder
cd "$work"

failures=0
fail() { echo "windows builder: FAILED: $*" >&2; failures=$((failures + 1)); }
say() { echo "windows builder: $*"; }

# run_linux / run_windows NAME ARGS...: stdout and stderr into out/NAME.{out,err}, the exit code
# into out/NAME.code; the Windows program's CR LF line ends become LF, so the outputs compare.
run_linux() {
  local name=$1 status=0
  shift
  "$linux" "$@" >"out/$name.out" 2>"out/$name.err" </dev/null || status=$?
  echo "$status" >"out/$name.code"
}
run_windows() {
  local name=$1 status=0
  shift
  wine "$windows" "$@" >"out/$name.raw-out" 2>"out/$name.raw-err" </dev/null || status=$?
  tr -d '\r' <"out/$name.raw-out" >"out/$name.out"
  tr -d '\r' <"out/$name.raw-err" >"out/$name.err"
  echo "$status" >"out/$name.code"
}
code() { cat "out/$1.code"; }
same_file() {  # what, file, file
  if cmp -s "$2" "$3"; then say "$1: the same bytes ($(stat -c %s "$2") bytes)"; else fail "$1: $2 and $3 differ"; fi
}

# --- The versions: an executable that changes each time, text that grows, a folder and a file
# with accents, a file added in 1.1 and dropped in 1.2, a folder that goes and one that comes.
noise() {  # bytes, seed: the same characters for the same seed, poorly compressible
  awk -v n="$1" -v seed="$2" 'BEGIN { srand(seed); for (i = 0; i < n; i++) printf "%c", 33 + int(rand() * 90) }'
}
make_version() {  # folder, version, seed
  local dir=$1
  mkdir -p "$dir/données"
  { noise 150000 7; printf 'build %s\n' "$2"; noise $((20000 + $3 * 3000)) "$3"; seq 1 $((3000 + $3 * 97)); } \
    >"$dir/Programme.exe"
  seq 1 $((400 + $3 * 40)) | sed "s/\$/ ligne de la version $2/" >"$dir/données/carte-é.txt"
}
make_version "v1.0" 1.0 0
mkdir -p "v1.0/anciens modules" && echo "module" >"v1.0/anciens modules/a.dll"
make_version "v1.1" 1.1 1
echo "ajouté en 1.1" >"v1.1/lisez-moi.txt"
make_version "Version 1.2 été" 1.2 2
mkdir -p "Version 1.2 été/cartes" && seq 1 5000 | sha256sum | head -c 64 >"Version 1.2 été/cartes/m1.map"

# Names that Windows holds as surrogate pairs, and whose order differs between UTF-8 bytes and
# UTF-16 units, under the UTF-8 code page.
mkdir -p u1 u2
for v in u1 u2; do
  echo "fullwidth $v" >"$v/ｚ.txt"
  echo "beyond the basic plane $v" >"$v/😀.txt"
  seq 1 200 >"$v/common.txt"
done

project() {  # file, [options] lines, version folders...
  local file=$1 options=$2
  shift 2
  {
    echo "registry = 'HKEY_LOCAL_MACHINE\\SOFTWARE\\Exemple\\Produit\\Path'"
    echo "$options" | grep '^codepage' || true
    echo '[messages]'
    echo 'T_MAINTITLE = "Mise à jour du produit"'
    echo 'T_UPDATEREADY = "Appuyez sur « Mettre à jour »."'
    printf 'T_UPGRADED = """\nLe produit est à jour.\nMerci."""\n'
    for folder in "$@"; do printf '[[versions]]\nfolder = "%s"\n' "$folder"; done
    echo '[options]'
    echo "$options" | grep -v '^codepage' || true
  } >"$file"
}
three=("v1.0" "v1.1" "Version 1.2 été")
project "projet-été.toml" 'deltas = "chained"' "${three[@]}"
project "exact-zlib.toml" $'deltas = "exact"\ncompression = 9' "${three[@]}"
project "zopfli.toml" 'compression = "zopfli"' "${three[@]}"
project "utf8-names.toml" 'codepage = 65001' u1 u2
# As a Windows checkout may have it: CR LF line ends, also inside the multi-line text.
sed 's/$/\r/' "projet-été.toml" >"crlf.toml"

# --- build: each project from both builders; the Windows one is given drive letters and
# backslashes, except once, where it gets the same relative path with '/' as Linux.
main=projet-été
for name in "$main" exact-zlib zopfli utf8-names; do
  quiet=(--quiet)
  [ "$name" != "$main" ] || quiet=()  # its summary and (not) its bar are looked at below
  run_linux "build-$name-linux" build "$name.toml" -o "out/$name-linux.pat" "${quiet[@]}"
  if [ "$name" = exact-zlib ]; then
    run_windows "build-$name-windows" build "$name.toml" -o "out/$name-windows.pat" "${quiet[@]}"
  else
    run_windows "build-$name-windows" build "G:\\$name.toml" -o "G:\\out\\$name-windows.pat" "${quiet[@]}"
  fi
  if [ "$(code "build-$name-linux")" != 0 ] || [ "$(code "build-$name-windows")" != 0 ]; then
    fail "build $name: exit $(code "build-$name-linux") on Linux, $(code "build-$name-windows") on Windows"
    cat "out/build-$name-linux.err" "out/build-$name-windows.err" >&2
    continue
  fi
  same_file "build $name.toml" "out/$name-linux.pat" "out/$name-windows.pat"
done
grep -q "^G:.*$main-windows.pat: [0-9]* bytes" "out/build-$main-windows.out" ||
  fail "build: no summary line on stdout: $(cat "out/build-$main-windows.out")"

run_windows build-crlf-windows build "G:\\crlf.toml" -o "G:\\out\\crlf-windows.pat" --quiet
same_file "build of the project with CR LF line ends" "out/$main-linux.pat" "out/crlf-windows.pat"

# --- info, text and JSON: the same report.
run_linux info-linux info "out/$main-linux.pat"
run_windows info-windows info "G:\\out\\$main-windows.pat"
run_linux json-linux info --json "out/$main-linux.pat"
run_windows json-windows info --json "G:\\out\\$main-windows.pat"
for what in info json; do
  if [ "$(code $what-linux)$(code $what-windows)" = 00 ] && cmp -s "out/$what-linux.out" "out/$what-windows.out" &&
     grep -q 'carte-é' "out/$what-windows.out"; then
    say "info${what/info/}: the same report"
  else
    fail "info ($what) differs or failed"
    diff "out/$what-linux.out" "out/$what-windows.out" >&2 || true
  fi
done

# --- verify: an install of each older version, the newest, and a damaged one.
mkdir -p install
cp -r "v1.0" "install/1.0"
cp -r "v1.1" "install/1.1"
cp -r "Version 1.2 été" "install/1.2 été"
cp -r "v1.0" "install/abîmé" && echo "not a known version" >"install/abîmé/données/carte-é.txt"
for folder in "1.0" "1.1" "1.2 été" "abîmé"; do
  run_linux "verify-$folder-linux" verify "out/$main-linux.pat" "install/$folder"
  run_windows "verify-$folder-windows" verify "G:\\out\\$main-windows.pat" "G:\\install\\$folder"
  if [ "$(code "verify-$folder-linux")" = "$(code "verify-$folder-windows")" ] &&
     cmp -s "out/verify-$folder-linux.out" "out/verify-$folder-windows.out" &&
     [ "$(cat "out/verify-$folder-linux.err")" = "$(sed 's|^patchbuild: G:\\|patchbuild: |; s|\\|/|g' "out/verify-$folder-windows.err")" ]; then
    say "verify install\\$folder: exit $(code "verify-$folder-windows"), the same findings"
  else
    fail "verify install/$folder: exit $(code "verify-$folder-linux") on Linux, $(code "verify-$folder-windows") on Windows"
    diff "out/verify-$folder-linux.out" "out/verify-$folder-windows.out" >&2 || true
  fi
done
[ "$(code verify-abîmé-windows)" = 1 ] || fail "verify of a damaged install did not fail"

# --- checksum: the same values and sizes for names with accents.
run_linux checksum-linux checksum "Version 1.2 été/données/carte-é.txt" "v1.0/Programme.exe" "u1/😀.txt" "u2/ｚ.txt"
run_windows checksum-windows checksum "G:\\Version 1.2 été\\données\\carte-é.txt" "G:\\v1.0\\Programme.exe" \
  "G:\\u1\\😀.txt" "u2/ｚ.txt"
if [ "$(code checksum-linux)$(code checksum-windows)" = 00 ] &&
   [ "$(cut -d' ' -f1,2 out/checksum-linux.out)" = "$(cut -d' ' -f1,2 out/checksum-windows.out)" ] &&
   grep -q 'G:\\Version 1.2 été\\données\\carte-é.txt$' out/checksum-windows.out; then
  say "checksum: the same values ($(cut -d' ' -f1 out/checksum-windows.out | tr '\n' ' '))"
else
  fail "checksum differs or failed"
  cat out/checksum-linux.out out/checksum-windows.out out/checksum-windows.err >&2
fi

# --- exe: the same updater from both.
run_linux exe-linux exe "out/$main-linux.pat" --template template/PatchUtility.exe -o "out/Mise à jour-linux.exe"
run_windows exe-windows exe "G:\\out\\$main-windows.pat" --template "G:\\template\\PatchUtility.exe" \
  -o "G:\\out\\Mise à jour-windows.exe"
if [ "$(code exe-linux)$(code exe-windows)" = 00 ]; then
  same_file "exe" "out/Mise à jour-linux.exe" "out/Mise à jour-windows.exe"
else
  fail "exe: exit $(code exe-linux) on Linux, $(code exe-windows) on Windows"
  cat out/exe-linux.err out/exe-windows.err >&2
fi

# --- Errors: the same exit code and the same single line ('\' shown as '/', the separator
# each system writes between a folder and a name).
printf "registry = 'x'\n[[versions]\n" >bad/syntax.toml
printf "registry = 'x'\n[[versions]]\nfolder = \"manquant\"\n" >bad/nofolder.toml
printf "registry = 'x'\ncolour = 1\n[[versions]]\nfolder = \"../v1.0\"\n" >bad/unknown-key.toml
printf "registry = 'x'\n[[versions]]\nfolder = \"../v1.0\"\n[[versions]]\nfolder = \"../install/1.0\"\n" >bad/same.toml
errors=(
  "build|absent.toml"
  "build|bad/syntax.toml"
  "build|bad/nofolder.toml"
  "build|bad/unknown-key.toml"
  "build|bad/same.toml|-o|out/same.pat"
  "build"
  "info|absent.pat"
  "info|bad/syntax.toml"
  "verify|out/$main-linux.pat|absent-folder"
  "checksum|absent.bin"
  "exe|bad/syntax.toml|--template|x.exe|-o|y.exe"
  "frobnicate"
)
index=0
for spec in "${errors[@]}"; do
  IFS='|' read -r -a arguments <<<"$spec"
  index=$((index + 1))
  run_linux "error-$index-linux" "${arguments[@]}"
  run_windows "error-$index-windows" "${arguments[@]}"
  linux_line=$(tr '\\' '/' <"out/error-$index-linux.err")
  windows_line=$(tr '\\' '/' <"out/error-$index-windows.err")
  if [ "$(code "error-$index-linux")" != 0 ] && [ "$(code "error-$index-linux")" = "$(code "error-$index-windows")" ] &&
     [ "$linux_line" = "$windows_line" ] && [ "$(wc -l <"out/error-$index-windows.err")" = 1 ] &&
     [[ "$windows_line" == "patchbuild: "* ]]; then
    say "error, exit $(code "error-$index-windows"): $windows_line"
  else
    fail "${arguments[*]}: exit $(code "error-$index-linux") on Linux, $(code "error-$index-windows") on Windows"
    echo "  Linux:   $linux_line" >&2
    echo "  Windows: $windows_line" >&2
  fi
done
[ ! -e out/same.pat ] || fail "a failed build left out/same.pat"
ls out | grep -q '\.partial-' && fail "a temporary .partial file was left in out/"

# --- The progress bar: drawn on a console (a terminal, which Wine gives a console), never
# into a pipe or a file.
script -qec "wine '$windows' build 'G:\\$main.toml' -o 'G:\\out\\console.pat' >/dev/null" out/console.txt \
  </dev/null >/dev/null 2>&1 || true
bar=$(sed 's/\x1b\[[0-9;?]*[A-Za-z]//g' out/console.txt | tr -d '\r')
if [[ "$bar" == *scanning* && "$bar" == *%* ]] && ! grep -q '%' "out/build-$main-windows.err"; then
  say "progress: a bar on a console, nothing on stderr into a file"
else
  fail "progress: the console showed no bar, or a bar went into a file"
fi
cmp -s "out/console.pat" "out/$main-linux.pat" || fail "the build on a console gave other bytes"

if [ "$failures" -ne 0 ]; then
  echo "windows builder: $failures check(s) failed; the files are in $work" >&2
  exit 1
fi
say "all checks passed"
