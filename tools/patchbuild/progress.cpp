// The terminal progress bar, and phase timings when PATCHBUILD_TIMING is set.
#include "patchbuild/progress.h"

#include <cstdio>
#include <cstdlib>

#include "patchbuild/host/host.h"

namespace patchbuild {

Progress::Progress(bool enabled)
    : enabled_(enabled && host::stderrIsTerminal()), timing_(std::getenv("PATCHBUILD_TIMING") != nullptr) {}

Progress::~Progress() {
  finish();
  time("");
}

void Progress::time(const std::string& next) {
  if (!timing_) return;
  auto now = std::chrono::steady_clock::now();
  if (!timedPhase_.empty()) {
    std::fprintf(stderr, "timing: %-12s %.2f s, peak memory so far %ld MB\n", timedPhase_.c_str(),
                 std::chrono::duration<double>(now - phaseStart_).count(), host::peakMemoryMiB());
  }
  timedPhase_ = next;
  phaseStart_ = now;
}

void Progress::phase(const std::string& name, uint64_t total) {
  time(name);
  if (!enabled_) return;
  std::lock_guard<std::mutex> lock(mutex_);
  name_ = name;
  total_ = total;
  done_ = 0;
  draw(true);
}

void Progress::set(uint64_t done) {
  if (!enabled_) return;
  done_ = done;
  draw(false);
}

void Progress::add(uint64_t units) {
  if (!enabled_) return;
  done_ += units;
  draw(false);
}

void Progress::draw(bool force) {
  auto now = std::chrono::steady_clock::now();
  if (!force) {
    std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
    if (!lock.owns_lock() || now - last_ < std::chrono::milliseconds(100)) return;
    last_ = now;
    uint64_t done = std::min<uint64_t>(done_, total_);
    int filled = total_ ? static_cast<int>(done * 30 / total_) : 0;
    std::fprintf(stderr, "\r%-12s [%-30.*s] %3d%%", name_.c_str(), filled,
                 "==============================", total_ ? static_cast<int>(done * 100 / total_) : 0);
    std::fflush(stderr);
    drawn_ = true;
    return;
  }
  last_ = now;
  if (total_)
    std::fprintf(stderr, "\r%-12s [%-30s]   0%%", name_.c_str(), "");
  else
    std::fprintf(stderr, "\r%-12s %-36s", name_.c_str(), "");
  std::fflush(stderr);
  drawn_ = true;
}

void Progress::finish() {
  if (!enabled_ || !drawn_) return;
  std::fprintf(stderr, "\r%-60s\r", "");
  std::fflush(stderr);
  drawn_ = false;
}

void Progress::note(const std::string& line) {
  if (enabled_) finish();
  std::fprintf(stderr, "%s\n", line.c_str());
}

}  // namespace patchbuild
