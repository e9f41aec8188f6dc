#include "writer/payload_writer.h"

#include <algorithm>

#include "patchdata/checksum.h"

namespace patchwriter {

void appendU8(Bytes& out, uint8_t value) { out.push_back(value); }

void appendI16(Bytes& out, int16_t value) {
  uint16_t bits = static_cast<uint16_t>(value);
  out.push_back(static_cast<uint8_t>(bits));
  out.push_back(static_cast<uint8_t>(bits >> 8));
}

void appendU32(Bytes& out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

void appendString(Bytes& out, const std::string& text) {
  out.insert(out.end(), text.begin(), text.end());
  out.push_back(0);
}

uint32_t readU32(const Bytes& bytes, size_t offset) {
  return static_cast<uint32_t>(bytes[offset]) | static_cast<uint32_t>(bytes[offset + 1]) << 8 |
         static_cast<uint32_t>(bytes[offset + 2]) << 16 |
         static_cast<uint32_t>(bytes[offset + 3]) << 24;
}

void writeU32(Bytes& bytes, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; i++) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

void fixPayloadChecksum(Bytes& payload) {
  writeU32(payload, 0, checksumUpdate(kChecksumStart, payload.data() + 4, payload.size() - 4));
}

// ---- delta commands ----

DeltaCommands& DeltaCommands::copy(uint32_t length, uint32_t offset) {
  appendU32(encoded_, length & 0x7FFFFFFFu);
  appendU32(encoded_, offset);
  copied_ += length & 0x7FFFFFFFu;
  commands_++;
  return *this;
}

DeltaCommands& DeltaCommands::literal(const Bytes& bytes) {
  return literal(bytes.data(), bytes.size());
}

DeltaCommands& DeltaCommands::literal(const uint8_t* bytes, size_t count) {
  appendU32(encoded_, 0x80000000u | static_cast<uint32_t>(count));
  encoded_.insert(encoded_.end(), bytes, bytes + count);
  literal_ += count;
  commands_++;
  return *this;
}

DeltaCommands& DeltaCommands::literal(const std::string& bytes) {
  return literal(Bytes(bytes.begin(), bytes.end()));
}

DeltaCommands& DeltaCommands::raw(const Bytes& bytes) {
  encoded_.insert(encoded_.end(), bytes.begin(), bytes.end());
  return *this;
}

DeltaCommands& DeltaCommands::append(const DeltaCommands& more) {
  encoded_.reserve(encoded_.size() + more.encoded_.size());
  encoded_.insert(encoded_.end(), more.encoded_.begin(), more.encoded_.end());
  copied_ += more.copied_;
  literal_ += more.literal_;
  commands_ += more.commands_;
  return *this;
}

Bytes DeltaCommands::apply(const Bytes& oldFile) const {
  Bytes result;
  size_t at = 0;
  while (at + 4 <= encoded_.size()) {
    uint32_t word = readU32(encoded_, at);
    at += 4;
    uint32_t length = word & 0x7FFFFFFFu;
    if (word & 0x80000000u) {
      size_t take = std::min<size_t>(length, encoded_.size() - at);
      result.insert(result.end(), encoded_.begin() + at, encoded_.begin() + at + take);
      at += take;
    } else if (at + 4 <= encoded_.size()) {
      uint64_t offset = readU32(encoded_, at);
      at += 4;
      uint64_t from = std::min<uint64_t>(offset, oldFile.size());
      uint64_t to = std::min<uint64_t>(offset + length, oldFile.size());
      result.insert(result.end(), oldFile.begin() + from, oldFile.begin() + to);
    }
  }
  return result;
}

DeltaRecord makeDelta(OpType type, int16_t version, const std::string& name, const Bytes& oldFile,
                      const DeltaCommands& commands) {
  Bytes newFile = commands.apply(oldFile);
  DeltaRecord record;
  record.type = type;
  record.version = version;
  record.name = name;
  record.oldSize = static_cast<uint32_t>(oldFile.size());
  record.oldChecksum = checksumUpdate(kChecksumStart, oldFile.data(), oldFile.size());
  record.newSize = static_cast<uint32_t>(newFile.size());
  record.newChecksum = checksumUpdate(kChecksumStart, newFile.data(), newFile.size());
  record.commands = commands;
  return record;
}

uint64_t deltaWork(const DeltaRecord& delta) {
  return uint64_t{delta.oldSize} + 2 * delta.commands.copiedBytes() +
         delta.commands.literalBytes() + delta.newSize;
}

// ---- payload ----

PayloadWriter& PayloadWriter::registryPath(const std::string& path) {
  registryPath_ = path;
  return *this;
}

PayloadWriter& PayloadWriter::message(const std::string& key, const std::string& text) {
  messages_.emplace_back(key, text);
  return *this;
}

PayloadWriter& PayloadWriter::versionCount(int32_t count) {
  versionCount_ = count;
  return *this;
}

PayloadWriter& PayloadWriter::workTotals(const std::vector<uint32_t>& totals) {
  workTotals_ = totals;
  return *this;
}

PayloadWriter& PayloadWriter::identFile(const std::string& name,
                                        const std::vector<uint32_t>& checksums) {
  identFiles_.emplace_back(name, checksums);
  return *this;
}

PayloadWriter& PayloadWriter::rawOpWithLength(uint8_t type, uint32_t bodyLength,
                                              const Bytes& body) {
  Bytes record;
  appendU8(record, type);
  appendU32(record, bodyLength);
  record.insert(record.end(), body.begin(), body.end());
  ops_.push_back(std::move(record));
  return *this;
}

PayloadWriter& PayloadWriter::rawOp(uint8_t type, const Bytes& body) {
  return rawOpWithLength(type, static_cast<uint32_t>(body.size()), body);
}

PayloadWriter& PayloadWriter::delta(const DeltaRecord& record) {
  Bytes body;
  appendI16(body, record.version);
  appendString(body, record.name);
  appendU32(body, record.newSize);
  appendU32(body, record.newChecksum);
  appendU32(body, record.oldSize);
  appendU32(body, record.oldChecksum);
  const Bytes& commands = record.commands.bytes();
  body.insert(body.end(), commands.begin(), commands.end());
  return rawOp(record.type, body);
}

PayloadWriter& PayloadWriter::writeFile(const std::string& name, const Bytes& contents) {
  Bytes body;
  appendString(body, name);
  body.insert(body.end(), contents.begin(), contents.end());
  return rawOp(kWriteFile, body);
}

static Bytes nameBody(const std::string& name) {
  Bytes body;
  appendString(body, name);
  return body;
}

PayloadWriter& PayloadWriter::deleteFile(const std::string& name) {
  return rawOp(kDeleteFile, nameBody(name));
}

PayloadWriter& PayloadWriter::rename(const std::string& oldName, const std::string& newName) {
  Bytes body = nameBody(oldName);
  appendString(body, newName);
  return rawOp(kRename, body);
}

PayloadWriter& PayloadWriter::makeFolder(const std::string& name) {
  return rawOp(kMakeFolder, nameBody(name));
}

PayloadWriter& PayloadWriter::removeFolder(const std::string& name) {
  return rawOp(kRemoveFolder, nameBody(name));
}

PayloadWriter& PayloadWriter::forceMessageCount(int32_t count) {
  forcedMessageCount_ = true;
  messageCount_ = count;
  return *this;
}

PayloadWriter& PayloadWriter::forceIdentFileCount(int32_t count) {
  forcedIdentCount_ = true;
  identCount_ = count;
  return *this;
}

PayloadWriter& PayloadWriter::forceOpCount(int32_t count) {
  forcedOpCount_ = true;
  opCount_ = count;
  return *this;
}

Bytes PayloadWriter::head() const {
  Bytes out;
  appendU32(out, 0);  // checksum, filled in by build()
  appendString(out, registryPath_);
  appendU32(out, static_cast<uint32_t>(forcedMessageCount_ ? messageCount_
                                                           : static_cast<int32_t>(messages_.size())));
  for (const auto& [key, text] : messages_) {
    appendString(out, key);
    appendString(out, text);
  }
  appendU32(out, static_cast<uint32_t>(versionCount_));
  for (uint32_t total : workTotals_) appendU32(out, total);
  appendU32(out, static_cast<uint32_t>(forcedIdentCount_ ? identCount_
                                                         : static_cast<int32_t>(identFiles_.size())));
  for (const auto& [name, checksums] : identFiles_) {
    appendString(out, name);
    for (uint32_t value : checksums) appendU32(out, value);
  }
  return out;
}

size_t PayloadWriter::opListOffset() const { return head().size(); }

Bytes PayloadWriter::build() const {
  Bytes out = head();
  appendU32(out, static_cast<uint32_t>(forcedOpCount_ ? opCount_ : static_cast<int32_t>(ops_.size())));
  for (const Bytes& op : ops_) out.insert(out.end(), op.begin(), op.end());
  fixPayloadChecksum(out);
  return out;
}

}  // namespace patchwriter
