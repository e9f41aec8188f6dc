// Full paths of the files an update touches: the install folder, one backslash, and a
// relative name from the payload, in buffers of kPathCapacity bytes.
#pragma once

// Forms "folder\name" in `path` (kPathCapacity bytes). False when the name could reach outside
// the folder or the path would need more than 1023 characters: such a path is refused, never
// cut and used.
bool formTargetPath(const char* folder, const char* name, char* path);

// The temporary path of a delta: the target path with its last three characters replaced by
// "tmp", so "data\init.pck" becomes "data\init.tmp" and "data\readme" "data\reatmp".
// False when that is not another file in the target's own folder: a last component shorter
// than three characters would put it beside the folder (for a name like "ab", beside the install
// folder itself), and a name already ending in "tmp", in any case, would be its own temporary file.
bool formTemporaryPath(const char* target, char* temporary);
