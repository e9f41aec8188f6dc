#include "patchdata/payload_cursor.h"

#include <cstring>

bool PayloadCursor::fail() {
  overran = true;
  position = end;
  return false;
}

uint8_t PayloadCursor::readU8() {
  const uint8_t* bytes = readBytes(1);
  return bytes ? bytes[0] : 0;
}

int16_t PayloadCursor::readI16() {
  const uint8_t* bytes = readBytes(2);
  if (!bytes) return 0;
  return static_cast<int16_t>(static_cast<uint16_t>(bytes[0] | (bytes[1] << 8)));
}

uint32_t PayloadCursor::readU32() {
  const uint8_t* bytes = readBytes(4);
  if (!bytes) return 0;
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

const char* PayloadCursor::readString() {
  if (overran) return nullptr;
  const void* terminator = std::memchr(position, 0, remaining());
  if (!terminator) {
    fail();
    return nullptr;
  }
  const char* text = reinterpret_cast<const char*>(position);
  position = static_cast<const uint8_t*>(terminator) + 1;
  return text;
}

const uint8_t* PayloadCursor::readBytes(size_t count) {
  if (overran || count > remaining()) {
    fail();
    return nullptr;
  }
  const uint8_t* bytes = position;
  position += count;
  return bytes;
}

PayloadCursor PayloadCursor::take(size_t count) {
  const uint8_t* start = position;
  if (!readBytes(count)) {
    PayloadCursor broken(end, end);
    broken.overran = true;
    return broken;
  }
  return PayloadCursor(start, start + count);
}
