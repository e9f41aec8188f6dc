// The build pipeline: scan, identify, encode, plan, simulate until the list holds, deflate.
#include "patchbuild/builder.h"

#include <fmt/format.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>

#include "patchbuild/codepage.h"
#include "patchbuild/compression.h"
#include "patchbuild/cost_model.h"
#include "patchbuild/delta_encoder.h"
#include "patchbuild/file_bytes.h"
#include "patchbuild/folder_scan.h"
#include "patchbuild/identification.h"
#include "patchbuild/planner.h"
#include "patchbuild/simulator.h"
#include "patchdata/archive.h"
#include "patchdata/payload_check.h"
#include "writer/container_writer.h"
#include "writer/payload_writer.h"

namespace patchbuild {

namespace {

using Bytes = std::vector<uint8_t>;

const char* kOpNames[] = {"?", "delta", "exact delta", "write", "delete", "rename", "make folder", "remove folder"};

// Encodes every delta that the plan may want, several files at a time; large pairs one at a
// time, so that memory stays near what one of them needs.
class DeltaStore {
 public:
  DeltaStore(const ContentTable& contents, Progress* progress) : contents_(contents), progress_(progress) {}

  bool encodeAll(const std::set<std::pair<int, int>>& pairs, unsigned threads, std::string& error) {
    std::vector<std::pair<int, int>> jobs(pairs.begin(), pairs.end());
    std::sort(jobs.begin(), jobs.end(), [&](const auto& a, const auto& b) { return weight(a) > weight(b); });
    uint64_t total = 0;
    for (const auto& job : jobs) total += contents_[job.second].size;
    if (progress_) progress_->phase("encoding", total);
    // Large targets one at a time, each cut into parts for the threads; the rest side by side.
    size_t next = 0;
    for (; next < jobs.size() && contents_[jobs[next].second].size >= kParallelTargetSize; next++)
      if (!encode(jobs[next], threads, error)) return false;
    std::atomic<size_t> cursor{next};
    std::atomic<bool> failed{false};
    std::mutex errorLock;
    auto worker = [&] {
      for (;;) {
        size_t index = cursor++;
        if (index >= jobs.size() || failed) return;
        std::string why;
        if (!encode(jobs[index], 1, why)) {
          std::lock_guard<std::mutex> lock(errorLock);
          if (!failed) error = why;
          failed = true;
        }
      }
    };
    std::vector<std::thread> pool;
    for (unsigned t = 1; t < threads && t < jobs.size() - next; t++) pool.emplace_back(worker);
    worker();
    for (std::thread& thread : pool) thread.join();
    return !failed;
  }

  const EncodedDelta& delta(int source, int target) const { return deltas_.at({source, target}); }

  // Cost of writing a content whole; computed once per content.
  uint64_t writeCost(int content) {
    std::lock_guard<std::mutex> lock(lock_);
    auto found = writeCosts_.find(content);
    if (found != writeCosts_.end()) return found->second;
    MappedFile file;
    file.open(contents_[content].path);
    CostModel model = CostModel::forTarget(file.data(), file.size(), 0);
    uint64_t cost = model.literalRun(file.data(), file.size());
    writeCosts_[content] = cost;
    return cost;
  }

 private:
  uint64_t weight(const std::pair<int, int>& job) const {
    return contents_[job.first].size + contents_[job.second].size;
  }

  bool encode(const std::pair<int, int>& job, unsigned threads, std::string& error) {
    MappedFile old, target;
    if (!old.open(contents_[job.first].path) || !target.open(contents_[job.second].path)) {
      error = fmt::format("cannot read {} or {} again", contents_[job.first].path.string(),
                          contents_[job.second].path.string());
      return false;
    }
    uint64_t reported = 0;
    DeltaOptions options;
    options.threads = threads;
    EncodedDelta encoded = encodeDelta(old.data(), old.size(), target.data(), target.size(), options,
                                       [&](uint64_t done) {
                                         if (progress_) progress_->add(done - reported);
                                         reported = done;
                                       });
    if (progress_ && target.size() > reported) progress_->add(target.size() - reported);
    uint64_t write = encoded.wholeCost;
    std::lock_guard<std::mutex> lock(lock_);
    deltas_.emplace(job, std::move(encoded));
    writeCosts_.emplace(job.second, write);
    return true;
  }

