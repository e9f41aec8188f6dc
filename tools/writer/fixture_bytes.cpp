#include "writer/fixture_bytes.h"

#include <random>

namespace patchwriter {

Bytes randomBytes(size_t count, uint32_t seed) {
  std::mt19937 generator(seed);
  Bytes bytes(count);
  for (auto& byte : bytes) byte = static_cast<uint8_t>(generator());
  return bytes;
}

Bytes textBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

}  // namespace patchwriter
