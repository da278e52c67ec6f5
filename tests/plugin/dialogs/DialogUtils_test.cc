#include "dialogs/DialogUtils.h"

#include <stdexcept>

#include <gtest/gtest.h>

#include "common/Constants.h"
#include "text/Json.h"

namespace Harlune {
namespace Web {
namespace {

using Strings = std::vector<std::string>;

void expectRefused(const std::string& json) {
  try {
    DialogUtils::parseFileTypesJson(json);
    ADD_FAILURE() << "accepted: " << json.substr(0, 200);
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), kErrorInvalidFileTypesJson) << json.substr(0, 200);
  }
}

TEST(ParseFileTypes, FiltersInOrder) {
  const auto types = DialogUtils::parseFileTypesJson(
      R"([{"filter_name":"Images","extensions":["png","jpg"]},)"
      R"( {"extensions":["*"], "filter_name":"All files"},)"
      R"({"filter_name":"","extensions":["tar.gz","TXT","png"]}])");
  ASSERT_EQ(types.size(), 3u);
  EXPECT_EQ(types[0].name, "Images");
  EXPECT_EQ(types[0].extensions, (Strings{"png", "jpg"}));
  EXPECT_EQ(types[1].name, "All files");
  EXPECT_EQ(types[1].extensions, (Strings{"*"}));
  EXPECT_EQ(types[2].name, "");
  EXPECT_EQ(types[2].extensions, (Strings{"tar.gz", "TXT", "png"}));
}

TEST(ParseFileTypes, ExtraMembersAreIgnored) {
  const auto types = DialogUtils::parseFileTypesJson(
      R"([{"filter_name":"Docs","description":7,"extensions":["pdf"],)"
      R"("nested":{"deep":[[1,{"a":null}]]}}])");
  ASSERT_EQ(types.size(), 1u);
  EXPECT_EQ(types[0].name, "Docs");
  EXPECT_EQ(types[0].extensions, (Strings{"pdf"}));
}

TEST(ParseFileTypes, EscapesAndUtf8AreDecoded) {
  const auto types = DialogUtils::parseFileTypesJson(
      "[{\"filter_name\":\"Bilder \\\"\\u00e9\\\" \xe6\x97\xa5\",\"extensions\":[\"j\\/pg\"]}]");
  ASSERT_EQ(types.size(), 1u);
  EXPECT_EQ(types[0].name, "Bilder \"\xc3\xa9\" \xe6\x97\xa5");
  EXPECT_EQ(types[0].extensions, (Strings{"j/pg"}));
}

TEST(ParseFileTypes, EmptyTextOrArrayMeansNoFilter) {
  EXPECT_TRUE(DialogUtils::parseFileTypesJson("").empty());
  EXPECT_TRUE(DialogUtils::parseFileTypesJson("[]").empty());
  EXPECT_TRUE(DialogUtils::parseFileTypesJson(" [ ] ").empty());
}

TEST(ParseFileTypes, NotJsonOrNotAnArrayIsRefused) {
  for (const char* text : {" ", "[", "{not json", "[{\"filter_name\":\"a\",}]", "nul",
                           "[{\"filter_name\":\"a\",\"extensions\":[\"b\"]}] trailing",
                           "{}", "null", "\"[]\"", "42", "true",
                           "{\"filter_name\":\"a\",\"extensions\":[\"b\"]}"}) {
    expectRefused(text);
  }
}

TEST(ParseFileTypes, WrongElementsAreRefused) {
  for (const char* text : {
           "[1]", "[null]", "[[]]", "[\"png\"]", "[{}]",
           // filter_name missing or not a string
           R"([{"extensions":["png"]}])", R"([{"filter_name":3,"extensions":["png"]}])",
           R"([{"filter_name":null,"extensions":["png"]}])",
           R"([{"filter_name":["a"],"extensions":["png"]}])",
           // extensions missing, empty, not an array, or holding a non-string
           R"([{"filter_name":"a"}])", R"([{"filter_name":"a","extensions":[]}])",
           R"([{"filter_name":"a","extensions":"png"}])",
           R"([{"filter_name":"a","extensions":{"0":"png"}}])",
           R"([{"filter_name":"a","extensions":["png",1]}])",
           R"([{"filter_name":"a","extensions":["png",null]}])",
           R"([{"filter_name":"a","extensions":[["png"]]}])",
           // one bad element spoils the list
           R"([{"filter_name":"a","extensions":["png"]},{"filter_name":"b","extensions":[]}])",
           R"([{"filter_name":"a","extensions":["png"]},7])"}) {
    expectRefused(text);
  }
}

TEST(ParseFileTypes, HostileInputIsRefusedWithoutHarm) {
  // Invalid UTF-8 inside a string.
  expectRefused("[{\"filter_name\":\"\xff\xfe\",\"extensions\":[\"png\"]}]");
  expectRefused("[{\"filter_name\":\"a\",\"extensions\":[\"\xc3\"]}]");
  // A NUL would end the text early for the parser.
  expectRefused(std::string("[]\0garbage", 10));
  expectRefused(std::string("\0", 1));

  // Deep nesting, complete and incomplete, arrays and objects.
  const size_t deep = 1000000;
  expectRefused(std::string(deep, '[') + std::string(deep, ']'));
  expectRefused(std::string(deep, '['));
  std::string objects;
  for (size_t i = 0; i < deep / 10; ++i) objects += "{\"a\":";
  objects += "1" + std::string(deep / 10, '}');
  expectRefused(objects);
  // Nesting under an ignored member counts too.
  expectRefused(R"([{"filter_name":"a","extensions":["png"],"x":)" +
                std::string(Json::kMaxNesting, '[') +
                std::string(Json::kMaxNesting, ']') + "}]");
}

TEST(ParseFileTypes, BracketsInStringsAndCommentsDoNotCountAsNesting) {
  const std::string many(5000, '[');
  const auto types = DialogUtils::parseFileTypesJson(
      "/* " + many + " \" */ [ // " + many + "\n"
      R"({"filter_name":")" + many + R"(\"","extensions":["]]]]"]}])");
  ASSERT_EQ(types.size(), 1u);
  EXPECT_EQ(types[0].name, many + "\"");
  EXPECT_EQ(types[0].extensions, (Strings{"]]]]"}));

  // Nesting up to the limit is still read.
  const size_t depth = Json::kMaxNesting - 2;
  EXPECT_EQ(DialogUtils::parseFileTypesJson(
                R"([{"filter_name":"a","extensions":["png"],"x":)" + std::string(depth, '[') +
                std::string(depth, ']') + "}]")
                .size(),
            1u);
}

