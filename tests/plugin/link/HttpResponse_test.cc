#include "link/HttpResponse.h"

#include <gtest/gtest.h>

namespace Harlune {
namespace Web {
namespace {

TEST(HttpResponseParse, StatusHeadersAndBody) {
  auto r = HttpResponse::parse("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n{}");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->statusCode(), 200);
  EXPECT_EQ(r->headers().size(), 1u);
  EXPECT_EQ(r->header("Content-Length"), "2");
  EXPECT_EQ(r->data(), "{}");
}

TEST(HttpResponseParse, HeaderValuesAreKeptVerbatimAndDuplicatesInOrder) {
  auto r = HttpResponse::parse(
      "HTTP/1.0 404 Not Found\r\nX-A: one\r\nX-A: two\r\nX-B:  padded \r\nX-C: a: b\r\n\r\n");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->statusCode(), 404);
  EXPECT_EQ(r->header("X-A"), "one");
  EXPECT_EQ(r->headers().count("X-A"), 2u);
  EXPECT_EQ(r->header("X-B"), " padded ");
  EXPECT_EQ(r->header("X-C"), "a: b");
  EXPECT_EQ(r->header("x-a"), "");  // names are case-sensitive
  EXPECT_EQ(r->header("Missing"), "");
  EXPECT_EQ(r->data(), "");
}

TEST(HttpResponseParse, BodyIsEverythingAfterTheEmptyLine) {
  auto r = HttpResponse::parse("HTTP/1.1 200 OK\r\n\r\nline1\r\n\r\nline2");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->data(), "line1\r\n\r\nline2");
}

TEST(HttpResponseParse, RefusesMalformedAnswers) {
  for (const char* bad : {
           "",
           "HTTP/1.1 200 OK",                          // no line end at all
           "HTTP/1.1\r\n\r\n",                         // no space in the status line
           "HTTP/1.1 200\r\n\r\n",                     // no reason phrase
           "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n",  // headers never end
           "HTTP/1.1 200 OK\r\nContent-Length:2\r\n\r\n{}",  // no space after colon
           "garbage\r\n\r\n",
       }) {
    EXPECT_FALSE(HttpResponse::parse(bad)) << bad;
  }
}

TEST(HttpResponseParse, OddStatusCodesAreReadLikeAtoi) {
  auto empty = HttpResponse::parse("HTTP/1.1  OK\r\n\r\n");
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->statusCode(), 0);
  auto wrapped = HttpResponse::parse("HTTP/1.1 65736 Odd\r\n\r\n");
  ASSERT_TRUE(wrapped);
  EXPECT_EQ(wrapped->statusCode(), 200);  // kept in 16 bits
}

}  // namespace
}  // namespace Web
}  // namespace Harlune
