// What the test plug-in's page cannot reach: the table's ABI, misuse the
// page would fail on, stream URLs it does not name, and plug-in type lists.
#include <gtest/gtest.h>

#include "BrowserFuncs.h"
#include "Objects.h"
#include "PluginModule.h"
#include "Streams.h"

namespace Browser {
namespace {

TEST(BrowserFuncs, EveryEntryFilledAndIdentifiersKeepNamesAndIndexesApart) {
  const NPNetscapeFuncs& f = browserFuncs();
  EXPECT_EQ(f.size, sizeof(NPNetscapeFuncs));
  const auto* entries = reinterpret_cast<const void* const*>(&f.geturl);
  for (int i = 0; i < 58; ++i) EXPECT_NE(entries[i], nullptr) << "entry " << i;
  NPIdentifier seven = f.getintidentifier(7), x = f.getstringidentifier("x");
  EXPECT_FALSE(f.identifierisstring(seven));
  EXPECT_EQ(f.intfromidentifier(seven), 7);
  EXPECT_EQ(f.getintidentifier(7), seven);
  EXPECT_NE(f.getstringidentifier("7"), seven);
  const NPUTF8* names[2] = {"x", "y"};
  NPIdentifier both[2];
  f.getstringidentifiers(names, 2, both);
  EXPECT_EQ(both[0], x);
  EXPECT_EQ(both[1], f.getstringidentifier("y"));
}

// A plug-in that releases once too often is told so; the freed object is not touched again.
TEST(Objects, ReleaseOfADeadObjectIsReported) {
  std::vector<std::string> misuse;
  Objects::shared().setMisuseSink([&](const std::string& what) { misuse.push_back(what); });
  NPClass plain{};
  plain.structVersion = NP_CLASS_STRUCT_VERSION;
  NPObject* object = Objects::shared().create(nullptr, &plain);
  Objects::shared().release(object);
  EXPECT_TRUE(misuse.empty());
  Objects::shared().release(object);
  ASSERT_EQ(misuse.size(), 1u);
  EXPECT_NE(misuse[0].find("NPN_ReleaseObject"), std::string::npos);
  Objects::shared().setMisuseSink(nullptr);
}

// Streams come only from the page's folder, whatever way the page names it.
TEST(ResolveUrl, InsideThePageFolderOnly) {
  const char* page = "/pages/sub/test.html";
  const char* url = "http://localhost/sub/test.html";
  const std::pair<const char*, const char*> cases[] = {
      {"a.jpg?x=1#frag", "/pages/sub/a.jpg"}, {"file:///tmp/b.jpg", "/tmp/b.jpg"},
      {"http://localhost/other/e.jpg", ""},   {"https://localhost/sub/e.jpg", ""},
      {"http://localhost/sub/", ""}};
  for (const auto& [relative, path] : cases) EXPECT_EQ(resolveUrl(page, url, relative), path);
}

TEST(MimeDescription, TypesAreSplitTrimmedAndLowerCased) {
  EXPECT_EQ(parseMimeDescription(" Application/X-A;a;A| application/x-b ;b;B|;;"),
            (std::vector<std::string>{"application/x-a", "application/x-b"}));
  EXPECT_TRUE(parseMimeDescription("").empty());
}

}  // namespace
}  // namespace Browser
