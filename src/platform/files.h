// Files and folders as the engines need them: buffered binary streams and the few
// file-system calls of an update. One implementation is linked per build.
#pragma once
#include <cstddef>
#include <cstdint>

struct PlatformFile;  // defined only inside each implementation

// Opens an existing file for binary reading ("rb"). Null when it cannot be opened.
PlatformFile* openRead(const char* path);

// Creates a file for binary writing ("wb"), truncating an existing one. Null on failure.
PlatformFile* createWrite(const char* path);

// Reads up to `count` bytes; returns how many were read (fewer at the end or on an error).
size_t readFile(PlatformFile* file, void* buffer, size_t count);

// Writes `count` bytes; returns how many were written (fewer on an error).
size_t writeFile(PlatformFile* file, const void* data, size_t count);

// Positions the stream `offset` bytes from the start. False on failure.
bool seekFile(PlatformFile* file, uint64_t offset);

// Seeks to the end and reports the position there (the size); the stream stays at the end.
bool seekToEnd(PlatformFile* file, uint64_t* size);

// Writes out what the stream buffers and has the system put the file's data on the disk itself,
// so that it survives a power cut. False when either fails.
bool flushToDisk(PlatformFile* file);

// Closes the stream. False when buffered data could not be written out.
bool closeFile(PlatformFile* file);

// Sets the attributes to normal: clears read-only, hidden and system. False on failure.
bool resetAttributes(const char* path);

// Deletes a file (not a folder). False on failure, e.g. when it is missing or read-only.
bool deleteFile(const char* path);

// Renames a file or folder. Never replaces an existing destination: that is a failure.
bool moveFile(const char* from, const char* to);

enum class FolderCreation {
  Made,
  Failed,       // it exists already, its parent is missing, or it cannot be made
  NameTooLong,  // the system refuses the path for its length alone
};

// Creates one folder; its parent must exist. A system without long paths refuses a folder path
// of more than 247 characters (room for an 8.3 name below it), whatever the folder's name.
FolderCreation createFolder(const char* path);

// Removes an empty folder. False when it is missing, not empty or cannot be removed.
bool removeFolder(const char* path);

// Bytes that the drive holding `folder` makes available to the calling user.
bool freeSpaceForUser(const char* folder, uint64_t* bytes);
