// Deterministic file contents for fixtures, seeds and benchmarks: the same seed gives the same
// bytes on every machine and build, so a failure found once can be found again.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "writer/payload_writer.h"

namespace patchwriter {

// `count` bytes from the Mersenne Twister seeded with `seed`: incompressible, like built code.
Bytes randomBytes(size_t count, uint32_t seed);
Bytes textBytes(const std::string& text);

}  // namespace patchwriter
