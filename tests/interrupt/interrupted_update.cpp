// The interrupted-update test: runs identification and application natively in a child process
// (native_update) and stops it at every file operation of application in turn, as a power cut
// would (nothing more reaches the disk, not even buffered data), and at random moments with
// SIGKILL; then runs the update again from what is on disk and judges the outcome:
//
//   recovered         the folder holds the newest version byte for byte, and nothing else;
//   leftovers         the newest version byte for byte, plus leftover temporary files;
//   damaged but safe  the second run identifies the folder as damaged, and every original file
//                     or its verified replacement (in its temporary file) is still on disk;
//   lost              anything else, or a file of a whole-file write that the stopped run left
//                     half written: the test fails.
//
//   interrupted_update NATIVE_UPDATE WORKDIR [--timed N] [--timed-scale S] [--seed X]
//                      [--old-version-by last-file|every-file]
//                      [--container FILE --old DIR --new DIR]
//
// By default the update is the shared scenario (made with the writer library, records in the
// patch builder's order, version 0 recognised by every identification file; "last-file"
// recognises it by the one updated last). --container with --old and --new judges a container
// built elsewhere, such as one from patchbuild, against the two version folders it was built
// from.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "update_scenario.h"
#include "writer/container_writer.h"

namespace {

namespace fs = std::filesystem;
using scenario::Bytes;
using scenario::Tree;

constexpr int kExitInterrupted = 99;

struct Options {
  std::string runner, work;
  int timedRuns = 10;
  int timedScale = 10;
  unsigned seed = 1;
  bool oldVersionByLastFile = false;
  std::string container, oldFolder, newFolder;
};

// One update to interrupt: its container on disk and what the folder holds before and after.
struct Case {
  std::string container;
  scenario::Update update;
};

struct RunResult {
  int exitCode = -1;  // -1: killed by a signal
  std::string output;
};

// Runs the native updater on `folder` with `environment` added; stops it with SIGKILL after
// `killAfter` when that is given.
RunResult runUpdater(const Options& options, const Case& c, const std::string& folder,
                     const std::vector<std::string>& environment,
                     std::chrono::microseconds killAfter = std::chrono::microseconds(-1)) {
  std::string outputPath = options.work + "/runner.out";
  pid_t child = fork();
  if (child == 0) {
    int out = open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out, STDOUT_FILENO);
    dup2(out, STDERR_FILENO);
    for (const std::string& setting : environment) putenv(const_cast<char*>(setting.c_str()));
    execl(options.runner.c_str(), options.runner.c_str(), c.container.c_str(), folder.c_str(), nullptr);
    _exit(127);
  }
  if (killAfter.count() >= 0) {
    std::this_thread::sleep_for(killAfter);
    kill(child, SIGKILL);
  }
  int status = 0;
  waitpid(child, &status, 0);
  RunResult result;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream in(outputPath);
  result.output.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return result;
}

int fieldOf(const std::string& output, const std::string& name) {
  size_t at = output.find(name + "=");
  return at == std::string::npos ? -100 : std::atoi(output.c_str() + at + name.size() + 1);
}

enum Outcome { kRecovered, kLeftovers, kDamagedButSafe, kLost, kOutcomes };
const char* const kOutcomeNames[kOutcomes] = {"recovered", "leftovers", "damaged-but-safe", "lost"};

