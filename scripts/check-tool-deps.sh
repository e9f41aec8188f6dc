#!/usr/bin/env bash
# Checks that the patch builders are what goes into a release bundle: the Linux patchbuild needs
# no shared library beyond the C library of a bare Debian 12 (its C++ runtime, zlib and the rest
# are linked in), and patchbuild.exe is a 64-bit console program that imports only DLLs every
# Windows has. Usage: scripts/check-tool-deps.sh [linux-binary [windows-exe]]
set -euo pipefail
cd "$(dirname "$0")/.."
linux=${1:-build/native/tools/patchbuild/patchbuild}
windows=${2:-build/win64/tools/patchbuild/patchbuild.exe}
status=0

# All from libc6, which every Debian system has.
base='^(libc\.so\.6|libm\.so\.6|libpthread\.so\.0|libdl\.so\.2|librt\.so\.1|ld-linux-x86-64\.so\.2)$'
needed=$(readelf -d "$linux" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
while read -r library; do
  if ! grep -Eq "$base" <<<"$library"; then
    echo "check-tool-deps: $linux needs $library, which a bare Debian 12 lacks" >&2
    status=1
  fi
done <<<"$needed"
[ $status -eq 0 ] && echo "check-tool-deps: $linux needs only the C library: $(tr '\n' ' ' <<<"$needed")"

allowed='^(kernel32|user32|gdi32|advapi32|comctl32|comdlg32|shell32|ole32|oleaut32|msvcrt|shlwapi)\.dll$'
headers=$(x86_64-w64-mingw32-objdump -p "$windows")
windows_status=0
grep -q 'file format pei-x86-64' <<<"$headers" ||
  { echo "check-tool-deps: $windows is not a 64-bit Windows image" >&2; windows_status=1; }
grep -Eq 'Subsystem\s+00000003' <<<"$headers" ||
  { echo "check-tool-deps: $windows is not a console program" >&2; windows_status=1; }
dlls=$(awk '/DLL Name:/ {print $3}' <<<"$headers")
while read -r dll; do
  if ! tr 'A-Z' 'a-z' <<<"$dll" | grep -Eq "$allowed"; then
    echo "check-tool-deps: $windows imports $dll, which is not a system DLL" >&2
    windows_status=1
  fi
done <<<"$dlls"
[ $windows_status -eq 0 ] && echo "check-tool-deps: $windows is a 64-bit console program importing only system DLLs: $(tr '\n' ' ' <<<"$dlls")"
exit $((status | windows_status))
