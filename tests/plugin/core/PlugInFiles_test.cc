// Reads of approved files where no page reaches, under the literal policy:
// the host's block, ranges past 32 bits, reads of many blocks, the size limit.
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <taplatform/tastring.h>

#include "FakeHarlune.h"
#include "LiteralPolicy.h"
#include "core/PlugIn.h"

namespace Harlune {
namespace Web {
namespace {

class ApprovedFiles : public ::testing::Test {
protected:
  void SetUp() override { PlugIn::pathsSelectedByUser.clear(); }
  void TearDown() override { PlugIn::pathsSelectedByUser.clear(); }
  // An approved file of that name and content in the temporary home.
  std::string file(const std::string& name, const std::string& content) {
    const std::string path = home.path() + "/" + name;
    std::ofstream(path, std::ios::binary) << content;
    PlugIn::addToApprovedFileList({path}, "");
    return path;
  }
  Testing::TempHome home;
  PlugIn core;
};

// The host has the text written into its own block: asked for once, with
// room for the NUL; no block at all is the encoding failure. Refusals, also
// of ranges past 32 bits, come before any block is asked for.
TEST_F(ApprovedFiles, DataUrlIntoTheCallersBlock) {
  const std::string path = file("notes.txt", "abc");
  std::vector<size_t> asked;
  std::string block;
  auto give = [&](size_t size) -> char* {
    asked.push_back(size);
    block.assign(size, '#');
    return &block[0];
  };
  EXPECT_EQ(core.readFileAsArrayBuffer(path, give), "");
  EXPECT_EQ(block, std::string("data:text/plain;base64,YWJj", 28));
  EXPECT_EQ(core.readFileChunkAsArrayBuffer(path, 2, 1, give), "");
  EXPECT_EQ(block, std::string("data:text/plain;base64,Yw==", 28));
  const std::pair<uint64_t, uint64_t> refused[] = {
      {3, 1}, {4294967295u, 1}, {1, 4294967295u}, {UINT64_MAX, 2}, {2, UINT64_MAX}};
  for (const auto& r : refused) {
    EXPECT_EQ(core.readFileChunkAsArrayBuffer(path, r.first, r.second, give),
              "Offset and chunk size cannot be negative, and the sum can't be greater than the "
              "file size");
  }
  EXPECT_EQ(asked, (std::vector<size_t>{28, 28}));
  EXPECT_EQ(core.readFileAsArrayBuffer(path, [](size_t) -> char* { return nullptr; }),
            "Error converting string encoding");
}

// Large reads go through in blocks; their texts must join into the text of
// the whole range, wherever it starts. A read takes 50 MiB and no more.
TEST_F(ApprovedFiles, ReadsOfManyBlocksUpToFiftyMebibytes) {
  std::string bytes(52428800, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 7919) >> 3);
  const std::string path = file("big.zzunknown", bytes), over = file("over.zzunknown", "");
  ASSERT_EQ(::truncate(over.c_str(), 52428801), 0);
  auto encode = [](const std::string& in) {
    std::string out(4 * ((in.size() + 2) / 3) + 1, '\0');
    EXPECT_EQ(ta_str_buf_to_base64(in.data(), in.size(), &out[0], out.size()), 0);
    out.pop_back();
    return "data:;base64," + out;
  };
  // Compared as booleans: a failure would otherwise print megabytes.
  EXPECT_TRUE(core.readFileAsArrayBuffer(path) == encode(bytes));
  const uint64_t offset = 786431, size = 1000001;
  EXPECT_TRUE(core.readFileChunkAsArrayBuffer(path, offset, size) ==
              encode(bytes.substr(offset, size)));
  EXPECT_EQ(core.readFileAsArrayBuffer(over), "Exceeded maximum allowed file size: " + over);
}

}  // namespace
}  // namespace Web
}  // namespace Harlune
