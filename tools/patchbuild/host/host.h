// The operating system as the patch builder meets it: files named by paths, the console, the
// command line. Exactly one implementation is linked, posix.cpp or win32.cpp, chosen by CMake;
// the rest of the tool holds text as UTF-8 and never asks which system it runs on.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace patchbuild::host {

// A path from UTF-8 text (a project file's folder, a command-line argument), and back. On
// Windows paths are UTF-16; a sequence that does not convert becomes U+FFFD instead of failing.
std::filesystem::path pathFromUtf8(const std::string& utf8);
std::string utf8FromPath(const std::filesystem::path& path);

// True when `path` itself is a link to elsewhere: a symbolic link, or on Windows a junction (any
// reparse point that stands for another name). Reparse points that hold data, such as cloud
// placeholders, are not links.
bool isLink(const std::filesystem::path& path);

// Opens a file for reading bytes (no newline translation); null when it cannot be opened.
FILE* openForReading(const std::filesystem::path& path);

// Maps the whole of a regular file read-only and sets `data` and `size` (null and 0 when it is
// empty). False when it cannot be opened or mapped, or is not a regular file. Release the bytes
// with unmapFile.
bool mapFile(const std::filesystem::path& path, const uint8_t*& data, size_t& size);
void unmapFile(const uint8_t* data, size_t size);

// Writes `bytes` into a new temporary file beside `path` ("<path>.partial-<random>"), flushes it
// to the disk and renames it over `path`, so that `path` holds either what it held before or all
// of `bytes`. False with what failed and the system's reason, on one line, in `why` ("cannot be
// written: ..."); the temporary file is gone then.
// With `executable` the file gets execute permission where files have one.
bool replaceFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes, bool executable,
                 std::string& why);

// True when stderr is a terminal (a console on Windows), where a bar can be redrawn in place.
bool stderrIsTerminal();

// The peak resident memory of this process so far, in MiB; -1 when the system does not say.
long peakMemoryMiB();

// The running program's own file (to find the updater template that lies beside it); empty when
// the system does not say.
std::filesystem::path programPath();

// The command line's arguments (argv[0] first) as UTF-8, whatever the system's code page; call
// once, at the start. On Windows a console is also switched to show UTF-8 output until the
// program ends.
std::vector<std::string> utf8Arguments(int argc, char** argv);

}  // namespace patchbuild::host