  const ContentTable& contents_;
  Progress* progress_;
  std::mutex lock_;
  std::map<std::pair<int, int>, EncodedDelta> deltas_;
  std::map<int, uint64_t> writeCosts_;
};

// Threads for encoding and deflating: the settings' count, else PATCHBUILD_THREADS, else one per
// processor (at most four). The container is the same whatever the count.
unsigned threadCount(unsigned asked) {
  if (asked) return asked;
  if (const char* text = std::getenv("PATCHBUILD_THREADS")) {
    long value = std::strtol(text, nullptr, 10);
    if (value > 0) return static_cast<unsigned>(std::min(value, 256L));
  }
  return std::min(4u, std::max(1u, std::thread::hardware_concurrency()));
}

std::string convert(const std::string& utf8, int codePage) {
  std::string out, ignored;
  toCodePage(utf8, codePage, out, ignored);  // checked when the project was read
  return out;
}

bool assemblePayload(const Project& project, const std::vector<IdentEntry>& ident, int versionCount,
                     const std::vector<uint32_t>& totals, const std::vector<PlannedOp>& ops,
                     const ContentTable& contents, const DeltaStore& store, Bytes& payload,
                     std::string& error) {
  patchwriter::PayloadWriter writer;
  writer.registryPath(convert(project.registryPath, project.codePage));
  for (const auto& [key, text] : project.messages)
    writer.message(convert(key, project.codePage), convert(text, project.codePage));
  writer.versionCount(versionCount);
  writer.workTotals(totals);
  for (const IdentEntry& entry : ident) writer.identFile(entry.name, entry.expected);
  for (const PlannedOp& op : ops) {
    switch (op.type) {
      case 1:
      case 2: {
        patchwriter::DeltaRecord record;
        record.type = static_cast<patchwriter::OpType>(op.type);
        record.version = op.version;
        record.name = op.name;
        record.oldSize = static_cast<uint32_t>(contents[op.source].size);
        record.oldChecksum = contents[op.source].checksum;
        record.newSize = static_cast<uint32_t>(contents[op.target].size);
        record.newChecksum = contents[op.target].checksum;
        record.commands = store.delta(op.source, op.target).commands;
        writer.delta(record);
        break;
      }
      case 3: {
        MappedFile file;
        if (!file.open(contents[op.target].path)) {
          error = fmt::format("cannot read {} again", contents[op.target].path.string());
          return false;
        }
        writer.writeFile(op.name, Bytes(file.data(), file.data() + file.size()));
        break;
      }
      case 4: writer.deleteFile(op.name); break;
      case 5: writer.rename(op.name, op.newName); break;
      case 6: writer.makeFolder(op.name); break;
      case 7: writer.removeFolder(op.name); break;
    }
  }
  payload = writer.build();
  PayloadProblem problem = checkPayloadStructure(payload.data(), payload.size());
  if (problem.found) {
    error = fmt::format("the payload would fail the updater's structural check at offset {}: {}",
                        problem.offset, problem.what);
    return false;
  }
  return true;
}

std::string describe(const std::vector<PlannedOp>& ops, size_t index) {
  const PlannedOp& op = ops[index];
  if (op.type == 5) return fmt::format("record {} ({} {} to {})", index + 1, kOpNames[op.type], op.name, op.newName);
  return fmt::format("record {} ({} {})", index + 1, kOpNames[op.type], op.name);
}

// Where the cut-off check cuts: before every record of a short list. A long one is sampled, as
// each cut costs a run of the whole list: always around records of identification files and
// wherever the kind of record (or a delta's stage) changes, and evenly in between.
std::vector<size_t> cutPoints(const Simulator& simulator, const std::vector<PlannedOp>& ops) {
  constexpr size_t kEveryCutUpTo = 200, kEvenCuts = 64;
  const size_t records = ops.size();
  size_t step = records <= kEveryCutUpTo ? 1 : records / kEvenCuts;
  auto kindChanges = [&](size_t cut) {
    return cut == 0 || cut == records || ops[cut].type != ops[cut - 1].type ||
           ops[cut].version != ops[cut - 1].version || ops[cut].ident != ops[cut - 1].ident;
  };
  std::vector<size_t> cuts;
  for (size_t cut = 0; cut <= records; cut++) {
    bool nearIdent = (cut < records && simulator.touchesIdentFile(cut)) ||
                     (cut > 0 && simulator.touchesIdentFile(cut - 1));
    bool edge = kindChanges(cut) || (cut > 0 && kindChanges(cut - 1)) || (cut < records && kindChanges(cut + 1));
    if (cut % step == 0 || nearIdent || edge) cuts.push_back(cut);
  }
  return cuts;
}

// Cuts the update off (at cutPoints) before a record, inside a write, and inside a delta or a
// write between deleting the old file and renaming the new one, from every version; runs it
// again as the updater would after a new identification (which first puts back an
// identification file left in its temporary file), and says what does not end at the newest
// version. A part of a write left in its temporary file is no such difference: the update is
// finished, and that file is left where it is. Only the keys that records reach are followed:
// the rest stays as every run found it.
std::vector<std::string> checkInterruptions(Simulator& simulator, const std::vector<VersionTree>& versions,
                                            const std::vector<PlannedOp>& ops,
                                            const std::vector<std::string>& names) {
  std::vector<std::string> problems;
  const int count = static_cast<int>(versions.size());
  std::vector<size_t> cuts = cutPoints(simulator, ops);
  std::vector<SimState> starts;
  for (const VersionTree& tree : versions) starts.push_back(SimState::of(tree));
  std::set<std::string> keys = simulator.reachableKeys(starts);
  for (SimState& start : starts) start = SimState::only(start, keys);
  const SimState& newest = starts.back();
  for (int v = 0; v + 1 < count && problems.size() < 5; v++) {
    SimState before = starts[v];  // the run from v, advanced to each cut in turn
    size_t reached = 0;
    for (size_t cut : cuts) {
      if (cut > 0) simulator.apply(v, before, cut - 1, SimCut::None, reached);
      reached = cut > 0 ? cut - 1 : 0;
      for (SimCut how : {SimCut::None, SimCut::InsideWrite, SimCut::AfterOldDeleted}) {
        if (how == SimCut::InsideWrite && (cut == 0 || !simulator.isWrite(cut - 1))) continue;
        if (how == SimCut::AfterOldDeleted && (cut == 0 || !simulator.swapsThroughTemporary(cut - 1))) continue;
        SimState state = before;
        Simulator::Effect effect = Simulator::Effect::Ignored;
        SimOutcome cutRecord;
        if (cut > 0) cutRecord = simulator.apply(v, state, cut, how, cut - 1, &effect);
        // A write that did not go through its temporary file has no such moment: it ran whole, as
        // the cut after it sees it.
        if (how == SimCut::AfterOldDeleted && simulator.isWrite(cut - 1) && effect != Simulator::Effect::Done) continue;
        // A write in place says why, so that a vendor sees which file stands in the way.
        std::string inPlace = effect == Simulator::Effect::WrittenInPlace
                                  ? fmt::format(", written in place because {},", cutRecord.detail)
                                  : std::string();
        std::string where = cut == 0                       ? "before its first record"
                            : how == SimCut::InsideWrite     ? fmt::format("inside {}{}", describe(ops, cut - 1), inPlace)
                            : how == SimCut::AfterOldDeleted ? fmt::format("inside {}, after its old file was deleted", describe(ops, cut - 1))
                                                             : fmt::format("after {}", describe(ops, cut - 1));
        simulator.restoreInterruptedSwaps(state);
        int found = simulator.identify(state);
        std::string problem;
        if (found < 0) {
          problem = "is not recognised as any version";
        } else {
          SimOutcome again = simulator.apply(found, state);
          std::string difference = simulator.difference(state, newest);
          if (found == count - 1 && !difference.empty())
            problem = fmt::format("is recognised as the newest version although {}", difference);
          else if (!again.ok())
            problem = fmt::format("fails when run again from {} at {}", names[found], describe(ops, again.record));
          else if (!difference.empty())
            problem = fmt::format("does not end at the newest version when run again: {}", difference);
        }
        if (!problem.empty() && problems.size() < 5)
          problems.push_back(fmt::format("an update from {} cut off {} {}", names[v], where, problem));
      }
    }
  }
  return problems;
}

std::string inGiB(uint64_t bytes) { return fmt::format("{:.1f} GiB", static_cast<double>(bytes) / (1u << 30)); }

// Why an update from `version` cannot be counted, in terms a vendor can act on: what the limit
// is, which files use it up, and how far to split.
std::string tooMuchWork(Simulator& simulator, const VersionTree& tree, int version, const std::vector<PlannedOp>& ops,
                        const std::string& name, uint64_t work, uint64_t limit) {
  SimState state = SimState::of(tree);
  std::vector<std::pair<uint64_t, size_t>> shares;
  for (size_t index = 0; index < simulator.recordCount(); index++) {
    Simulator::Effect effect;
    shares.push_back({simulator.applyRecord(version, state, index, effect).work, index});
  }
  std::sort(shares.begin(), shares.end(), std::greater<>());
  std::string largest;
  for (size_t i = 0; i < shares.size() && i < 3 && shares[i].first > 0; i++)
    largest += fmt::format("{}{} ({})", i ? ", " : "", ops[shares[i].second].name, inGiB(shares[i].first));
  return fmt::format("an update from version {} moves {} of work, more than the {} that the updater's progress "
                     "counter holds; a delta counts about four times its file's size (the old file read, the new "
                     "one written and read back), a written file its size once, so about {} of changed files fit "
                     "in one patch. Most of it: {}. Split the update: a patch to an intermediate version, then one "
                     "from there", name, inGiB(work), inGiB(limit), inGiB(limit / 4), largest);
}

// Windows opens paths of at most 259 characters through the updater's narrow file calls unless
// long paths are switched on, and users install below folders of their own choosing.
constexpr size_t kTypicalInstallFolder = 60;
constexpr size_t kMaxPath = 259;

// A warning when a name that the update touches would pass that limit below a typical folder.
std::string longPathWarning(const std::vector<PlannedOp>& ops, const std::vector<IdentEntry>& ident, int codePage) {
  std::set<std::string> names;
  for (const PlannedOp& op : ops) {
    names.insert(op.name);
    if (!op.newName.empty()) names.insert(op.newName);
  }
  for (const IdentEntry& entry : ident) names.insert(entry.name);
  size_t tooLong = 0, longest = 0;
  std::string example;
  for (const std::string& payloadName : names) {
    std::string text = fromCodePage(payloadName, codePage);
    size_t characters = static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
    if (kTypicalInstallFolder + 1 + characters <= kMaxPath) continue;
    tooLong++;
    if (characters > longest) {
      longest = characters;
      example = text;
    }
  }
  if (tooLong == 0) return {};
  return fmt::format("{} name{} of the update would pass {} characters in an install folder of {} characters "
                     "(such as C:\\Program Files (x86)\\Vendor Name\\Product Name 2024 Edition): the longest is {} "
                     "({} characters). Windows opens no longer path for the updater unless long paths are "
                     "switched on, so an update there would stop with an error; shorten the names or their folders "
                     "to at most {} characters",
                     tooLong, tooLong == 1 ? "" : "s", kMaxPath, kTypicalInstallFolder, example, longest,
                     kMaxPath - kTypicalInstallFolder - 1);
}

}  // namespace

bool buildContainer(const Project& project, const BuildSettings& settings, Bytes& container,
                    BuildSummary& summary, std::string& error) {
  Progress* progress = settings.progress;
  summary = BuildSummary{};
  summary.warnings = project.warnings;
  const int count = static_cast<int>(project.versions.size());
  summary.versionCount = count;

  // Scan.
  ContentTable contents;
  std::vector<VersionTree> versions(static_cast<size_t>(count));
  std::vector<std::string> names;
  uint64_t totalBytes = 0;
  for (const ProjectVersion& version : project.versions) {
    names.push_back(fmt::format("\"{}\"", version.name));
    std::error_code code;
    for (auto it = std::filesystem::recursive_directory_iterator(version.path, code);
         !code && it != std::filesystem::recursive_directory_iterator(); it.increment(code))
      if (it->is_regular_file(code)) totalBytes += it->file_size(code);
  }
  if (progress) progress->phase("scanning", totalBytes);
  uint64_t scannedBefore = 0;
  for (int v = 0; v < count; v++) {
    std::string why;
    uint64_t last = 0;
    if (!scanVersion(project.versions[v].path, project.codePage, contents, versions[v], why,
                     [&](uint64_t done) {
                       if (progress) progress->set(scannedBefore + done);
                       last = done;
                     })) {
      error = fmt::format("version {}: {}", names[v], why);
      return false;
    }
    scannedBefore += last;
  }

  // Identification.
  if (progress) progress->phase("identifying", 0);
  if (count == 1)
    summary.warnings.push_back(fmt::format("the project has a single version ({}): the patch updates nothing; "
                                           "list the older versions before it, oldest first", names[0]));
  std::vector<IdentEntry> ident;
  if (project.autoIdentify) {
    if (!chooseIdentFiles(versions, contents, names, ident, error)) return false;
  } else if (!checkIdentFiles(versions, contents, names, project.identFiles, project.codePage, ident, error)) {
    return false;
  }
  for (const IdentEntry& entry : ident) summary.identFiles.push_back(fromCodePage(entry.name, project.codePage));

  // Deltas.
  PlanInput input;
  input.versions = &versions;
  input.contents = &contents;
  input.ident = &ident;
  input.mode = project.deltas;
  input.codePage = project.codePage;
  DeltaStore store(contents, progress);
  unsigned threads = threadCount(settings.threads);
  if (!store.encodeAll(candidateDeltas(input), threads, error)) return false;
  PlanCosts costs;
  costs.delta = [&](int source, int target) { return store.delta(source, target).estimatedCost; };
  costs.write = [&](int content) { return store.writeCost(content); };

  // Plan and simulate until no delta meets a problem that a whole-file write avoids.
  Simulator simulator(contents, project.codePage);
  std::vector<PlannedOp> ops;
  Bytes payload;
  std::vector<uint32_t> totals(static_cast<size_t>(std::max(count - 1, 0)), 0);
  for (;;) {
    if (progress) progress->phase("planning", 0);
    ops = planOperations(input, costs);
    if (settings.planHook) settings.planHook(ops);
    if (!assemblePayload(project, ident, count, totals, ops, contents, store, payload, error)) return false;
    if (progress) progress->phase("simulating", 0);
    if (!simulator.load(payload, error)) return false;
    bool replan = false;
    for (int v = 0; v < count && !replan; v++) {
      SimState state = SimState::of(versions[v]);
      simulator.restoreInterruptedSwaps(state);  // as every identification starts
      int found = simulator.identify(state);
      if (found != v) {
        error = fmt::format("version {} would be identified as {}", names[v], found < 0 ? "unknown" : names[found]);
        return false;
      }
      if (v == count - 1) break;
      SimOutcome outcome = simulator.apply(v, state);
      if (!outcome.ok()) {
        const PlannedOp& op = ops[outcome.record];
        bool delta = op.type == 1 || op.type == 2;
        std::string folded = foldName(op.name, project.codePage);
        if (delta && !input.forcedWrites.count(folded)) {
          input.forcedWrites.insert(folded);
          replan = true;
          break;
        }
        error = fmt::format("version {} cannot be brought to the newest version: {} {}{}", names[v],
                            describe(ops, outcome.record), outcome.detail,
                            outcome.problem == SimProblem::ApplyFailed
                                ? fmt::format(" (the updater would stop with error {})", 800 + outcome.code)
                                : std::string());
        return false;
      }
      std::string difference = simulator.difference(state, versions.back());
      if (!difference.empty()) {
        error = fmt::format("version {} cannot be brought to the newest version: after the update {}",
                            names[v], difference);
        return false;
      }
      if (outcome.work > settings.workLimit) {
        error = tooMuchWork(simulator, versions[v], v, ops, names[v], outcome.work, settings.workLimit);
        return false;
      }
      totals[v] = static_cast<uint32_t>(outcome.work);
    }
    if (!replan) break;
  }

  // The totals go into the payload; the list itself does not change, and is checked once more.
  if (!assemblePayload(project, ident, count, totals, ops, contents, store, payload, error)) return false;
  if (!simulator.load(payload, error)) return false;
  for (int v = 0; v + 1 < count; v++) {
    SimState state = SimState::of(versions[v]);
    simulator.restoreInterruptedSwaps(state);
    SimOutcome outcome = simulator.apply(v, state);
    if (!outcome.ok() || outcome.work != simulator.workTotals()[v] ||
        !simulator.difference(state, versions.back()).empty()) {
      error = fmt::format("internal error: the final payload does not simulate as planned from version {}", names[v]);
      return false;
    }
  }
  if (progress) progress->phase("cut-offs", 0);
  for (const std::string& problem : checkInterruptions(simulator, versions, ops, names))
    summary.warnings.push_back(problem);
  if (std::string warning = longPathWarning(ops, ident, project.codePage); !warning.empty())
    summary.warnings.push_back(warning);

  // Deflate and check the container as the updater loads it.
  if (progress) progress->phase("compressing", 0);
  DeflateResult deflated = deflatePayload(payload, project.compression, threads);
  container = patchwriter::containerFromParts(deflated.stream, static_cast<uint32_t>(payload.size()));
  PatchArchive archive;
  int code = archive.loadFromMemory(container.data(), container.size());
  if (code != kLoadOk || archive.payloadSize != payload.size() ||
      !std::equal(payload.begin(), payload.end(), archive.payload)) {
    error = fmt::format("internal error: the container does not load back (code {})", code);
    return false;
  }
  if (progress) progress->finish();
  summary.payloadSize = payload.size();
  summary.containerSize = container.size();
  summary.compression = deflated.method;
  summary.workTotals = totals;
  for (const PlannedOp& op : ops) summary.records[op.type]++;
  return true;
}

}  // namespace patchbuild
