#!/usr/bin/env bash
# Checks that the shipped executable is what users get: a 32-bit (PE32, i386) Windows GUI
# program that imports only DLLs every Windows has, so it runs as one file with nothing to
# install. Fails on any runtime DLL (libstdc++, libgcc, winpthread, zlib) or other import.
set -euo pipefail
exe=${1:-build/win32/PatchUtility.exe}
allowed='^(kernel32|user32|gdi32|advapi32|comctl32|comdlg32|shell32|ole32|oleaut32|msvcrt|shlwapi)\.dll$'
headers=$(i686-w64-mingw32-objdump -p "$exe")
grep -q 'file format pei-i386' <<<"$headers" || { echo "check-imports: $exe is not a PE32 i386 image" >&2; exit 1; }
grep -Eq 'Subsystem\s+00000002' <<<"$headers" || { echo "check-imports: $exe is not a GUI program" >&2; exit 1; }
status=0
while read -r dll; do
  if ! tr 'A-Z' 'a-z' <<<"$dll" | grep -Eq "$allowed"; then
    echo "check-imports: $exe imports $dll, which is not a system DLL" >&2
    status=1
  fi
done < <(awk '/DLL Name:/ {print $3}' <<<"$headers")
[ $status -eq 0 ] && echo "check-imports: $exe is PE32 i386 GUI and imports only system DLLs: $(awk '/DLL Name:/ {printf "%s ", $3}' <<<"$headers")"
exit $status
