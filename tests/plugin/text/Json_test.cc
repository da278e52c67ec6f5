#include "text/Json.h"

#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

namespace Harlune {
namespace Web {
namespace {

const char* kMessage[] = {"error", "user_message", nullptr};

// The message as the page reads it back, or "<invalid>" when the object does not parse.
std::string roundTrip(const std::string& errorObject) {
  Json j;
  return j.parse(errorObject) && j.containsError() ? j.getString(kMessage) : "<invalid>";
}

TEST(JsonError, MessagesComeBackIntactWithBadUtf8Replaced) {
  EXPECT_EQ(Json::createError("Busy"), "{\"error\":{\"code\":-1,\"internal_message\":"
                                       "\"Invalid request\",\"user_message\":\"Busy\"}}");
  EXPECT_EQ(roundTrip(Json::createErrorAndLog(std::runtime_error("boom"), "ctx")), "ctx: boom");
  const std::string ufffd = "\xef\xbf\xbd";
  const struct {
    std::string message, readBack;
  } cases[] = {
      {"say \"hi\" \\ path\n\ttab \x01 end", "say \"hi\" \\ path\n\ttab \x01 end"},
      {"\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80", "\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"},
      {"a\xff b\xc3 e\xe2\x82", "a" + ufffd + " b" + ufffd + " e" + ufffd + ufffd},
      {"c\xed\xa0\x80 d\xf4\x90\x80\x80", "c" + ufffd + ufffd + ufffd + " d" + ufffd + ufffd +
                                              ufffd + ufffd},
  };
  for (const auto& c : cases) EXPECT_EQ(roundTrip(Json::createError(c.message)), c.readBack);
  // The parser's own message can cut a character in half.
  Json bad;
  std::string e13;
  for (int i = 0; i < 13; ++i) e13 += "\xc3\xa9";
  ASSERT_FALSE(bad.parse("{\"\":\"" + e13 + "\" x}"));
  EXPECT_NE(roundTrip(Json::createError(bad.err())), "<invalid>");
}

TEST(JsonRead, LookupsNumbersAndRefusals) {
  Json j;
  EXPECT_FALSE(j.containsError());
  EXPECT_FALSE(j.parse("{not json"));
  EXPECT_FALSE(j.err().empty());
  ASSERT_TRUE(j.parse("{\"error\":null,\"n\":1.50,\"e\":1e3,\"t\":true,\"s\":\"true\",\"o\":{},"
                      "\"f\":[{\"x\":\"y\"}],\"deep\":{\"x\":{\"y\":\"z\"}}}"));
  EXPECT_TRUE(j.err().empty());
  EXPECT_TRUE(j.containsError());
  std::string got;
  for (std::vector<const char*> path : std::vector<std::vector<const char*>>{
           {"n"}, {"e"}, {"s"}, {"t"}, {"o"}, {"f"}, {"missing"}, {"deep", "x", "y"}, {"s", "x"}}) {
    path.push_back(nullptr);
    got += j.getString(path.data()) + "|";
  }
  EXPECT_EQ(got, "1.50|1e3|true|||||z||");
  const char* t[] = {"t", nullptr};
  const char* s[] = {"s", nullptr};
  EXPECT_TRUE(j.isTrue(t));
  EXPECT_FALSE(j.isTrue(s));
  const char* f[] = {"f", nullptr};
  const char* x[] = {"x", nullptr};
  EXPECT_EQ(j.getString(x, j.get(f)->u.array.values[0]), "y");
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

}  // namespace
}  // namespace Web
}  // namespace Harlune
