#include "patchdata/payload_records.h"

#include <cstring>

bool readPatchOp(PayloadCursor& list, PatchOp& op) {
  op.type = list.readU8();
  op.bodyLength = list.readU32();
  op.body = list.take(op.bodyLength);
  return !list.overran;
}

bool readDeltaHeader(PayloadCursor& body, DeltaHeader& header) {
  header.version = body.readI16();
  header.name = body.readString();
  header.newSize = body.readU32();
  header.newChecksum = body.readU32();
  header.oldSize = body.readU32();
  header.oldChecksum = body.readU32();
  return !body.overran;
}

CommandRead readDeltaCommand(PayloadCursor& commands, DeltaCommand& command) {
  if (commands.atEnd()) return commands.overran ? CommandRead::Malformed : CommandRead::End;
  command.word = commands.readI32();
  if (commands.overran) return CommandRead::Malformed;
  if (command.isLiteral()) {
    command.literal = commands.readBytes(command.length());
    return command.literal ? CommandRead::Command : CommandRead::LiteralOverrun;
  }
  command.offset = commands.readU32();
  return commands.overran ? CommandRead::Malformed : CommandRead::Command;
}

static bool climbsOut(const char* component, size_t length) {
  int dots = 0;
  for (size_t i = 0; i < length; i++) {
    if (component[i] == '.')
      dots++;
    else if (component[i] != ' ')
      return false;
  }
  return dots >= 2;
}

bool isSafeRelativeName(const char* name) {
  size_t length = std::strlen(name);
  if (length > static_cast<size_t>(kMaxNameLength) || std::strchr(name, ':')) return false;
  const char* component = name;
  for (const char* at = name;; at++) {
    if (*at == '\\' || *at == '/' || *at == '\0') {
      if (climbsOut(component, static_cast<size_t>(at - component))) return false;
      if (*at == '\0') return true;
      component = at + 1;
    }
  }
}
