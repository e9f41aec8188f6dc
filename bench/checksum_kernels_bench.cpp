// Throughput of each checksum kernel this CPU supports, and of the byte-loop reference, on
// buffers that stay in L1/L2 (4 KiB, 256 KiB: one file block) and that stream from memory
// (16 MiB). Prints bytes per second; never part of the tests.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "patchdata/checksum.h"
#include "patchdata/checksum_kernels.h"

namespace {

void checksumBuffer(benchmark::State& state, ChecksumUpdateFunction update) {
  std::vector<uint8_t> buffer(static_cast<size_t>(state.range(0)));
  for (size_t i = 0; i < buffer.size(); i++) buffer[i] = static_cast<uint8_t>(i * 131 + 7);
  for (auto _ : state) {
    uint32_t result = update(kChecksumStart, buffer.data(), buffer.size());
    benchmark::DoNotOptimize(result);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void registerKernel(const std::string& name, ChecksumUpdateFunction update) {
  benchmark::RegisterBenchmark(("checksum/" + name).c_str(), checksumBuffer, update)
      ->Arg(4 << 10)
      ->Arg(256 << 10)
      ->Arg(16 << 20);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  for (const ChecksumKernel& kernel : checksumKernels())
    if (kernel.supported()) registerKernel(kernel.name, kernel.update);
  registerKernel("reference", checksumUpdateReference);
  benchmark::AddCustomContext("checksumUpdate uses", chosenChecksumKernel().name);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
