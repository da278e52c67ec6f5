// What the test plug-in's page cannot reach: the table's ABI, page URLs
// other than the one a page runs from, and plug-in type lists.
#include <gtest/gtest.h>

#include "BrowserFuncs.h"
#include "Location.h"
#include "PluginModule.h"
#include "Streams.h"

namespace Browser {
namespace {

TEST(BrowserFuncs, EveryEntryIsFilled) {
  const NPNetscapeFuncs& f = browserFuncs();
  EXPECT_EQ(f.size, sizeof(NPNetscapeFuncs));
  const auto* entries = reinterpret_cast<const void* const*>(&f.geturl);
  for (int i = 0; i < 58; ++i) EXPECT_NE(entries[i], nullptr) << "entry " << i;
}

TEST(BrowserFuncs, IdentifiersKeepNamesAndIndexesApart) {
  const NPNetscapeFuncs& f = browserFuncs();
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

TEST(Location, PortsHostsAndRefusals) {
  Location at;
  ASSERT_TRUE(parseLocation("http://[::1]:81/p?a#b", at));
  EXPECT_EQ(at.hostname + " " + at.port + " " + at.pathname + at.search + at.hash + " " + at.origin,
            "[::1] 81 /p?a#b http://[::1]:81");
  for (const char* bad : {"", "not a url", "/a/page.html", "http://exa mple.com/", "http://"})
    EXPECT_FALSE(parseLocation(bad, at)) << bad;
}

// Streams come only from the page's folder, whatever way the page names it.
TEST(ResolveUrl, InsideThePageFolderOnly) {
  const char* page = "/pages/sub/test.html";
  const char* url = "http://localhost/sub/test.html";
  const std::pair<const char*, const char*> cases[] = {
      {"a.jpg?x=1#frag", "/pages/sub/a.jpg"}, {"file:///tmp/b.jpg", "/tmp/b.jpg"},
      {"http://localhost/sub/d/e.jpg", "/pages/sub/d/e.jpg"},
      {"http://localhost/other/e.jpg", ""},   {"https://localhost/sub/e.jpg", ""},
      {"http://localhost/sub/", ""},          {"", ""}};
  for (const auto& [relative, path] : cases) EXPECT_EQ(resolveUrl(page, url, relative), path);
}

TEST(MimeDescription, TypesAreSplitTrimmedAndLowerCased) {
  EXPECT_EQ(parseMimeDescription(" Application/X-A;a;A| application/x-b ;b;B|;;"),
            (std::vector<std::string>{"application/x-a", "application/x-b"}));
  EXPECT_TRUE(parseMimeDescription("").empty());
}

}  // namespace
}  // namespace Browser
