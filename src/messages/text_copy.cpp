#include "messages/text_copy.h"

#include <cstring>
#include <new>

char* copyText(const char* text) {
  size_t length = std::strlen(text);
  char* copy = new (std::nothrow) char[length + 1];
  if (copy) std::memcpy(copy, text, length + 1);
  return copy;
}
