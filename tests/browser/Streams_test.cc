#include <gtest/gtest.h>

#include "Streams.h"

namespace Browser {
namespace {

const char kPage[] = "/pages/sub/test.html";
const char kUrl[] = "http://localhost/sub/test.html";

TEST(ResolveUrl, PageRelativeAndFileUrls) {
  EXPECT_EQ(resolveUrl(kPage, kUrl, "img/a.jpg"), "/pages/sub/img/a.jpg");
  EXPECT_EQ(resolveUrl(kPage, kUrl, "a.jpg?x=1#frag"), "/pages/sub/a.jpg");
  EXPECT_EQ(resolveUrl(kPage, kUrl, "file:///tmp/b.jpg"), "/tmp/b.jpg");
  EXPECT_EQ(resolveUrl(kPage, kUrl, "/abs/c.jpg"), "/abs/c.jpg");
  EXPECT_EQ(resolveUrl("test.html", kUrl, "c.jpg"), "./c.jpg");
}

TEST(ResolveUrl, AbsoluteUrlsOnlyInsideThePageFolder) {
  EXPECT_EQ(resolveUrl(kPage, kUrl, "http://localhost/sub/d/e.jpg"), "/pages/sub/d/e.jpg");
  EXPECT_EQ(resolveUrl(kPage, kUrl, "http://localhost/other/e.jpg"), "");
  EXPECT_EQ(resolveUrl(kPage, kUrl, "https://localhost/sub/e.jpg"), "");
  EXPECT_EQ(resolveUrl(kPage, kUrl, "http://localhost/sub/"), "");
  EXPECT_EQ(resolveUrl(kPage, kUrl, ""), "");
}

}  // namespace
}  // namespace Browser
