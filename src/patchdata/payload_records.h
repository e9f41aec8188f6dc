// Operation records and delta commands as they stand in the payload.
//
//   PatchOp:       type u8 | bodyLength u32 | body (bodyLength bytes)
//   delta body:    version i16 | name string | newSize u32 | newChecksum u32 | oldSize u32 |
//                  oldChecksum u32 | DeltaCommand... up to exactly the end of the body
//   DeltaCommand:  literal: word i32 with the top bit set | (word & 0x7FFFFFFF) bytes
//                  copy:    word i32 with the top bit clear | offset u32
//   write file:    name string | contents (the rest of the body)
//   delete, make folder, remove folder: name string;  rename: oldName string | newName string
#pragma once
#include <cstdint>

#include "patchdata/narrow_text.h"
#include "patchdata/payload_cursor.h"

enum PatchOpType : uint8_t {
  kOpChainedDelta = 1,
  kOpExactDelta = 2,
  kOpWriteFile = 3,
  kOpDeleteFile = 4,
  kOpRename = 5,
  kOpMakeFolder = 6,
  kOpRemoveFolder = 7,
};

struct PatchOp {
  uint8_t type = 0;
  uint32_t bodyLength = 0;
  PayloadCursor body;  // exactly the body's bytes
};

// Reads the record at `list` and moves `list` to the next record. False, with `list` overrun,
// when the header or the body runs past the end of the payload.
bool readPatchOp(PayloadCursor& list, PatchOp& op);

struct DeltaHeader {
  int16_t version = 0;
  const char* name = nullptr;
  uint32_t newSize = 0, newChecksum = 0, oldSize = 0, oldChecksum = 0;
};

// Reads the fixed part of a delta body and leaves `body` on the first command. False when the
// body is too short for it.
bool readDeltaHeader(PayloadCursor& body, DeltaHeader& header);

struct DeltaCommand {
  int32_t word = 0;
  uint32_t offset = 0;              // copies only
  const uint8_t* literal = nullptr; // literals only: the bytes, in place
  bool isLiteral() const { return word < 0; }
  uint32_t length() const { return static_cast<uint32_t>(word) & 0x7FFFFFFFu; }
};

enum class CommandRead {
  Command,         // `command` holds the next command
  End,             // the body ended exactly after the previous command
  LiteralOverrun,  // a literal's bytes run past the end of the body
  Malformed,       // a word or a copy's offset is cut off by the end of the body
};

// Reads the next command of a delta body and moves past it.
CommandRead readDeltaCommand(PayloadCursor& commands, DeltaCommand& command);

constexpr int kMaxNameLength = 1023;

// True for a name that stays inside the install folder: at most kMaxNameLength characters,
// no ':' (a drive or an alternate data stream), no component that climbs out ("..", or any run
// of dots and blanks with two dots, which Windows reads as ".."), and no component that Windows
// takes for a device (CON, PRN, AUX, NUL, COM0-9, LPT0-9, whatever the extension). Components
// are split at separator characters of the system code page, not at every 0x5C byte.
bool isSafeRelativeName(const char* name);
// The same, with components split in the code page that `isLead` describes rather than the
// system's: the patch builder judges names as its users' systems will read them.
bool isSafeRelativeName(const char* name, LeadByteTest isLead);
