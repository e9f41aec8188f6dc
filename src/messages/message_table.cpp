#include "messages/message_table.h"

#include <cstring>
#include <new>

#include "messages/text_copy.h"
#include "patchdata/narrow_text.h"

namespace {

char foldAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool keysEqual(const char* a, const char* b) {
  for (; *a && *b; a++, b++)
    if (foldAsciiLetter(*a) != foldAsciiLetter(*b)) return false;
  return *a == *b;
}

}  // namespace

void readMessageTable(PatchState& state) {
  int32_t count = state.cursor.readI32();
  if (count <= 0) return;
  // Every entry takes at least two bytes (two terminators), so a count beyond that cannot be
  // real and must not decide how much memory is asked for.
  if (static_cast<size_t>(count) > state.cursor.remaining() / 2)
    count = static_cast<int32_t>(state.cursor.remaining() / 2);
  state.messages = new (std::nothrow) MessageEntry[count > 0 ? count : 1];
  if (!state.messages) return;
  for (int32_t i = 0; i < count; i++) {
    const char* key = state.cursor.readString();
    const char* text = state.cursor.readString();
    if (!key || !text) break;
    MessageEntry& entry = state.messages[i];
    entry.key = copyText(key);
    entry.text = copyText(text);
    if (!entry.key || !entry.text) break;
    // A bar that is the second byte of a double-byte character is part of that character.
    for (char* c = entry.text; *c; c = nextCharacter(c))
      if (*c == '|') *c = '\n';
    state.messageCount = i + 1;
  }
}

const char* lookupText(const PatchState& state, const char* key) {
  for (int32_t i = 0; i < state.messageCount; i++)
    if (keysEqual(key, state.messages[i].key)) return state.messages[i].text;
  return kMissingText;
}
