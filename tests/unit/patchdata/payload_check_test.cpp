#include "patchdata/payload_check.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "writer/payload_writer.h"

namespace {

using patchwriter::Bytes;
using patchwriter::DeltaCommands;
using patchwriter::PayloadWriter;

PayloadWriter richPayload() {
  Bytes oldFile = {'o', 'l', 'd', ' ', 'f', 'i', 'l', 'e'};
  PayloadWriter writer;
  writer.registryPath("HKEY_LOCAL_MACHINE\\SOFTWARE\\Example\\Path")
      .message("T_MAINTITLE", "Example Update")
      .message("T_IDENT0", "one|two")
      .versionCount(3)
      .workTotals({100, 50})
      .identFile("app.exe", {1, 2, 3})
      .identFile("data\\main.pak", {0, 5, 6})
      .delta(patchwriter::makeDelta(patchwriter::kChainedDelta, 0, "app.exe", oldFile,
                                    DeltaCommands().copy(3, 0).literal("new").copy(0, 7)))
      .writeFile("data\\readme.txt", Bytes{'h', 'i'})
      .deleteFile("old.dll")
      .rename("a.txt", "b.txt")
      .makeFolder("data\\extra")
      .removeFolder("data\\gone")
      .rawOp(0, Bytes{1, 2, 3})
      .rawOp(200, Bytes{});
  return writer;
}

PayloadProblem check(const Bytes& payload) {
  // An exact-size copy, so that the sanitizers catch any read beyond it.
  std::unique_ptr<uint8_t[]> copy(new uint8_t[payload.size()]);
  std::copy(payload.begin(), payload.end(), copy.get());
  return checkPayloadStructure(copy.get(), payload.size());
}

TEST(PayloadCheck, WellFormedPayloadsPass) {
  EXPECT_FALSE(check(richPayload().build()).found);
  EXPECT_FALSE(check(PayloadWriter().build()).found) << "the 21-byte smallest payload";
  Bytes trailing = richPayload().build();
  trailing.push_back(0xAA);
  EXPECT_FALSE(check(trailing).found) << "bytes after the last record are never read";
  EXPECT_FALSE(check(PayloadWriter().forceMessageCount(-3).forceOpCount(-1).build()).found)
      << "negative counts mean no entries";
}

TEST(PayloadCheck, EveryTruncationIsRefusedWithoutReadingPastTheEnd) {
  Bytes payload = richPayload().build();
  for (size_t length = 4; length < payload.size(); length++) {
    SCOPED_TRACE(length);
    PayloadProblem problem = check(Bytes(payload.begin(), payload.begin() + length));
    EXPECT_TRUE(problem.found);
    EXPECT_LE(problem.offset, length);
  }
}

TEST(PayloadCheck, InconsistentSectionsAreRefused) {
  struct Case {
    const char* name;
    std::function<Bytes()> make;
  };
  auto withOp = [](uint8_t type, Bytes body) { return PayloadWriter().rawOp(type, body).build(); };
  const Case kCases[] = {
      {"registry path of 2048 bytes", [] { return PayloadWriter().registryPath(std::string(2048, 'r')).build(); }},
      {"message count larger than its entries", [] { return PayloadWriter().message("k", "t").forceMessageCount(2).build(); }},
      {"work totals beyond the end", [] { return PayloadWriter().versionCount(0x40000000).build(); }},
      {"identification count larger than its entries", [] { return PayloadWriter().forceIdentFileCount(1).build(); }},
      {"operation count larger than its records", [] { return PayloadWriter().forceOpCount(1).build(); }},
      {"record body longer than the payload", [] { return PayloadWriter().rawOpWithLength(9, 100, Bytes{1}).build(); }},
      {"delete name without terminator", [&] { return withOp(patchwriter::kDeleteFile, Bytes{'a', 'b'}); }},
      {"rename with one name only", [&] { return withOp(patchwriter::kRename, Bytes{'a', 0}); }},
      {"delta header cut short", [&] { return withOp(patchwriter::kChainedDelta, Bytes{0, 0, 'a', 0, 1, 2}); }},
      {"literal longer than its record",
       [] {
         patchwriter::DeltaRecord delta;
         delta.name = "f";
         delta.commands.raw({5, 0, 0, 0x80, 'a', 'b'});
         return PayloadWriter().delta(delta).build();
       }},
      {"copy without its offset",
       [] {
         patchwriter::DeltaRecord delta;
         delta.name = "f";
         delta.commands.raw({5, 0, 0, 0, 1, 2});
         return PayloadWriter().delta(delta).build();
       }},
      {"command word cut off",
       [] {
         patchwriter::DeltaRecord delta;
         delta.name = "f";
         delta.commands.raw({5, 0});
         return PayloadWriter().delta(delta).build();
       }},
      {"delta name climbing out",
       [] {
         patchwriter::DeltaRecord delta;
         delta.name = "..\\outside.exe";
         return PayloadWriter().delta(delta).build();
       }},
      {"write-file name with a drive", [] { return PayloadWriter().writeFile("C:\\Windows\\evil.dll", Bytes{}).build(); }},
      {"rename target climbing out", [] { return PayloadWriter().rename("a", "data\\..\\..\\b").build(); }},
      {"identification name climbing out", [] { return PayloadWriter().identFile("../x", {1}).build(); }},
      {"name of 1024 characters", [] { return PayloadWriter().makeFolder(std::string(1024, 'n')).build(); }},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    PayloadProblem problem = check(c.make());
    EXPECT_TRUE(problem.found);
    EXPECT_NE(problem.what, nullptr);
  }
}

}  // namespace
