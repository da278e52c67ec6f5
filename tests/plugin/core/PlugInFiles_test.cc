#include <sys/stat.h>
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

  std::string file(const std::string& name, const std::string& content) {
    const std::string path = home.path() + "/" + name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }

  Testing::TempHome home;
  PlugIn core;
};

std::string jsonError(const std::string& message) {
  return "{\"error\":{\"code\":-1,\"internal_message\":\"Invalid request\",\"user_message\":\"" +
         message + "\"}}";
}

TEST_F(ApprovedFiles, PathsAreNormalisedOnBothSides) {
  PlugIn::addToApprovedFileList({"/a/b/", "", "\\c\\d", "/e"}, "");
  EXPECT_TRUE(PlugIn::isFileAllowed("/a/b", ""));
  EXPECT_TRUE(PlugIn::isFileAllowed("/a/b/", ""));
  EXPECT_TRUE(PlugIn::isFileAllowed("/c/d", ""));
  EXPECT_TRUE(PlugIn::isFileAllowed("\\e", ""));
  EXPECT_FALSE(PlugIn::isFileAllowed("/a/b/c", ""));  // no prefix rule
  EXPECT_FALSE(PlugIn::isFileAllowed("/a", ""));
  EXPECT_FALSE(PlugIn::isFileAllowed("", ""));
  EXPECT_EQ(PlugIn::pathsSelectedByUser.size(), 3u);
}

TEST_F(ApprovedFiles, LastSelectedPathKeepsItsTrailingSlash) {
  core.setLastSelectedPath("C:\\Users\\me\\");
  EXPECT_EQ(core.lastSelectedPath(), "C:/Users/me/");
}

TEST_F(ApprovedFiles, WholeFileAsDataUrl) {
  const std::string path = file("notes.txt", "abc");
  PlugIn::addToApprovedFileList({path}, "");
  EXPECT_EQ(core.readFileAsArrayBuffer(path), "data:text/plain;base64,YWJj");
  const std::string empty = file("empty.txt", "");
  const std::string unknown = file("blob.zzunknown", "hi");
  PlugIn::addToApprovedFileList({empty, unknown}, "");
  EXPECT_EQ(core.readFileAsArrayBuffer(empty), "data:text/plain;base64,");
  EXPECT_EQ(core.readFileAsArrayBuffer(unknown), "data:;base64,aGk=");
}

TEST_F(ApprovedFiles, RefusalsAsJsonErrorsOrPlainText) {
  const std::string secret = file("secret.txt", "no");
  EXPECT_EQ(core.readFileAsArrayBuffer(secret),
            jsonError("Unable to read file context. Only files selected via standard file "
                      "dialog or drag and drop accepted: " + secret));
  // A folder approved by a drop does not make its files readable, and is
  // itself no regular file.
  PlugIn::addToApprovedFileList({home.path()}, "");
  EXPECT_EQ(core.readFileChunkAsArrayBuffer(secret, 0, 1),
            jsonError("Unable to read file context. Only files selected via standard file "
                      "dialog or drag and drop accepted: " + secret));
  EXPECT_EQ(core.readFileAsArrayBuffer(home.path()), jsonError("Invalid file type: " + home.path()));
  const std::string gone = home.path() + "/gone.txt";
  PlugIn::addToApprovedFileList({gone}, "");
  EXPECT_EQ(core.readFileAsArrayBuffer(gone), jsonError("Invalid file type: " + gone));
}

TEST_F(ApprovedFiles, SizeLimitIsExactlyFiftyMebibytes) {
  const std::string atLimit = home.path() + "/limit.zzunknown";
  const std::string over = home.path() + "/over.zzunknown";
  ASSERT_EQ(::truncate(file("limit.zzunknown", "").c_str(), 52428800), 0);
  ASSERT_EQ(::truncate(file("over.zzunknown", "").c_str(), 52428801), 0);
  PlugIn::addToApprovedFileList({atLimit, over}, "");
  const std::string url = core.readFileAsArrayBuffer(atLimit);
  EXPECT_EQ(url.substr(0, 13), "data:;base64,");
  EXPECT_EQ(url.size(), 13 + 4 * ((52428800 + 2) / 3));
  EXPECT_EQ(core.readFileAsArrayBuffer(over), "Exceeded maximum allowed file size: " + over);
}

TEST_F(ApprovedFiles, ChunksAndTheirBounds) {
  const std::string path = file("data.txt", "0123456789");
  PlugIn::addToApprovedFileList({path}, "");
  EXPECT_EQ(core.readFileChunkAsArrayBuffer(path, 0, 10), core.readFileAsArrayBuffer(path));
  EXPECT_EQ(core.readFileChunkAsArrayBuffer(path, 1, 3), "data:text/plain;base64,MTIz");
  EXPECT_EQ(core.readFileChunkAsArrayBuffer(path, 9, 1), "data:text/plain;base64,OQ==");
  const char bounds[] =
      "Offset and chunk size cannot be negative, and the sum can't be greater than the file size";
  EXPECT_EQ(core.readFileChunkAsArrayBuffer(path, 0, 0), bounds);
  EXPECT_EQ(core.readFileChunkAsArrayBuffer(path, 5, 6), bounds);
  EXPECT_EQ(core.readFileChunkAsArrayBuffer(path, 4294967295u, 1), bounds);
  EXPECT_EQ(core.readFileChunkAsArrayBuffer(path, 1, 4294967295u), bounds);
  EXPECT_EQ(core.readFileChunkAsArrayBuffer(path, UINT64_MAX, 2), bounds);
}

// The host has the text written into its own block: asked for once, with
// room for the NUL; no block at all is the encoding failure.
TEST_F(ApprovedFiles, DataUrlIntoTheCallersBlock) {
  const std::string path = file("notes.txt", "abc");
  PlugIn::addToApprovedFileList({path, home.path()}, "");
  std::vector<size_t> asked;
  std::string block;
  auto give = [&](size_t size) -> char* {
    asked.push_back(size);
    block.assign(size, '#');
    return &block[0];
  };
  EXPECT_EQ(core.readFileAsArrayBuffer(path, give), "");
  EXPECT_EQ(block, std::string("data:text/plain;base64,YWJj", 28));
  EXPECT_EQ(core.readFileChunkAsArrayBuffer(path, 1, 1, give), "");
  EXPECT_EQ(block, std::string("data:text/plain;base64,Yg==", 28));
  EXPECT_EQ(asked, (std::vector<size_t>{28, 28}));
  EXPECT_EQ(core.readFileAsArrayBuffer(path, [](size_t) -> char* { return nullptr; }),
            "Error converting string encoding");
  // Refusals come before any block is asked for.
  EXPECT_EQ(core.readFileChunkAsArrayBuffer(path, 3, 1, give),
            "Offset and chunk size cannot be negative, and the sum can't be greater than the "
            "file size");
  EXPECT_EQ(core.readFileAsArrayBuffer(home.path(), give),
            jsonError("Invalid file type: " + home.path()));
  EXPECT_EQ(asked.size(), 2u);
}

// Large reads go through in blocks; their texts must join into the text of
// the whole range, wherever the range starts.
TEST_F(ApprovedFiles, ReadsOfManyBlocksMatchOneEncoding) {
  std::string bytes(2 * 1024 * 1024 + 5, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 7919) >> 3);
  const std::string path = file("big.zzunknown", bytes);
  PlugIn::addToApprovedFileList({path}, "");
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
}

}  // namespace
}  // namespace Web
}  // namespace Harlune
