// The one rule for the dialog's buttons, and the feedback hooks through which identification
// and application move the progress bar and keep the window alive.
#pragma once
#include <cstdint>

#include "state/patch_state.h"

constexpr int kProgressMaximum = 1000;

// Enables Update, Browse and Cancel and captions Update from `analysing`, `applying` and
// `status`: all disabled while work runs; Update enabled only for status 1, 4 and 6, and
// captioned "Done" for 1 and 6.
void updateControls(PatchState& state);

// Progress sinks: add `bytes` to the run's counter, send the bar its new position when it
// changed (counter x 1000 / total, 0 for a total of 0), drain the message queue, answer true.
// Identification counts in signed 32-bit arithmetic, application in unsigned.
bool identificationProgress(PatchState& state, int32_t bytes);
bool applicationProgress(PatchState& state, int32_t bytes);

// Dispatches whatever waits in the thread's message queue.
void pumpMessages();
