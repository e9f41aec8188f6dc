// One delta record: the target is checked, rebuilt into its temporary file from copy and
// literal commands, the result checked, and only then put in the target's place.
#pragma once
#include <cstdint>

#include "state/patch_state.h"
#include "patchdata/payload_records.h"

// Carries out (or passes over) the delta record `op` of type 1 or 2. Returns an ApplyResult.
int32_t applyDelta(PatchState& state, PatchOp& op);

// Whether a delta of `type` for source version `version` applies when the update started from
// `identifiedVersion`: a chained delta serves every version up to its own, an exact one only it.
bool deltaApplies(uint8_t type, int16_t version, int32_t identifiedVersion);
