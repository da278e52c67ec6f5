#include "text/PathEscaper.h"
#include "text/XmlEscaper.h"

#include <gtest/gtest.h>

#include "text/Json.h"

namespace Harlune {
namespace Web {
namespace {

using Paths = std::vector<std::string>;

TEST(PathEscaper, ListsAndEscapes) {
  const struct {
    Paths paths;
    const char *colons, *json;
  } lists[] = {
      {{}, "", "[]"},
      {{""}, "", "[\"\"]"},
      {{"", ""}, ":", "[\"\",\"\"]"},
      {{"/b", "/a", "/b"}, "/b:/a:/b", "[\"/b\",\"/a\",\"/b\"]"},
      {{"/a:b", "/c\\d"}, "/a\\:b:/c\\\\d", "[\"/a:b\",\"/c\\\\d\"]"},
      {{"::", "q\""}, "\\:\\::q\"", "[\"::\",\"q\\\"\"]"},
  };
  for (const auto& c : lists) {
    EXPECT_EQ(PathEscaper::toColonSeparatedStr(c.paths), c.colons);
    EXPECT_EQ(PathEscaper::toJsonStr(c.paths), c.json);
  }
  EXPECT_EQ(PathEscaper::toJsonStr("/a\"b\\c", true), "\"/a\\\"b\\\\c\"");
  // Control bytes as lower-case escapes; DEL and UTF-8 are legal in a JSON string.
  EXPECT_EQ(PathEscaper::toJsonStr(std::string("a\nb\tc\x1f" "d\x01\0\x7f\xc3\xa9", 12), false),
            "a\\u000ab\\u0009c\\u001fd\\u0001\\u0000\x7f\xc3\xa9");
  // Everything parses back.
  const Paths nasty = {"/\xf0\x9f\x93\x81", "/q\"uote", "/back\\slash", "/ctl\n\r\x02\x1e"};
  Json j;
  ASSERT_TRUE(j.parse(PathEscaper::toJsonStr(nasty))) << j.err();
  const char* top[] = {nullptr};
  const yajl_val array = j.get(top);
  ASSERT_TRUE(YAJL_IS_ARRAY(array));
  ASSERT_EQ(array->u.array.len, nasty.size());
  for (size_t i = 0; i < nasty.size(); ++i) {
    EXPECT_STREQ(YAJL_GET_STRING(array->u.array.values[i]), nasty[i].c_str());
  }
  EXPECT_EQ(XmlEscaper::escape("a<b & c>d \"it's\" &amp; \xc3\xa9\n"),
            "a&lt;b &amp; c&gt;d \"it's\" &amp;amp; \xc3\xa9\n");
}

TEST(PathEscaper, ReplaceAppendAndFileUrl) {
  const char* replaces[][4] = {
      {"a\\b\\c", "\\", "/", "a/b/c"}, {"aaa", "a", "aa", "aaaaaa"}, {"abab", "ab", "", ""},
      {"xaaay", "aa", "a", "xaay"},    {"abc", "", "x", "abc"},      {"abc", "abcd", "x", "abc"},
      {"abc", "c", "xyz", "abxyz"},
  };
  for (const auto& r : replaces) EXPECT_EQ(PathEscaper::strReplace(r[0], r[1], r[2]), r[3]);
  // Exactly one slash between, backslashes made slashes; one leading slash of the rest goes.
  const char* appends[][3] = {
      {"/", "/x", "/x"},          {"", "c", "c"},
      {"a", "", "a"},             {"/base/", "rel", "/base/rel"},
      {"/base", "/rel", "/base/rel"}, {"c:\\dir\\", "\\f", "c:/dir/f"},
      {"/base", "//rel", "/base//rel"}, {"", "\\rel", "/rel"},
  };
  for (const auto& a : appends) EXPECT_EQ(PathEscaper::appendPath(a[0], a[1]), a[2]);
  EXPECT_EQ(PathEscaper::toFileUrl("\\share\\x%20y"), "file:///share/x%20y");
  EXPECT_EQ(PathEscaper::toFileUrl(""), "file://");
}

}  // namespace
}  // namespace Web
}  // namespace Harlune
