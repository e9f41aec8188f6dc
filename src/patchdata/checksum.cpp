// The checksum engine: the register update, which runs the fastest kernel this CPU supports,
// and the checksum of a memory block or of a whole file.
#include "patchdata/checksum.h"

#include "patchdata/checksum_kernels.h"
#include "patchdata/checksum_tables.h"
#include "platform/files.h"

namespace {

const ChecksumKernel& firstSupportedKernel() {
  std::span<const ChecksumKernel> kernels = checksumKernels();
  for (const ChecksumKernel& kernel : kernels)
    if (kernel.supported()) return kernel;
  return kernels.back();  // runs on every CPU
}

}  // namespace

const ChecksumKernel& chosenChecksumKernel() {
  // Chosen at the first checksum, which may come before main(): the kernel list is constant
  // data, and a function-local static is initialised once, thread-safely, by its first caller.
  static const ChecksumKernel& chosen = firstSupportedKernel();
  return chosen;
}

uint32_t checksumUpdate(uint32_t checksumRegister, const uint8_t* bytes, size_t length) {
  return chosenChecksumKernel().update(checksumRegister, bytes, length);
}

PatchChecksum::PatchChecksum() {
  for (int i = 0; i < 256; i++) table[i] = kChecksumTables.entries[0][i];
}

uint32_t PatchChecksum::checksum(const void* bytes, int32_t length) const {
  if (length <= 0) return kChecksumStart;
  return checksumUpdate(kChecksumStart, static_cast<const uint8_t*>(bytes),
                        static_cast<size_t>(length));
}

uint32_t PatchChecksum::checksumFile(const char* path) {
  // One block serves every file: identification and application checksum each file once or
  // more, and a fresh 256 KiB allocation would be mapped and cleared anew each time. Checksums
  // never run two at once (the updater has one thread), so nothing else uses it meanwhile.
  static uint8_t block[kChecksumBlockSize];
  PlatformFile* file = openRead(path);
  if (!file) return 0;
  uint32_t checksumRegister = kChecksumStart;
  for (;;) {
    size_t got = readFile(file, block, kChecksumBlockSize);
    checksumRegister = checksumUpdate(checksumRegister, block, got);
    bool goOn = progress.report(static_cast<int32_t>(got));
    if (got == 0 || !goOn) break;
  }
  closeFile(file);
  return checksumRegister;
}
