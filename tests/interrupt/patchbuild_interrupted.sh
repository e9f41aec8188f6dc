#!/usr/bin/env bash
# The interrupted-update test on a container made the way a vendor makes one: three versions of
# a small program are written out, patchbuild builds the chained update from a project file, and
# interrupted_update stops the update of the oldest version at every file operation and kills
# it at random moments, then runs it again and judges what is on disk against the newest.
#
#   patchbuild_interrupted.sh PATCHBUILD INTERRUPTED_UPDATE NATIVE_UPDATE WORKDIR [TIMED] [SCALE]
set -euo pipefail
patchbuild=$1 interrupted=$2 runner=$3 work=$4
timed=${5:-10} scale=${6:-4}

rm -rf "$work"
mkdir -p "$work"
# Deterministic contents: files that span several copy and checksum blocks, edited the way new
# builds differ (bytes inserted, a region rewritten, text lines changed), files added and removed,
# a folder added and one removed.
python3 - "$work" "$scale" <<'PY'
import os, random, sys
root, scale = sys.argv[1], int(sys.argv[2])
unit = 100_000 * scale

def write(version, name, data):
    path = os.path.join(root, f"v{version}", name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)

def edited(data, seed):
    r = random.Random(seed)
    data = bytearray(data)
    at = r.randrange(len(data))
    data[at:at] = r.randbytes(3000)                      # inserted
    at = r.randrange(len(data) - 5000)
    data[at:at + 5000] = r.randbytes(5000)               # rewritten
    del data[len(data) // 3:len(data) // 3 + 2000]       # cut
    return bytes(data)

r = random.Random(1)
app, pak, lib = r.randbytes(4 * unit), r.randbytes(3 * unit), r.randbytes(2 * unit)
unchanged = r.randbytes(unit // 2)
levels = "".join(f"level {n}: {n * 7919 % 1000} points\r\n" for n in range(1, 400)).encode()
for v in range(3):
    write(v, "app.exe", app)
    write(v, "lib.dll", lib)
    write(v, "data/main.pak", pak)
    write(v, "data/levels.txt", levels)
    write(v, "unchanged.dat", unchanged)
    write(v, "config.ini", f"[settings]\nversion={v}\n".encode())
    app, pak, lib = edited(app, 10 + v), edited(pak, 20 + v), edited(lib, 30 + v)
    levels = levels.replace(b"level 1%d:" % v, b"level 1%d: changed in %d," % (v, v)) + b"one more level\r\n"
write(0, "old.dll", b"obsolete library")
write(1, "old.dll", b"obsolete library, still shipped")
write(0, "data/gone/old.map", r.randbytes(20_000))
write(1, "data/new/notes.txt", r.randbytes(3 * unit))
write(2, "data/new/notes.txt", r.randbytes(3 * unit))
PY

cat >"$work/project.toml" <<'TOML'
registry = 'HKEY_LOCAL_MACHINE\SOFTWARE\Example\App\Path'

[messages]
T_MAINTITLE = "Example update"
T_IDENT0 = "Example 1.0 is installed."
T_IDENT1 = "Example 1.1 is installed."
T_IDENT2 = "Example 1.2 is installed."

[[versions]]
folder = "v0"

[[versions]]
folder = "v1"

[[versions]]
folder = "v2"

[identify]
auto = true
TOML
"$patchbuild" --quiet build "$work/project.toml" -o "$work/update.pat"
"$patchbuild" info "$work/update.pat" | sed 's/^/  /'
"$interrupted" "$runner" "$work/judge" --timed "$timed" --timed-scale 1 \
  --container "$work/update.pat" --old "$work/v0" --new "$work/v2"
