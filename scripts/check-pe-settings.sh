#!/usr/bin/env bash
# Checks two settings of the shipped executable that only real Windows acts on, so no test under
# Wine can see them: the 32-bit image is linked large-address-aware (it holds the container and
# the inflated payload in memory at once), and its manifest declares long paths (names of up to
# 1023 characters go through the narrow file calls).
set -euo pipefail
exe=${1:-build/win32/PatchUtility.exe}
python3 - "$exe" <<'PYTHON'
import struct
import sys
import xml.etree.ElementTree as ElementTree

path = sys.argv[1]
image = open(path, 'rb').read()
pe = struct.unpack_from('<I', image, 0x3C)[0]
if image[pe:pe + 4] != b'PE\0\0':
    sys.exit(f'check-pe-settings: {path} is not a PE image')
section_count, = struct.unpack_from('<H', image, pe + 6)
characteristics, = struct.unpack_from('<H', image, pe + 22)
optional_size, = struct.unpack_from('<H', image, pe + 20)
optional = pe + 24
pe32_plus = struct.unpack_from('<H', image, optional)[0] == 0x20B
resource_rva, _ = struct.unpack_from('<II', image, optional + (112 if pe32_plus else 96) + 2 * 8)
sections = [struct.unpack_from('<IIII', image, optional + optional_size + 40 * i + 8)
            for i in range(section_count)]


def file_offset(rva):
    for virtual_size, virtual_address, raw_size, raw_pointer in sections:
        if virtual_address <= rva < virtual_address + max(virtual_size, raw_size):
            return raw_pointer + rva - virtual_address
    sys.exit(f'check-pe-settings: {path}: address {rva:#x} lies in no section')


resources = file_offset(resource_rva)


def entries(directory):
    named, numbered = struct.unpack_from('<HH', image, resources + directory + 12)
    for i in range(named + numbered):
        yield struct.unpack_from('<II', image, resources + directory + 16 + 8 * i)


def first_data(entry):
    while entry & 0x80000000:  # a subdirectory: name, then language
        entry = next(entries(entry & 0x7FFFFFFF))[1]
    rva, size = struct.unpack_from('<II', image, resources + entry)
    return image[file_offset(rva):file_offset(rva) + size]


problems = []
if not characteristics & 0x0020:  # IMAGE_FILE_LARGE_ADDRESS_AWARE
    problems.append('is not linked large-address-aware')
manifests = [first_data(entry) for ident, entry in entries(0) if ident == 24]  # RT_MANIFEST
if not manifests:
    problems.append('carries no manifest')
else:
    root = ElementTree.fromstring(manifests[0])
    settings = '{http://schemas.microsoft.com/SMI/2016/WindowsSettings}longPathAware'
    declared = [element.text.strip() for element in root.iter(settings) if element.text]
    if declared != ['true']:
        problems.append('does not declare longPathAware true in its manifest')
for problem in problems:
    print(f'check-pe-settings: {path} {problem}', file=sys.stderr)
if problems:
    sys.exit(1)
print(f'check-pe-settings: {path} is large-address-aware and declares long paths')
PYTHON