// Judges what the interrupted run left, then runs the update again on it and judges the result.
Outcome rerunAndJudge(const Options& options, const Case& c, const std::string& folder, std::string& detail) {
  // A whole-file write is as atomic as a delta: old bytes or new ones, never a part.
  std::vector<std::string> halfWritten = scenario::halfWritten(scenario::readTree(folder), c.update);
  RunResult again = runUpdater(options, c, folder, {});
  Tree tree = scenario::readTree(folder);
  std::vector<std::string> losses = scenario::lossesIn(tree, c.update);
  std::vector<std::string> differences = scenario::differences(tree, c.update.newTree);
  std::vector<std::string> strays = scenario::strays(tree, c.update);
  detail = again.output;
  for (const std::string& line : halfWritten) detail += "  when stopped: " + line + "\n";
  for (const std::string& line : losses) detail += "  " + line + "\n";
  if (!halfWritten.empty()) return kLost;
  if (differences.empty()) return kRecovered;
  if (!losses.empty()) return kLost;
  if (differences.size() == strays.size() && again.exitCode == 0) return kLeftovers;
  if (fieldOf(again.output, "status") == 3) return kDamagedButSafe;
  for (const std::string& line : differences) detail += "  " + line + "\n";
  return kLost;
}

struct Tally {
  std::map<std::string, std::array<int, kOutcomes>> byKind;
  int lost = 0;
  void add(const std::string& kind, Outcome outcome) {
    byKind[kind][outcome]++;
    if (outcome == kLost) lost++;
  }
  void print(const char* title) const {
    std::printf("%s\n  %-16s %6s", title, "kill point", "tried");
    for (const char* name : kOutcomeNames) std::printf(" %17s", name);
    std::printf("\n");
    std::array<int, kOutcomes> total{};
    for (const auto& [kind, counts] : byKind) {
      int tried = 0;
      for (int i = 0; i < kOutcomes; i++) tried += counts[i], total[i] += counts[i];
      std::printf("  %-16s %6d", kind.c_str(), tried);
      for (int count : counts) std::printf(" %17d", count);
      std::printf("\n");
    }
    int tried = 0;
    for (int count : total) tried += count;
    std::printf("  %-16s %6d", "all", tried);
    for (int count : total) std::printf(" %17d", count);
    std::printf("\n");
  }
};

// The kind of each file operation of a clean run, from the runner's trace; index 0 unused.
std::vector<std::string> traceCleanRun(const Options& options, const Case& c, const std::string& folder) {
  std::string tracePath = options.work + "/trace.txt";
  scenario::writeTree(folder, c.update.oldTree, c.update.readOnly);
  RunResult clean = runUpdater(options, c, folder, {"PATCHUTILITY_FILE_OP_TRACE=" + tracePath});
  std::vector<std::string> kinds{""};
  if (clean.exitCode != 0 || !scenario::differences(scenario::readTree(folder), c.update.newTree).empty()) {
    std::fprintf(stderr, "interrupted_update: the uninterrupted run does not reach the newest version:\n%s",
                 clean.output.c_str());
    return {};
  }
  std::ifstream trace(tracePath);
  for (std::string line; std::getline(trace, line);) {
    std::istringstream fields(line);
    long long n;
    std::string kind;
    fields >> n >> kind;
    kinds.push_back(kind);
  }
  return kinds;
}

// Stops the run before each file operation in turn.
bool interruptAtEveryOperation(const Options& options, const Case& c, Tally& tally) {
  std::string folder = options.work + "/install";
  std::vector<std::string> kinds = traceCleanRun(options, c, folder);
  if (kinds.size() < 2) return false;
  for (size_t n = 1; n < kinds.size(); n++) {
    scenario::writeTree(folder, c.update.oldTree, c.update.readOnly);
    RunResult stopped = runUpdater(options, c, folder, {"PATCHUTILITY_EXIT_AT_FILE_OP=" + std::to_string(n)});
    if (stopped.exitCode != kExitInterrupted) {
      std::fprintf(stderr, "interrupted_update: the run meant to stop at operation %zu ended with %d:\n%s", n,
                   stopped.exitCode, stopped.output.c_str());
      return false;
    }
    std::string detail;
    Outcome outcome = rerunAndJudge(options, c, folder, detail);
    tally.add(kinds[n], outcome);
    if (outcome == kLost)
      std::printf("LOST after stopping before operation %zu (%s):\n%s", n, kinds[n].c_str(), detail.c_str());
  }
  return true;
}

