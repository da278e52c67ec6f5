// The page's fileTypes text read into filters, and the panel's type list
// made of them.
#include "dialogs/DialogUtils.h"

#include <stdexcept>

#include <gtest/gtest.h>

#include "common/Constants.h"
#include "dialogs/MacUtils.h"
#include "text/Json.h"

namespace Harlune {
namespace Web {
namespace {

using Strings = std::vector<std::string>;

TEST(ParseFileTypes, FiltersInOrderDecodedWithExtraMembersIgnored) {
  const auto types = DialogUtils::parseFileTypesJson(
      R"([{"filter_name":"Images","extensions":["png","jpg"]},)"
      R"( {"extensions":["*"], "filter_name":"All", "n":{"deep":[[1,{"a":null}]]}},)"
      "{\"filter_name\":\"B \\\"\\u00e9\\\" \xe6\x97\xa5\",\"extensions\":[\"j\\/pg\",\"TXT\"]}]");
  ASSERT_EQ(types.size(), 3u);
  EXPECT_EQ(types[0].name, "Images");
  EXPECT_EQ(types[0].extensions, (Strings{"png", "jpg"}));
  EXPECT_EQ(types[1].name, "All");
  EXPECT_EQ(types[1].extensions, (Strings{"*"}));
  EXPECT_EQ(types[2].name, "B \"\xc3\xa9\" \xe6\x97\xa5");
  EXPECT_EQ(types[2].extensions, (Strings{"j/pg", "TXT"}));
  for (const char* none : {"", "[]", " [ ] "}) {
    EXPECT_TRUE(DialogUtils::parseFileTypesJson(none).empty()) << none;
  }
}

TEST(ParseFileTypes, AnythingElseIsRefused) {
  const std::string refused[] = {
      " ", "[", "{not json", "[{\"filter_name\":\"a\",}]", "nul", "{}", "null", "\"[]\"", "42",
      R"([{"filter_name":"a","extensions":["b"]}] trailing)",
      R"({"filter_name":"a","extensions":["b"]})", "[1]", "[null]", "[[]]", "[\"png\"]", "[{}]",
      // filter_name missing or not a string
      R"([{"extensions":["png"]}])", R"([{"filter_name":3,"extensions":["png"]}])",
      R"([{"filter_name":null,"extensions":["png"]}])",
      // extensions missing, empty, not an array, or holding a non-string
      R"([{"filter_name":"a"}])", R"([{"filter_name":"a","extensions":[]}])",
      R"([{"filter_name":"a","extensions":"png"}])",
      R"([{"filter_name":"a","extensions":{"0":"png"}}])",
      R"([{"filter_name":"a","extensions":["png",1]}])",
      R"([{"filter_name":"a","extensions":[["png"]]}])",
      // one bad element spoils the list
      R"([{"filter_name":"a","extensions":["png"]},{"filter_name":"b","extensions":[]}])",
      R"([{"filter_name":"a","extensions":["png"]},7])",
      // invalid UTF-8, a NUL that would end the text early, deep nesting
      "[{\"filter_name\":\"\xff\xfe\",\"extensions\":[\"png\"]}]", std::string("[]\0garbage", 10),
      R"([{"filter_name":"a","extensions":["png"],"x":)" + std::string(Json::kMaxNesting, '[') +
          std::string(Json::kMaxNesting, ']') + "}]",
      std::string(1000000, '[')};
  for (const std::string& json : refused) {
    try {
      DialogUtils::parseFileTypesJson(json);
      ADD_FAILURE() << "accepted: " << json.substr(0, 200);
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), kErrorInvalidFileTypesJson) << json.substr(0, 200);
    }
  }
}

TEST(CreateFileTypes, EachExtensionOnceWithItsUpperCaseCopyInFilterOrder) {
  EXPECT_EQ(MacUtils::createFileTypes({FileType("Docs", {"txt", "pdf", "txt"}),
                                       FileType("More", {"pdf", "*", "tar.gz"})}),
            (Strings{"txt", "TXT", "pdf", "PDF", "tar.gz", "TAR.GZ"}));
  // Unicode upper case; bytes that are not UTF-8 stay.
  EXPECT_EQ(MacUtils::createFileTypes({FileType("Intl", {"\u00e4bc", "\u00e9", "stra\u00dfe",
                                                         "\u00c9", "\u0448", "x\xFFy"})}),
            (Strings{"\u00e4bc", "\u00c4BC", "\u00e9", "\u00c9", "stra\u00dfe", "STRASSE",
                     "\u0448", "\u0428", "x\xFFy", "X\xFFY"}));
  EXPECT_TRUE(MacUtils::createFileTypes({FileType("All", {"*"})}).empty());
}

}  // namespace
}  // namespace Web
}  // namespace Harlune
