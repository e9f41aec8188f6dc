// Runs a fuzz target once on every input it is given, for builds without libFuzzer: the seeds
// and the kept crash inputs are replayed by every test run.
//   fuzz_<target> SEEDS [KEPT...]
// SEEDS is a folder that must hold at least one input: a wrong or empty seed folder would
// otherwise pass without testing anything. Each KEPT is a file, or a folder of them, and may be
// missing (a target without kept crash inputs).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fs = std::filesystem;

namespace {

void runOne(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // A buffer of exactly the input's size, so that the sanitizers see any read past it.
  std::vector<uint8_t> exact(bytes);
  LLVMFuzzerTestOneInput(exact.empty() ? nullptr : exact.data(), exact.size());
}

// The regular files that `given` names: itself, or those of the folder, in name order.
std::vector<fs::path> inputsOf(const fs::path& given) {
  std::vector<fs::path> files;
  std::error_code ignored;
  if (fs::is_directory(given, ignored)) {
    for (const auto& entry : fs::directory_iterator(given, ignored))
      if (entry.is_regular_file()) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
  } else if (fs::is_regular_file(given, ignored)) {
    files.push_back(given);
  }
  return files;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s SEEDS [KEPT...]\n", argv[0]);
    return 2;
  }
  std::vector<fs::path> seeds = inputsOf(argv[1]);
  if (seeds.empty()) {
    std::fprintf(stderr, "%s: no inputs in %s: nothing would be tested\n", argv[0], argv[1]);
    return 2;
  }
  size_t count = 0;
  for (int i = 1; i < argc; i++) {
    for (const fs::path& file : i == 1 ? seeds : inputsOf(argv[i])) {
      runOne(file);
      count++;
    }
  }
  std::printf("replayed %zu inputs\n", count);
  return 0;
}