TEST(ParseFileTypes, HugeListIsRead) {
  std::string text = "[";
  const size_t n = 5000;
  for (size_t i = 0; i < n; ++i) {
    if (i) text += ',';
    text += R"({"filter_name":"f)" + std::to_string(i) + R"(","extensions":["e)" +
            std::to_string(i) + "\"]}";
  }
  text += "]";
  const auto types = DialogUtils::parseFileTypesJson(text);
  ASSERT_EQ(types.size(), n);
  EXPECT_EQ(types[n - 1].name, "f" + std::to_string(n - 1));
  EXPECT_EQ(DialogUtils::findExtension(types, "e4321"), 4321);
}

TEST(FindExtension, FirstExactMatchOrMinusOne) {
  const std::vector<FileType> types = {
      {"Images", {"png", "jpg"}}, {"All", {"*"}}, {"More images", {"gif", "jpg"}}};
  EXPECT_EQ(DialogUtils::findExtension(types, "png"), 0);
  EXPECT_EQ(DialogUtils::findExtension(types, "jpg"), 0);
  EXPECT_EQ(DialogUtils::findExtension(types, "gif"), 2);
  EXPECT_EQ(DialogUtils::findExtension(types, "*"), 1);
  // "*" is matched as written, not as a wildcard; case and dots matter.
  EXPECT_EQ(DialogUtils::findExtension(types, "tiff"), -1);
  EXPECT_EQ(DialogUtils::findExtension(types, "PNG"), -1);
  EXPECT_EQ(DialogUtils::findExtension(types, ".png"), -1);
  EXPECT_EQ(DialogUtils::findExtension(types, "pn"), -1);
  EXPECT_EQ(DialogUtils::findExtension(types, ""), -1);
  EXPECT_EQ(DialogUtils::findExtension({}, "png"), -1);
  EXPECT_EQ(DialogUtils::findExtension({{"Only png", {"png"}}}, "PNG"), -1);
}

}  // namespace
}  // namespace Web
}  // namespace Harlune
