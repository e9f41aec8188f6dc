// Full paths of the files an update touches: the install folder, one backslash, and a
// relative name from the payload, in buffers of kPathCapacity bytes.
#pragma once

// Forms "folder\name" in `path` (kPathCapacity bytes). False when the name could reach outside
// the folder or the path would need more than 1023 characters: such a path is refused, never
// cut and used.
bool formTargetPath(const char* folder, const char* name, char* path);

// The temporary path of a target: the target path with its last three bytes replaced by "tmp",
// so "data\init.pck" becomes "data\init.tmp", "data\readme" "data\reatmp" and "lang\de"
// "langtmp", beside the folder "lang" and still inside the install folder. `target` is the path
// that formTargetPath made from `name`. False when that is not another file inside the install
// folder: a name shorter than three bytes would put it beside the install folder ("ab" gives
// "<folder>tmp"), and a name ending in "tmp", in any case, would be its own temporary file.
// Bytes, not characters, are replaced, as the patch builder plans it; when the first of the
// three is the second byte of a double-byte character, its first byte pairs with the 't' into
// another character of the same folder.
bool formTemporaryPath(const char* target, const char* name, char* temporary);
