// A read position in the inflated payload that can never leave it. Integers are little-endian
// and unaligned; strings are zero-terminated and used where they stand. A read that would run
// past the end reads nothing, answers zero or null, and marks the cursor as overrun; every later
// read on it fails too, so a caller may read a whole section and test `overran` once.
#pragma once
#include <cstddef>
#include <cstdint>

struct PayloadCursor {
  const uint8_t* position = nullptr;
  const uint8_t* end = nullptr;
  bool overran = false;

  PayloadCursor() = default;
  PayloadCursor(const uint8_t* start, const uint8_t* limit) : position(start), end(limit) {}

  size_t remaining() const { return overran ? 0 : static_cast<size_t>(end - position); }
  bool atEnd() const { return overran || position == end; }

  uint8_t readU8();
  int16_t readI16();
  uint32_t readU32();
  int32_t readI32() { return static_cast<int32_t>(readU32()); }

  // The zero-terminated string at the cursor, which moves past its terminator; null when no
  // terminator lies before the end.
  const char* readString();

  // `count` bytes at the cursor, which moves past them; null when fewer remain.
  const uint8_t* readBytes(size_t count);

  // A cursor over the next `count` bytes (a record body), which this cursor moves past. The
  // returned cursor is overrun when fewer remain.
  PayloadCursor take(size_t count);

 private:
  bool fail();
};
