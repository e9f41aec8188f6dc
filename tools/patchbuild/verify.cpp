// The dry run: the install folder read into the model, then identified and applied record by record.
#include "patchbuild/verify.h"

#include <fmt/format.h>

#include <filesystem>
#include <set>

#include "patchbuild/codepage.h"
#include "patchbuild/container_info.h"
#include "patchbuild/file_bytes.h"
#include "patchbuild/folder_scan.h"
#include "patchbuild/host/host.h"
#include "patchbuild/simulator.h"
#include "patchdata/checksum.h"

namespace fs = std::filesystem;

namespace patchbuild {

namespace {

constexpr int kUtf8 = 65001;  // names on disk, and names converted for display

// The path on disk of a payload name below `root`, each component found without regard to
// case (as Windows would); empty when some component does not exist.
fs::path findOnDisk(const fs::path& root, const std::string& utf8Name) {
  fs::path at = root;
  size_t start = 0;
  while (start <= utf8Name.size()) {
    size_t slash = utf8Name.find('\\', start);
    std::string component = utf8Name.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    std::error_code code;
    if (fs::exists(at / host::pathFromUtf8(component), code)) {
      at /= host::pathFromUtf8(component);
    } else {
      fs::path match;
      for (fs::directory_iterator it(at, code), end; !code && it != end; it.increment(code))
        if (foldName(it->path().filename().string(), kUtf8) == foldName(component, kUtf8)) {
          match = it->path();
          break;
        }
      if (match.empty()) return {};
      at = match;
    }
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  return at;
}

class InstallModel {
 public:
  InstallModel(const fs::path& root, int codePage, ContentTable& contents)
      : root_(root), codePage_(codePage), contents_(contents) {}

  // Adds what lies on disk at payload name `name` (and its parent folders) to the state.
  void add(const std::string& name, SimState& state) {
    std::string folded = foldName(name, codePage_);
    if (name.empty() || !seen_.insert(folded).second) return;
    std::vector<size_t> separators = separatorOffsets(name, codePage_);
    if (!separators.empty()) add(name.substr(0, separators.back()), state);
    fs::path path = findOnDisk(root_, fromCodePage(name, codePage_));
    std::error_code code;
    if (path.empty()) return;
    if (fs::is_directory(path, code)) {
      state.folders[folded] = name;
      return;
    }
    MappedFile bytes;
    if (!bytes.open(path)) {
      state.files[folded] = {name, kUnknownContent};
      return;
    }
    uint32_t sum = fastChecksumUpdate(kChecksumStart, bytes.data(), bytes.size());
    int content = contents_.intern(bytes.size(), sum, contentHashOf(bytes.data(), bytes.size()), path);
    state.files[folded] = {name, content};
  }

  // Adds the children of a folder that a record removes, so that the model knows whether it is
  // empty; their bytes matter to no record, so they are not read.
  void addChildren(const std::string& name, SimState& state) {
    fs::path path = findOnDisk(root_, fromCodePage(name, codePage_));
    std::error_code code;
    if (path.empty() || !fs::is_directory(path, code)) return;
    for (fs::directory_iterator it(path, code), end; !code && it != end; it.increment(code)) {
      std::string converted, why;
      if (!toCodePage(it->path().filename().string(), codePage_, converted, why)) continue;
      std::string child = name + "\\" + converted;
      std::string folded = foldName(child, codePage_);
      if (!seen_.insert(folded).second) continue;
      if (it->is_directory(code)) {
        state.folders[folded] = child;
        addChildren(child, state);
      } else {
        state.files[folded] = {child, kUnknownContent};
      }
    }
  }

 private:
  fs::path root_;
  int codePage_;
  ContentTable& contents_;
  std::set<std::string> seen_;
};

}  // namespace

bool verifyInstall(const std::string& containerPath, const std::string& folder, int codePage,
                   VerifyReport& report, std::string& error) {
  report = VerifyReport{};
  std::error_code code;
  if (!fs::is_directory(host::pathFromUtf8(folder), code)) {
    error = fmt::format("{}: the folder does not exist", folder);
    return false;
  }
  ContainerInfo info;
  if (!readContainer(containerPath, info, error)) return false;
  report.versionCount = info.versionCount;
  ContentTable contents;
  Simulator simulator(contents, codePage);
  if (!simulator.load(info.payload, error)) return false;
  SimState state;
  InstallModel model(host::pathFromUtf8(folder), codePage, contents);
  for (const auto& [name, checksums] : info.identFiles) {
    model.add(name, state);
    model.add(temporaryName(name), state);
  }
  for (const OpInfo& op : info.ops) {
    model.add(op.name, state);
    model.add(op.newName, state);
    if (op.type >= 1 && op.type <= 3) model.add(temporaryName(op.name), state);
  }
  for (const OpInfo& op : info.ops)
    if (op.type == 7) model.addChildren(op.name, state);
  auto text = [&](const std::string& bytes) { return fromCodePage(bytes, codePage); };

  // Identification, as the updater does it, after putting back a file whose swap was cut off.
  simulator.restoreInterruptedSwaps(state);
  for (const auto& [name, checksums] : info.identFiles) {
    auto file = state.files.find(foldName(name, codePage));
    uint32_t found = file != state.files.end() && file->second.content >= 0 ? contents[file->second.content].checksum : 0;
    std::string expected;
    for (uint32_t value : checksums) expected += fmt::format(" {:08x}", value);
    report.lines.push_back(fmt::format("identification file {}: {:08x} (expected per version:{})", text(name), found, expected));
  }
  report.identified = simulator.identify(state);
  if (report.identified < 0) {
    report.lines.push_back("not recognised: the identification files match no known version");
    return true;
  }
  if (report.identified == info.versionCount - 1) {
    report.lines.push_back(fmt::format("version {} of {}: already the newest version, nothing to do",
                                       report.identified, info.versionCount));
    report.wouldSucceed = true;
    return true;
  }
  report.lines.push_back(fmt::format("version {} of {} (0 is the oldest): an update would run",
                                     report.identified, info.versionCount));
  uint64_t work = 0;
  for (size_t index = 0; index < info.ops.size(); index++) {
    const OpInfo& op = info.ops[index];
    Simulator::Effect effect;
    SimOutcome outcome = simulator.applyRecord(report.identified, state, index, effect);
    work += outcome.work;
    std::string what = op.type == 5 ? fmt::format("{} {} -> {}", opTypeName(op.type), text(op.name), text(op.newName))
                                    : fmt::format("{} {}", opTypeName(op.type), text(op.name));
    if (!outcome.ok()) {
      report.lines.push_back(fmt::format("record {} {}: would FAIL: {}{}", index + 1, what, outcome.detail,
                                         outcome.problem == SimProblem::ApplyFailed
                                             ? fmt::format(" (error {})", 800 + outcome.code)
                                             : std::string(" (its temporary file would replace another)")));
      return true;
    }
    std::string result = effect == Simulator::Effect::PassedOver     ? "passed over (another version's)"
                         : effect == Simulator::Effect::AlreadyNew   ? "already done"
                         : effect == Simulator::Effect::Ignored      ? "no effect (ignored by the updater)"
                         : effect == Simulator::Effect::FinishedSwap ? "finishes an update that was cut off (its new content waits in the temporary file)"
                         : effect == Simulator::Effect::WrittenInPlace
                             ? fmt::format("applies, written in place because {}", text(outcome.detail))
                             : "applies";
    report.lines.push_back(fmt::format("record {} {}: {}", index + 1, what, result));
  }
  uint64_t expected = info.workTotals[static_cast<size_t>(report.identified)];
  report.lines.push_back(fmt::format("progress: {} units reported, the bar's total is {}{}", work, expected,
                                     work == expected ? "" : " (the bar would not end exactly at its maximum)"));
  report.wouldSucceed = true;
  return true;
}

}  // namespace patchbuild
