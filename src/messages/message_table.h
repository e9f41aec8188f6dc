// The message table: every text the user sees after start-up, looked up by key when shown.
//
//   messageCount i32 | messageCount x (key string | text string)
#pragma once
#include "state/patch_state.h"

// What a key that the table lacks shows.
constexpr const char* kMissingText = "??????";

// Reads the table at the state's cursor and leaves the cursor on the first byte after the last
// text. Every '|' character in a text becomes a line feed (not a 0x7C that is the second byte
// of a double-byte character). A table that runs past the end of the payload
// keeps the entries read in full before that point.
void readMessageTable(PatchState& state);

// The text of the first entry whose key equals `key`, comparing letters A-Z without regard to
// case and every other byte exactly; kMissingText when there is none. Never null.
const char* lookupText(const PatchState& state, const char* key);
