#include "patchdata/payload_records.h"

#include <cstring>
#include <initializer_list>

#include "patchdata/narrow_text.h"
#include "platform/code_page.h"

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

static bool equalsFolded(const char* text, size_t length, const char* lower) {
  if (std::strlen(lower) != length) return false;
  for (size_t i = 0; i < length; i++) {
    char c = text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] - 'A' + 'a') : text[i];
    if (c != lower[i]) return false;
  }
  return true;
}

// Windows opens a device, not a file, for these names in any folder and with any extension
// ("C:\App\com1.txt" is the serial port): reading one can block for ever, writing one prints.
static bool namesADevice(const char* component, size_t length) {
  size_t base = 0;
  while (base < length && component[base] != '.') base++;
  while (base > 0 && component[base - 1] == ' ') base--;
  for (const char* device : {"con", "prn", "aux", "nul", "conin$", "conout$"})
    if (equalsFolded(component, base, device)) return true;
  if (base != 4 || !(equalsFolded(component, 3, "com") || equalsFolded(component, 3, "lpt"))) return false;
  unsigned char digit = static_cast<unsigned char>(component[3]);
  // Windows also counts the superscript digits one, two and three (code page 1252) as digits here.
  return (digit >= '0' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
}

bool isSafeRelativeName(const char* name) { return isSafeRelativeName(name, isLeadByte); }

bool isSafeRelativeName(const char* name, LeadByteTest isLead) {
  size_t length = std::strlen(name);
  if (length > static_cast<size_t>(kMaxNameLength) || std::strchr(name, ':')) return false;
  // Components end at a separator character only: a 0x5C that is the second byte of a
  // double-byte character separates nothing.
  const char* component = name;
  for (const char* at = name;; at = nextCharacter(at, isLead)) {
    if (*at == '\\' || *at == '/' || *at == '\0') {
      size_t componentLength = static_cast<size_t>(at - component);
      if (climbsOut(component, componentLength) || namesADevice(component, componentLength)) return false;
      if (*at == '\0') return true;
      component = at + 1;
    }
  }
}
