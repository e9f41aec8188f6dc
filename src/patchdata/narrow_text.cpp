#include "patchdata/narrow_text.h"

#include "platform/code_page.h"

namespace {
constexpr unsigned char kLowestSecondByte = 0x40;
}

const char* nextCharacter(const char* at, LeadByteTest isLead) {
  bool pair = isLead(static_cast<unsigned char>(at[0])) && static_cast<unsigned char>(at[1]) >= kLowestSecondByte;
  return at + (pair ? 2 : 1);
}

const char* nextCharacter(const char* at) { return nextCharacter(at, isLeadByte); }

bool endsInBackslash(const char* text) {
  // Only a walk from the start tells a second byte from a character of its own.
  const char* last = nullptr;
  for (const char* at = text; *at; at = nextCharacter(at)) last = at;
  return last && *last == '\\';
}

const char* lastBackslash(const char* text) {
  const char* found = nullptr;
  for (const char* at = text; *at; at = nextCharacter(at)) {
    if (*at == '\\') found = at;
  }
  return found;
}
