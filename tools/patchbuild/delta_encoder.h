// Turns an old and a new file into the copy and literal commands of one delta, choosing the
// commands by what they will cost in the deflated payload.
//
// Two match finders share one command builder:
//  - the suffix matcher (files up to `suffixLimit`): the longest match at every position of the
//    new file, over the whole old file; an optimal parse then picks copies and literal runs by
//    the cost model (a shortest path over positions, linear time);
//  - the anchor matcher (larger old files): a hash of every 16th 32-byte window of the old file,
//    probed at every position of the new file, each hit extended both ways; greedy.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>

#include "patchbuild/cost_model.h"
#include "writer/payload_writer.h"

namespace patchbuild {

struct DeltaOptions {
  size_t suffixLimit = size_t{48} << 20;  // old files up to this size use the suffix matcher
  uint32_t minimumCopy = 6;                // shorter copies are never considered
  uint32_t searchBelow = 8;                // look for a new match once the current one is this short
  size_t window = size_t{1} << 16;         // positions per step of the optimal parse
  // The target is cut every `partSize` bytes (the last part takes the rest) and each part is
  // parsed on its own, so the commands depend on the sizes alone; `threads` only decides how
  // many parts are parsed at once.
  size_t partSize = size_t{2} << 20;
  unsigned threads = 1;
};

struct EncodedDelta {
  patchwriter::DeltaCommands commands;
  uint64_t estimatedCost = 0;  // cost units of the cost model
  uint64_t wholeCost = 0;      // what writing the target whole would cost, by the same model
};

// Targets smaller than this are one part with the default options: no use for more threads.
constexpr size_t kParallelTargetSize = size_t{4} << 20;

// Called with the number of new-file bytes encoded so far.
using EncodeProgress = std::function<void(uint64_t done)>;

// Commands that rebuild `target` from `old`, chosen by the target's cost model. Both must be
// shorter than 2 GiB.
EncodedDelta encodeDelta(const uint8_t* old, size_t oldSize, const uint8_t* target, size_t size,
                         const DeltaOptions& options = {}, const EncodeProgress& progress = {});

}  // namespace patchbuild
