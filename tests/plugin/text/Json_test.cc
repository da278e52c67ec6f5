#include "text/Json.h"

#include <stdexcept>

#include <gtest/gtest.h>

namespace Harlune {
namespace Web {
namespace {

const char* kError[] = {"error", nullptr};

TEST(JsonError, FillsTheTemplate) {
  EXPECT_EQ(Json::createError("A dialog is already open"),
            "{\"error\":{\"code\":-1,\"internal_message\":\"Invalid request\","
            "\"user_message\":\"A dialog is already open\"}}");
  EXPECT_EQ(Json::createError(""),
            "{\"error\":{\"code\":-1,\"internal_message\":\"Invalid request\","
            "\"user_message\":\"\"}}");
}

TEST(JsonError, ExceptionTextAndContext) {
  std::runtime_error e("boom");
  Json a, b;
  ASSERT_TRUE(a.parse(Json::createError(e)));
  ASSERT_TRUE(b.parse(Json::createError(e, "readAsArrayBuffer")));
  const char* msg[] = {"error", "user_message", nullptr};
  EXPECT_EQ(a.getString(msg), "boom");
  EXPECT_EQ(b.getString(msg), "readAsArrayBuffer: boom");
  EXPECT_EQ(Json::createErrorAndLog(e, "ctx"), Json::createError(e, "ctx"));
}

TEST(JsonError, MessagesThatNeedEscapingStayValidJson) {
  const std::string nasty = "say \"hi\" \\ path\n\ttab \x01 end \xc3\xa9";
  Json j;
  ASSERT_TRUE(j.parse(Json::createError(nasty))) << j.err();
  EXPECT_TRUE(j.containsError());
  const char* msg[] = {"error", "user_message", nullptr};
  EXPECT_EQ(j.getString(msg), nasty);
  const char* code[] = {"error", "code", nullptr};
  EXPECT_EQ(j.getString(code), "-1");
}

TEST(JsonError, BytesThatAreNotUtf8BecomeReplacementCharacters) {
  // The parser's message quotes the document byte by byte and can cut a
  // character in half; the error object must still be valid JSON.
  Json bad;
  ASSERT_FALSE(bad.parse("{\"\":\"\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3"
                         "\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\" x}"));
  Json j;
  EXPECT_TRUE(j.parse(Json::createError(bad.err()))) << Json::createError(bad.err());
  const char* msg[] = {"error", "user_message", nullptr};
  EXPECT_TRUE(j.parse(Json::createError("a\xff b\xc3 c\xed\xa0\x80 d\xf4\x90\x80\x80 e\xe2\x82")));
  EXPECT_EQ(j.getString(msg), "a\xef\xbf\xbd b\xef\xbf\xbd c\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd d"
                              "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd e\xef\xbf\xbd\xef\xbf\xbd");
  // Well-formed characters of every length pass unchanged.
  const std::string fine = "\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80";
  EXPECT_TRUE(j.parse(Json::createError(fine)));
  EXPECT_EQ(j.getString(msg), fine);
}

TEST(JsonRead, ParseFailureKeepsReasonAndReparseReplacesTree) {
  Json j;
  EXPECT_FALSE(j.parse("{not json"));
  EXPECT_FALSE(j.err().empty());
  EXPECT_EQ(j.get(kError), nullptr);
  ASSERT_TRUE(j.parse("{\"error\":null}"));
  EXPECT_TRUE(j.err().empty());
  EXPECT_TRUE(j.containsError());
  ASSERT_TRUE(j.parse("{\"ok\":1}"));
  EXPECT_FALSE(j.containsError());
  ASSERT_TRUE(j.parse("[{\"error\":1}]"));
  EXPECT_FALSE(j.containsError());
}

TEST(JsonRead, NumbersComeBackAsWritten) {
  Json j;
  ASSERT_TRUE(j.parse("{\"a\":1.50,\"b\":1e3,\"c\":-0,\"d\":12345678901234567890}"));
  const char* a[] = {"a", nullptr};
  const char* b[] = {"b", nullptr};
  const char* c[] = {"c", nullptr};
  const char* d[] = {"d", nullptr};
  EXPECT_EQ(j.getString(a), "1.50");
  EXPECT_EQ(j.getString(b), "1e3");
  EXPECT_EQ(j.getString(c), "-0");
  EXPECT_EQ(j.getString(d), "12345678901234567890");
}

TEST(JsonRead, NonTextValuesReadAsEmpty) {
  Json j;
  ASSERT_TRUE(j.parse(
      "{\"o\":{},\"a\":[1],\"t\":true,\"f\":false,\"n\":null,\"s\":\"true\","
      "\"deep\":{\"x\":{\"y\":\"z\"}}}"));
  for (const char* key : {"o", "a", "t", "f", "n", "missing"}) {
    const char* p[] = {key, nullptr};
    EXPECT_EQ(j.getString(p), "") << key;
  }
  const char* t[] = {"t", nullptr};
  const char* s[] = {"s", nullptr};
  EXPECT_TRUE(j.isTrue(t));
  EXPECT_FALSE(j.isTrue(s));
  const char* deep[] = {"deep", "x", "y", nullptr};
  const char* throughString[] = {"s", "x", nullptr};
  EXPECT_EQ(j.getString(deep), "z");
  EXPECT_EQ(j.get(throughString), nullptr);
}

TEST(JsonRead, LookupsFromAGivenNode) {
  Json j;
  ASSERT_TRUE(j.parse("{\"f\":[{\"name\":\"Images\",\"n\":2}]}"));
  const char* f[] = {"f", nullptr};
  yajl_val arr = j.get(f);
  ASSERT_TRUE(YAJL_IS_ARRAY(arr));
  yajl_val first = arr->u.array.values[0];
  const char* name[] = {"name", nullptr};
  const char* n[] = {"n", nullptr};
  EXPECT_EQ(j.getString(name, first), "Images");
  EXPECT_EQ(j.getString(n, first), "2");
  EXPECT_EQ(j.getString(name), "");
}

TEST(JsonRead, EmptyObjectAnswersNothing) {
  Json j;
  EXPECT_FALSE(j.containsError());
  EXPECT_EQ(j.get(kError), nullptr);
  EXPECT_FALSE(j.isTrue(kError));
  EXPECT_EQ(j.getString(kError), "");
}

TEST(JsonRead, HostileTextIsRefusedNotCrashedOn) {
  Json j;
  // Deep nesting would be freed one recursive call per level.
  EXPECT_FALSE(j.parse(std::string(1000000, '[') + std::string(1000000, ']')));
  EXPECT_EQ(j.err(), "nesting too deep");
  EXPECT_TRUE(j.parse(std::string(Json::kMaxNesting, '[') + std::string(Json::kMaxNesting, ']')));
  // Brackets inside strings do not count.
  EXPECT_TRUE(j.parse("{\"a\":\"" + std::string(5000, '[') + "\"}"));
  // A NUL would hide the rest of the text from the parser.
  EXPECT_FALSE(j.parse(std::string("{}\0{\"error\":1}", 14)));
  EXPECT_FALSE(j.parse("\xff\xfe"));
}

}  // namespace
}  // namespace Web
}  // namespace Harlune
