// JSON reading and error objects, path lists and escapes, file descriptions.
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Utils.h"
#include "text/Json.h"
#include "text/PathEscaper.h"
#include "text/XmlEscaper.h"

namespace Harlune {
namespace Web {
namespace {

using Paths = std::vector<std::string>;

// The message as the page reads it back, or "<invalid>" when the object does not parse.
std::string roundTrip(const std::string& errorObject) {
  const char* message[] = {"error", "user_message", nullptr};
  Json j;
  return j.parse(errorObject) && j.containsError() ? j.getString(message) : "<invalid>";
}

TEST(Json, ErrorMessagesComeBackIntactWithBadUtf8Replaced) {
  EXPECT_EQ(roundTrip(Json::createErrorAndLog(std::runtime_error("boom"), "ctx")), "ctx: boom");
  const std::string bad = "\xef\xbf\xbd";  // U+FFFD
  const std::string cases[][2] = {
      {"say \"hi\" \\ path\n\ttab \x01 end", "say \"hi\" \\ path\n\ttab \x01 end"},
      {"\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80", "\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"},
      {"a\xff b\xc3 e\xe2\x82", "a" + bad + " b" + bad + " e" + bad + bad},
      {"c\xed\xa0\x80 d\xf4\x90\x80\x80", "c" + bad + bad + bad + " d" + bad + bad + bad + bad},
  };
  for (const auto& c : cases) EXPECT_EQ(roundTrip(Json::createError(c[0])), c[1]);
}

TEST(Json, LookupsNumbersAndRefusals) {
  Json j;
  ASSERT_TRUE(j.parse("{\"error\":null,\"n\":1.50,\"e\":1e3,\"t\":true,\"s\":\"true\",\"o\":{},"
                      "\"f\":[{\"x\":\"y\"}],\"deep\":{\"x\":{\"y\":\"z\"}}}"));
  EXPECT_TRUE(j.containsError());
  std::string got;
  for (std::vector<const char*> path : std::vector<std::vector<const char*>>{
           {"n"}, {"e"}, {"s"}, {"t"}, {"o"}, {"f"}, {"missing"}, {"deep", "x", "y"}, {"s", "x"}}) {
    path.push_back(nullptr);
    got += j.getString(path.data()) + "|" + (j.isTrue(path.data()) ? "T|" : "");
  }
  EXPECT_EQ(got, "1.50|1e3|true||T||||z||");
  ASSERT_TRUE(j.parse("[{\"error\":1}]"));
  EXPECT_FALSE(j.containsError());
  // Deep nesting would be freed one recursive call per level.
  EXPECT_FALSE(j.parse(std::string(1000000, '[') + std::string(1000000, ']')));
  EXPECT_EQ(j.err(), "nesting too deep");
  EXPECT_TRUE(j.parse(std::string(Json::kMaxNesting, '[') + std::string(Json::kMaxNesting, ']')));
  EXPECT_TRUE(j.parse("{\"a\":\"" + std::string(5000, '[') + "\"}"));  // in a string: no level
  // A NUL would hide the rest of the text from the parser.
  EXPECT_FALSE(j.parse(std::string("{}\0{\"error\":1}", 14)));
}

// The relay sends a tree written anew: numbers keep their text, strings are
// escaped by the writer, and text readers could read two ways is named.
TEST(Json, WritesTheTreeAnewAndNamesWhatIsNotStrict) {
  Json j;
  ASSERT_TRUE(j.parse(" {\"n\":[1.50e3,-0,1e400],\"s\":\"\\u00e9\\/\\u0001\\\"\\ud83d\\ude00\","
                      "\"o\":{\"t\":true,\"f\":false,\"z\":null}}\n"));
  EXPECT_EQ(Json::write(j.root()),
            "{\"n\":[1.50e3,-0,1e400],\"s\":\"\xc3\xa9/\\u0001\\\"\xf0\x9f\x98\x80\","
            "\"o\":{\"t\":true,\"f\":false,\"z\":null}}");
  const std::string cases[][2] = {
      {"{\"a\":\"x\\u0000y\"}", "NUL in a string"},
      {"{\"a\\u0000\":1}", "NUL in a string"},
      {"{\"a\":\"\\ud800x\"}", "lone surrogate in a string"},
      {"{\"a\":\"\\uDC00\"}", "lone surrogate in a string"},
      {"{\"a\":1}/* c */", "comment"},
      {"{\"a\":\"/* not a comment \\\\\\\"\"}", ""}};
  for (const auto& c : cases) {
    ASSERT_TRUE(j.parse(c[0])) << c[0];
    EXPECT_EQ(Json::strictnessFault(c[0]), c[1]) << c[0];
  }
  // The parser takes a raw encoded surrogate; the writer does not.
  ASSERT_TRUE(j.parse("[\"\xed\xa0\x80\"]"));
  EXPECT_EQ(Json::write(j.root()), "");
}

TEST(PathEscaper, ListsEscapesAndJoins) {
  const struct {
    Paths paths;
    const char *colons, *json;
  } lists[] = {
      {{}, "", "[]"},
      {{"", ""}, ":", "[\"\",\"\"]"},
      {{"/a:b", "/c\\d"}, "/a\\:b:/c\\\\d", "[\"/a:b\",\"/c\\\\d\"]"},
  };
  for (const auto& c : lists) {
    EXPECT_EQ(PathEscaper::toColonSeparatedStr(c.paths), c.colons);
    EXPECT_EQ(PathEscaper::toJsonStr(c.paths), c.json);
  }
  EXPECT_EQ(PathEscaper::toJsonStr("/a\"b\\c", true), "\"/a\\\"b\\\\c\"");
  // Control bytes as lower-case escapes; DEL and UTF-8 are legal in a JSON string.
  EXPECT_EQ(PathEscaper::toJsonStr(std::string("a\nb\tc\x1f" "d\x01\0\x7f\xc3\xa9", 12), false),
            "a\\u000ab\\u0009c\\u001fd\\u0001\\u0000\x7f\xc3\xa9");
  EXPECT_EQ(XmlEscaper::escape("a<b & c>d \"it's\" &amp; \xc3\xa9\n"),
            "a&lt;b &amp; c&gt;d \"it's\" &amp;amp; \xc3\xa9\n");
  // Exactly one slash between, backslashes made slashes; one leading slash of the rest goes.
  const char* appends[][3] = {
      {"/", "/x", "/x"}, {"", "c", "c"}, {"a", "", "a"}, {"/base/", "rel", "/base/rel"},
      {"c:\\dir\\", "\\f", "c:/dir/f"}, {"/base", "//rel", "/base//rel"},
  };
  for (const auto& a : appends) EXPECT_EQ(PathEscaper::appendPath(a[0], a[1]), a[2]);
  EXPECT_EQ(PathEscaper::toFileUrl("\\share\\x%20y"), "file:///share/x%20y");
  EXPECT_EQ(PathEscaper::toEncodedFileUrl("/a b/c%d#e?f\\g:\xc3\xa9~._-Z9"),
            "file:///a%20b/c%25d%23e%3Ff%5Cg%3A%C3%A9~._-Z9");
}

// Dates, local time and types reach the page through the documented examples;
// here what no page meets: a missing path, a folder with an extension, odd names.
TEST(FileDescription, MissingPathsKeepTheirPlaceAndOddNamesAreEscaped) {
  char tmpl[] = "/tmp/filedesc-XXXXXX";
  ASSERT_NE(::mkdtemp(tmpl), nullptr);
  const std::string dir = tmpl;
  ASSERT_EQ(::mkdir((dir + "/pics.png").c_str(), 0700), 0);
  std::ofstream(dir + "/q\"\\\x01.TXT") << "abc";
  const std::string out = Utils::createExtendedObject(
      {dir + "/pics.png", dir + "/gone.pdf", dir + "/q\"\\\x01.TXT"});
  std::system(("rm -rf '" + dir + "'").c_str());
  const std::string files = "{\"dataTransfer\":{\"files\":[{\"lastModifiedDate\":\"";
  ASSERT_EQ(out.compare(0, files.size(), files), 0) << out;
  EXPECT_EQ(out.substr(files.size() + 24),
            "\",\"name\":\"" + dir + "/pics.png\",\"size\":0,\"type\":\"text/directory\"},"
            "{\"name\":\"" + dir + "/gone.pdf\",\"size\":0,\"type\":\"application/pdf\"},"
            "{\"lastModifiedDate\":\"" + out.substr(files.size(), 24) + "\",\"name\":\"" + dir +
            "/q\\\"\\\\\\u0001.TXT\",\"size\":3,\"type\":\"text/plain\"}]}}");
}

}  // namespace
}  // namespace Web
}  // namespace Harlune
