// Runs a fuzz target once on each given file, or on every file of each given folder, for
// builds without libFuzzer: the seeds and the kept crash inputs are replayed by every test run.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fs = std::filesystem;

static void runOne(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // A buffer of exactly the input's size, so that the sanitizers see any read past it.
  std::vector<uint8_t> exact(bytes);
  LLVMFuzzerTestOneInput(exact.empty() ? nullptr : exact.data(), exact.size());
}

int main(int argc, char** argv) {
  size_t count = 0;
  for (int i = 1; i < argc; i++) {
    fs::path given(argv[i]);
    std::vector<fs::path> files;
    if (fs::is_directory(given)) {
      for (const auto& entry : fs::directory_iterator(given))
        if (entry.is_regular_file()) files.push_back(entry.path());
      std::sort(files.begin(), files.end());
    } else if (fs::exists(given)) {
      files.push_back(given);
    }
    for (const fs::path& file : files) {
      runOne(file);
      count++;
    }
  }
  std::printf("replayed %zu inputs\n", count);
  return 0;
}
