#include "text/PathEscaper.h"
#include "text/XmlEscaper.h"

#include <gtest/gtest.h>

#include "text/Json.h"

namespace Harlune {
namespace Web {
namespace {

using Paths = std::vector<std::string>;

TEST(PathEscaperColon, EscapesSeparatorsInsidePaths) {
  EXPECT_EQ(PathEscaper::toColonSeparatedStr({"/a:b", "/c\\d"}), "/a\\:b:/c\\\\d");
  EXPECT_EQ(PathEscaper::toColonSeparatedStr({"/x/y", "/z"}), "/x/y:/z");
  EXPECT_EQ(PathEscaper::toColonSeparatedStr({"::", "\\\\"}), "\\:\\::\\\\\\\\");
}

TEST(PathEscaperColon, EmptyPathsStillCount) {
  EXPECT_EQ(PathEscaper::toColonSeparatedStr({}), "");
  EXPECT_EQ(PathEscaper::toColonSeparatedStr({""}), "");
  EXPECT_EQ(PathEscaper::toColonSeparatedStr({"", ""}), ":");
  EXPECT_EQ(PathEscaper::toColonSeparatedStr({"/a", "/a"}), "/a:/a");
}

TEST(PathEscaperJson, ListKeepsOrderWithoutBlanks) {
  EXPECT_EQ(PathEscaper::toJsonStr(Paths{}), "[]");
  EXPECT_EQ(PathEscaper::toJsonStr(Paths{"/tmp/x", "/tmp/y"}), "[\"/tmp/x\",\"/tmp/y\"]");
  EXPECT_EQ(PathEscaper::toJsonStr(Paths{"/b", "/a", "/b"}), "[\"/b\",\"/a\",\"/b\"]");
  EXPECT_EQ(PathEscaper::toJsonStr(Paths{""}), "[\"\"]");
}

TEST(PathEscaperJson, QuoteAndBackslashGetABackslash) {
  EXPECT_EQ(PathEscaper::toJsonStr("/a\"b\\c", true), "\"/a\\\"b\\\\c\"");
  EXPECT_EQ(PathEscaper::toJsonStr("/a\"b\\c", false), "/a\\\"b\\\\c");
  EXPECT_EQ(PathEscaper::toJsonStr("", true), "\"\"");
  EXPECT_EQ(PathEscaper::toJsonStr("", false), "");
  EXPECT_EQ(PathEscaper::toJsonStr(Paths{"a\"", "b\\"}), "[\"a\\\"\",\"b\\\\\"]");
}

TEST(PathEscaperJson, ControlCharactersBecomeLowerCaseUnicodeEscapes) {
  EXPECT_EQ(PathEscaper::toJsonStr(std::string("a\nb\tc\x1f" "d\x01"), false),
            "a\\u000ab\\u0009c\\u001fd\\u0001");
  EXPECT_EQ(PathEscaper::toJsonStr(std::string("x\0y", 3), false), "x\\u0000y");
  // DEL is legal inside a JSON string.
  EXPECT_EQ(PathEscaper::toJsonStr("\x7f", false), "\x7f");
}

TEST(PathEscaperJson, Utf8IsKeptAndEverythingParsesBack) {
  const std::string utf8 = "/Users/me/\xc3\xa9t\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac \xf0\x9f\x93\x81";
  EXPECT_EQ(PathEscaper::toJsonStr(utf8, false), utf8);

  const Paths nasty = {utf8, "/q\"uote", "/back\\slash", "/ctl\n\r\x02", "/sp ace/a:b"};
  Json j;
  ASSERT_TRUE(j.parse(PathEscaper::toJsonStr(nasty))) << j.err();
  const char* top[] = {nullptr};
  yajl_val array = j.get(top);
  ASSERT_TRUE(YAJL_IS_ARRAY(array));
  ASSERT_EQ(array->u.array.len, nasty.size());
  for (size_t i = 0; i < nasty.size(); ++i) {
    ASSERT_TRUE(YAJL_IS_STRING(array->u.array.values[i]));
    EXPECT_EQ(array->u.array.values[i]->u.string, nasty[i]);
  }
}

TEST(PathEscaperReplace, ReplacesEveryMatchOnce) {
  EXPECT_EQ(PathEscaper::strReplace("a\\b\\c", "\\", "/"), "a/b/c");
  EXPECT_EQ(PathEscaper::strReplace("aaa", "a", "aa"), "aaaaaa");
  EXPECT_EQ(PathEscaper::strReplace("abab", "ab", ""), "");
  EXPECT_EQ(PathEscaper::strReplace("aaaa", "aa", "b"), "bb");
  EXPECT_EQ(PathEscaper::strReplace("xaaay", "aa", "a"), "xaay");
  EXPECT_EQ(PathEscaper::strReplace("abc", "", "x"), "abc");
  EXPECT_EQ(PathEscaper::strReplace("", "a", "x"), "");
  EXPECT_EQ(PathEscaper::strReplace("abc", "abcd", "x"), "abc");
  EXPECT_EQ(PathEscaper::strReplace("abc", "c", "xyz"), "abxyz");
}

TEST(PathEscaperAppend, JoinsWithExactlyOneSlash) {
  EXPECT_EQ(PathEscaper::appendPath("/", "/x"), "/x");
  EXPECT_EQ(PathEscaper::appendPath("a\\b", "c"), "a/b/c");
  EXPECT_EQ(PathEscaper::appendPath("", "c"), "c");
  EXPECT_EQ(PathEscaper::appendPath("a", ""), "a");
  EXPECT_EQ(PathEscaper::appendPath("/base/", "rel"), "/base/rel");
  EXPECT_EQ(PathEscaper::appendPath("/base", "/rel"), "/base/rel");
  EXPECT_EQ(PathEscaper::appendPath("/base", "rel\\sub"), "/base/rel/sub");
  EXPECT_EQ(PathEscaper::appendPath("c:\\dir\\", "\\f"), "c:/dir/f");
  // Only one leading slash of the relative part goes.
  EXPECT_EQ(PathEscaper::appendPath("/base", "//rel"), "/base//rel");
  EXPECT_EQ(PathEscaper::appendPath("", "\\rel"), "/rel");
}

TEST(PathEscaperUrl, PrefixesWithoutEncoding) {
  EXPECT_EQ(PathEscaper::toFileUrl("/Users/me/a b.txt"), "file:///Users/me/a b.txt");
  EXPECT_EQ(PathEscaper::toFileUrl("\\share\\x%20y"), "file:///share/x%20y");
  EXPECT_EQ(PathEscaper::toFileUrl(""), "file://");
}

TEST(XmlEscaper, EscapesMarkupOnly) {
  EXPECT_EQ(XmlEscaper::escape("a<b & c>d"), "a&lt;b &amp; c&gt;d");
  EXPECT_EQ(XmlEscaper::escape("\"it's\""), "\"it's\"");
  EXPECT_EQ(XmlEscaper::escape("&amp;"), "&amp;amp;");
  EXPECT_EQ(XmlEscaper::escape(""), "");
  const std::string bytes("\xc3\xa9\n\0\x7f", 5);
  EXPECT_EQ(XmlEscaper::escape(bytes), bytes);
  EXPECT_EQ(XmlEscaper::escape("<<>>&&"), "&lt;&lt;&gt;&gt;&amp;&amp;");
}

}  // namespace
}  // namespace Web
}  // namespace Harlune
