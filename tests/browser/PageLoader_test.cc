#include <gtest/gtest.h>

#include "PageLoader.h"
#include "PluginModule.h"

namespace Browser {
namespace {

TEST(PageLoader, ObjectsScriptsAndIdsInDocumentOrder) {
  PageDocument page = parsePage(R"(<!DOCTYPE html><html><head><title>T</title>
    <script src="a.js"></script></head><body><div id="top"></div>
    <object type="application/x-tarsen-web" id="one" width="120" height="40" data-x="y">
      <param name="drop-mode" value="callback"><param name="image" value="i.jpg">
      <param value="no name">
    </object>
    <script>var a = 1 < 2;</script>
    <object type="application/x-other" id="two"></object></body></html>)");
  EXPECT_EQ(page.title, "T");
  ASSERT_EQ(page.objects.size(), 2u);
  const ObjectElement& one = page.objects[0];
  EXPECT_EQ(one.id, "one");
  EXPECT_EQ(one.type, "application/x-tarsen-web");
  EXPECT_EQ(one.width, 120);
  EXPECT_EQ(one.height, 40);
  ASSERT_EQ(one.params.size(), 2u);  // a param without a name is not one
  EXPECT_EQ(one.params[0], std::make_pair(std::string("drop-mode"), std::string("callback")));
  EXPECT_EQ(one.params[1].first, "image");
  EXPECT_EQ(one.attributes.back(), std::make_pair(std::string("data-x"), std::string("y")));
  EXPECT_EQ(page.objects[1].width, kDefaultObjectWidth);
  EXPECT_EQ(page.objects[1].height, kDefaultObjectHeight);

  ASSERT_EQ(page.scripts.size(), 2u);
  EXPECT_EQ(page.scripts[0].src, "a.js");
  EXPECT_EQ(page.scripts[1].source, "var a = 1 < 2;");  // script text is raw
  EXPECT_GT(page.scripts[1].line, page.scripts[0].line);
  EXPECT_EQ(page.elementIds, (std::vector<std::string>{"top", "one", "two"}));
}

TEST(PageLoader, BrokenHtmlAndBadSizesStillParse) {
  PageDocument page = parsePage("<object id=x width=-5 height=abc><param name=a value=b><p>unclosed");
  ASSERT_EQ(page.objects.size(), 1u);
  EXPECT_EQ(page.objects[0].width, kDefaultObjectWidth);
  EXPECT_EQ(page.objects[0].height, kDefaultObjectHeight);
  EXPECT_EQ(page.objects[0].params.size(), 1u);
}

TEST(MimeDescription, TypesAreSplitTrimmedAndLowerCased) {
  EXPECT_EQ(parseMimeDescription("application/x-tarsen-web;;Tarsen Web"),
            std::vector<std::string>{"application/x-tarsen-web"});
  EXPECT_EQ(parseMimeDescription(" Application/X-A;a;A| application/x-b ;b;B|;;"),
            (std::vector<std::string>{"application/x-a", "application/x-b"}));
  EXPECT_TRUE(parseMimeDescription("").empty());
}

}  // namespace
}  // namespace Browser
