#include "state/patch_state.h"

#include <cstring>

PatchState::~PatchState() {
  delete[] messages;
  delete[] workTotals;
  delete[] identFiles;
}

bool copyText(char* field, int capacity, const char* text) {
  size_t length = std::strlen(text);
  size_t room = static_cast<size_t>(capacity) - 1;
  size_t kept = length < room ? length : room;
  std::memcpy(field, text, kept);
  field[kept] = '\0';
  return length <= room;
}
