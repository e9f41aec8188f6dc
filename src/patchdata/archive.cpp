// Finding, checking and inflating the patch container.
#include "patchdata/archive.h"

#include <zlib.h>

#include <algorithm>
#include <new>

#include "platform/files.h"
#include "platform/process.h"

namespace {

// Deflate cannot expand data by more than this factor, so a payload announced larger than
// that can never be produced by the compressed bytes at hand.
constexpr uint64_t kMaxInflateRatio = 1032;

uint32_t readLittleEndian32(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

// Reads the whole of "patch.pat" into a new buffer. Null when it cannot be opened or held.
uint8_t* readPatchFile(size_t* size) {
  PlatformFile* file = openRead(kPatchFileName);
  if (!file) return nullptr;
  uint64_t fileSize = 0;
  uint8_t* buffer = nullptr;
  if (seekToEnd(file, &fileSize) && fileSize <= SIZE_MAX && seekFile(file, 0)) {
    buffer = new (std::nothrow) uint8_t[fileSize ? static_cast<size_t>(fileSize) : 1];
    if (buffer) *size = readFile(file, buffer, static_cast<size_t>(fileSize));
  }
  closeFile(file);
  return buffer;
}

// One inflate call with Z_FINISH into `output`; returns the zlib result and the bytes made.
int inflateOnce(const uint8_t* input, uint32_t inputSize, uint8_t* output, uint32_t outputSize,
                uLong* produced) {
  z_stream stream = {};
  stream.next_in = const_cast<Bytef*>(input);
  stream.avail_in = inputSize;
  stream.next_out = output;
  stream.avail_out = outputSize;
  if (inflateInit(&stream) != Z_OK) return Z_STREAM_ERROR;
  int result = inflate(&stream, Z_FINISH);
  *produced = stream.total_out;
  inflateEnd(&stream);
  return result;
}

}  // namespace

PatchArchive::~PatchArchive() { delete[] payload; }

int PatchArchive::load() {
  const uint8_t* data = nullptr;
  uint32_t resourceSize = 0;
  switch (findModuleResource(kPatchResourceName, &data, &resourceSize)) {
    case ResourceLookup::Found:
      fromResource = true;
      return loadFromMemory(data, resourceSize);
    case ResourceLookup::LoadFailed:
      fromResource = true;
      return kLoadResourceFailed;
    case ResourceLookup::LockFailed:
      fromResource = true;
      return kLoadResourceLockFailed;
    case ResourceLookup::Absent:
      break;
  }
  fromResource = false;
  size_t fileSize = 0;
  uint8_t* fileBuffer = readPatchFile(&fileSize);
  if (!fileBuffer) return kLoadNotFound;
  int code = loadFromMemory(fileBuffer, fileSize);
  delete[] fileBuffer;  // the compressed bytes are no longer needed
  return code;
}

int PatchArchive::loadFromMemory(const uint8_t* container, size_t size) {
  if (size < kContainerHeaderSize) return kLoadLengthsInconsistent;
  uint32_t containerChecksum = readLittleEndian32(container);
  uint32_t compressedLength = readLittleEndian32(container + 4);
  uint32_t announcedSize = readLittleEndian32(container + 8);
  if (compressedLength > size - kContainerHeaderSize) return kLoadLengthsInconsistent;
  if (checksumUpdate(kChecksumStart, container + 4, 8 + size_t{compressedLength}) !=
      containerChecksum)
    return kLoadContainerChecksumWrong;
  if (announcedSize < kMinimumPayloadSize) return kLoadPayloadTooSmall;

  // An announced size beyond what the stream could ever produce is inflated into only as much
  // room as it could fill: the outcome is the same, and a forged size cannot demand gigabytes.
  uint64_t inflatable = uint64_t{compressedLength} * kMaxInflateRatio;
  uint32_t room = static_cast<uint32_t>(std::min<uint64_t>(announcedSize, inflatable));
  delete[] payload;
  payload = new (std::nothrow) uint8_t[room ? room : 1];
  payloadSize = 0;
  if (!payload) return kLoadInflateFailed;
  uLong produced = 0;
  int result = inflateOnce(container + kContainerHeaderSize, compressedLength, payload, room,
                           &produced);
  if (result != Z_STREAM_END) return kLoadInflateFailed;
  if (produced != announcedSize) return kLoadInflatedSizeWrong;
  payloadSize = announcedSize;

  if (checksumUpdate(kChecksumStart, payload + 4, payloadSize - 4) != readLittleEndian32(payload))
    return kLoadPayloadChecksumWrong;
  return kLoadOk;
}
