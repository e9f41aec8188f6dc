// A progress bar on stderr for long builds, drawn only when stderr is a terminal (a console).
#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

namespace patchbuild {

class Progress {
 public:
  // Draws nothing when `enabled` is false or stderr is not a terminal.
  explicit Progress(bool enabled);
  ~Progress();

  // Starts a phase of `total` units (0: no bar, just the phase name).
  void phase(const std::string& name, uint64_t total);
  // Sets the units done in this phase; may be called from any thread.
  void set(uint64_t done);
  // Adds units done; may be called from any thread.
  void add(uint64_t units);
  // Clears the bar's line.
  void finish();
  // Prints a line on stderr without breaking the bar.
  void note(const std::string& line);

 private:
  void draw(bool force);
  void time(const std::string& next);
  bool enabled_;
  bool timing_;  // PATCHBUILD_TIMING set: each phase's duration goes to stderr
  std::string timedPhase_;
  std::chrono::steady_clock::time_point phaseStart_{};
  std::mutex mutex_;
  std::string name_;
  uint64_t total_ = 0;
  std::atomic<uint64_t> done_{0};
  std::chrono::steady_clock::time_point last_{};
  bool drawn_ = false;
};

}  // namespace patchbuild
