// Writes payloads and containers in the updater's format: the library that test fixtures and
// the patch builder stand on. Every section is written in payload order by build(), whatever
// order the calls came in.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace patchwriter {

using Bytes = std::vector<uint8_t>;

enum OpType : uint8_t {
  kChainedDelta = 1,
  kExactDelta = 2,
  kWriteFile = 3,
  kDeleteFile = 4,
  kRename = 5,
  kMakeFolder = 6,
  kRemoveFolder = 7,
};

// The command stream of one delta: copies from the old file and literal bytes.
class DeltaCommands {
 public:
  DeltaCommands& copy(uint32_t length, uint32_t offset);
  DeltaCommands& literal(const std::string& bytes);
  DeltaCommands& literal(const Bytes& bytes);
  DeltaCommands& literal(const uint8_t* bytes, size_t count);
  DeltaCommands& raw(const Bytes& bytes);  // anything at all, for malformed fixtures
  DeltaCommands& append(const DeltaCommands& more);  // the commands of `more`, after these

  const Bytes& bytes() const { return encoded_; }
  void reserve(size_t bytes) { encoded_.reserve(bytes); }
  void shrinkToFit() { encoded_.shrink_to_fit(); }
  // Applies the well-formed commands to `oldFile`; copies past its end take what is there.
  Bytes apply(const Bytes& oldFile) const;
  uint64_t copiedBytes() const { return copied_; }
  uint64_t literalBytes() const { return literal_; }
  size_t commandCount() const { return commands_; }

 private:
  Bytes encoded_;
  uint64_t copied_ = 0, literal_ = 0;
  size_t commands_ = 0;
};

struct DeltaRecord {
  OpType type = kChainedDelta;
  int16_t version = 0;
  std::string name;
  uint32_t newSize = 0, newChecksum = 0, oldSize = 0, oldChecksum = 0;
  DeltaCommands commands;
};

// Fills in sizes and checksums of a delta from the old content and its commands.
DeltaRecord makeDelta(OpType type, int16_t version, const std::string& name, const Bytes& oldFile,
                      const DeltaCommands& commands);

// Units the updater reports while applying a delta to completion: the old file's checksum,
// every copied byte twice, every literal byte once, the new file's checksum.
uint64_t deltaWork(const DeltaRecord& delta);

class PayloadWriter {
 public:
  PayloadWriter& registryPath(const std::string& path);
  PayloadWriter& message(const std::string& key, const std::string& text);
  PayloadWriter& versionCount(int32_t count);
  PayloadWriter& workTotals(const std::vector<uint32_t>& totals);
  PayloadWriter& identFile(const std::string& name, const std::vector<uint32_t>& checksums);

  PayloadWriter& delta(const DeltaRecord& record);
  PayloadWriter& writeFile(const std::string& name, const Bytes& contents);
  PayloadWriter& deleteFile(const std::string& name);
  PayloadWriter& rename(const std::string& oldName, const std::string& newName);
  PayloadWriter& makeFolder(const std::string& name);
  PayloadWriter& removeFolder(const std::string& name);
  // A record with any type and body, its bodyLength taken from the body.
  PayloadWriter& rawOp(uint8_t type, const Bytes& body);
  // A record whose bodyLength field says `bodyLength` whatever follows.
  PayloadWriter& rawOpWithLength(uint8_t type, uint32_t bodyLength, const Bytes& body);

  // Overrides the counts written, for fixtures whose counts disagree with their entries.
  PayloadWriter& forceMessageCount(int32_t count);
  PayloadWriter& forceIdentFileCount(int32_t count);
  PayloadWriter& forceOpCount(int32_t count);

  // The payload with its leading checksum.
  Bytes build() const;
  // Offset where the operation count starts within build()'s result.
  size_t opListOffset() const;

 private:
  Bytes head() const;
  std::string registryPath_;
  std::vector<std::pair<std::string, std::string>> messages_;
  int32_t versionCount_ = 1;
  std::vector<uint32_t> workTotals_;
  std::vector<std::pair<std::string, std::vector<uint32_t>>> identFiles_;
  std::vector<Bytes> ops_;
  bool forcedMessageCount_ = false, forcedIdentCount_ = false, forcedOpCount_ = false;
  int32_t messageCount_ = 0, identCount_ = 0, opCount_ = 0;
};

// Low-level helpers, shared with the builder and with tests that corrupt fixtures.
void appendU8(Bytes& out, uint8_t value);
void appendI16(Bytes& out, int16_t value);
void appendU32(Bytes& out, uint32_t value);
void appendString(Bytes& out, const std::string& text);  // with its terminating zero
uint32_t readU32(const Bytes& bytes, size_t offset);
void writeU32(Bytes& bytes, size_t offset, uint32_t value);

// Recomputes the payload's leading checksum after a test changed its bytes.
void fixPayloadChecksum(Bytes& payload);

}  // namespace patchwriter