// Kills the run with SIGKILL after a random part of its uninterrupted duration.
bool killAtRandomMoments(const Options& options, const Case& c, Tally& tally) {
  std::string folder = options.work + "/install-timed";
  scenario::writeTree(folder, c.update.oldTree, c.update.readOnly);
  auto start = std::chrono::steady_clock::now();
  RunResult clean = runUpdater(options, c, folder, {});
  auto duration = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
  if (clean.exitCode != 0) {
    std::fprintf(stderr, "interrupted_update: the uninterrupted timed run failed:\n%s", clean.output.c_str());
    return false;
  }
  std::printf("timed runs: an uninterrupted run takes %.1f ms\n", duration.count() / 1000.0);
  std::mt19937 random(options.seed);
  std::uniform_int_distribution<long long> moment(0, duration.count());
  for (int i = 0; i < options.timedRuns; i++) {
    scenario::writeTree(folder, c.update.oldTree, c.update.readOnly);
    std::chrono::microseconds after(moment(random));
    RunResult killed = runUpdater(options, c, folder, {}, after);
    std::string kind = killed.exitCode == -1 ? "killed (timed)" : "finished first";
    std::string detail;
    Outcome outcome = rerunAndJudge(options, c, folder, detail);
    tally.add(kind, outcome);
    if (outcome == kLost)
      std::printf("LOST after SIGKILL at %lld us:\n%s", static_cast<long long>(after.count()), detail.c_str());
  }
  return true;
}

bool writeFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

Case makeCase(const Options& options, int scale, const std::string& name) {
  Case c;
  if (!options.container.empty()) {
    c.container = options.container;
    c.update.oldTree = scenario::readTree(options.oldFolder);
    c.update.newTree = scenario::readTree(options.newFolder);
    return c;
  }
  c.update = scenario::makeUpdate(scale, options.oldVersionByLastFile);
  c.container = options.work + "/" + name;
  writeFile(c.container, patchwriter::makeContainer(c.update.payload));
  return c;
}

bool parse(int argc, char** argv, Options& options) {
  if (argc < 3) return false;
  options.runner = fs::absolute(argv[1]).string();
  options.work = fs::absolute(argv[2]).string();
  for (int i = 3; i + 1 < argc; i += 2) {
    std::string flag = argv[i], value = argv[i + 1];
    if (flag == "--timed") options.timedRuns = std::atoi(value.c_str());
    else if (flag == "--timed-scale") options.timedScale = std::atoi(value.c_str());
    else if (flag == "--seed") options.seed = static_cast<unsigned>(std::atoi(value.c_str()));
    else if (flag == "--old-version-by" && (value == "last-file" || value == "every-file"))
      options.oldVersionByLastFile = value == "last-file";
    else if (flag == "--container") options.container = fs::absolute(value).string();
    else if (flag == "--old") options.oldFolder = value;
    else if (flag == "--new") options.newFolder = value;
    else return false;
  }
  return options.container.empty() || (!options.oldFolder.empty() && !options.newFolder.empty());
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parse(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: interrupted_update NATIVE_UPDATE WORKDIR [--timed N] [--timed-scale S] [--seed X]\n"
                 "                          [--old-version-by last-file|every-file]\n"
                 "                          [--container FILE --old DIR --new DIR]\n");
    return 2;
  }
  fs::create_directories(options.work);
  Tally everyOperation, timed;
  if (!interruptAtEveryOperation(options, makeCase(options, 1, "patch.pat"), everyOperation)) return 1;
  everyOperation.print("stopped before each file operation of application, then run again:");
  if (options.timedRuns > 0) {
    if (!killAtRandomMoments(options, makeCase(options, options.timedScale, "patch-timed.pat"), timed)) return 1;
    timed.print("killed with SIGKILL at a random moment, then run again:");
  }
  return everyOperation.lost + timed.lost == 0 ? 0 : 1;
}
