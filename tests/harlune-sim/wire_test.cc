#include "HttpWire.h"

#include <gtest/gtest.h>

using namespace HarluneSim;

TEST(Wire, HeadKeepsHeaderOrderAndValuesAsSent) {
    const std::string head =
        "POST /a/b?c=1 HTTP/1.1\r\nUser-Agent: Tarsen Harlune\r\nConnection: close\r\n"
        "Authorization-key:nospace\r\nX-Empty: \r\nContent-Length: 2\r\n\r\n";
    ASSERT_EQ(headEnd(head + "{}"), head.size());
    WireRequest r;
    std::string err;
    ASSERT_TRUE(parseHead(head, r, err)) << err;
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.target, "/a/b?c=1");
    EXPECT_EQ(r.path(), "/a/b");
    EXPECT_EQ(r.version, "HTTP/1.1");
    using H = std::pair<std::string, std::string>;
    EXPECT_EQ(r.headers, (std::vector<H>{{"User-Agent", "Tarsen Harlune"}, {"Connection", "close"},
                                         {"Authorization-key", "nospace"}, {"X-Empty", ""},
                                         {"Content-Length", "2"}}));
    EXPECT_EQ(r.head, head);
    EXPECT_EQ(r.header("content-length"), "2");
    EXPECT_EQ(contentLength(r), 2);
}

TEST(Wire, MalformedHeadsAreRefused) {
    for (const char* head : {"GET /\r\n\r\n", "GET  / HTTP/1.1\r\n\r\n", "GET / FTP/1\r\n\r\n",
                             "GET / HTTP/1.1\r\nNoColon\r\n\r\n", "GET / HTTP/1.1\r\nA: b\r\n"}) {
        WireRequest r;
        std::string err;
        EXPECT_FALSE(parseHead(head, r, err)) << head;
    }
    EXPECT_EQ(headEnd("GET / HTTP/1.1\r\nA: b\r\n"), 0u);
}

TEST(Wire, ContentLengthMissingOrBad) {
    WireRequest r;
    EXPECT_EQ(contentLength(r), 0);
    r.headers = {{"Content-Length", "1x"}};
    EXPECT_EQ(contentLength(r), -1);
    r.headers = {{"Content-Length", ""}};
    EXPECT_EQ(contentLength(r), -1);
}

TEST(Wire, ResponseFormWithAndWithoutLength) {
    Response r;
    r.status = 403;
    r.body = "{}";
    EXPECT_EQ(formatResponse(r, true),
              "HTTP/1.1 403 Forbidden\r\nContent-Type: application/json\r\nContent-Length: 2\r\n"
              "Connection: close\r\n\r\n{}");
    r.contentType = "";
    EXPECT_EQ(formatResponse(r, false), "HTTP/1.1 403 Forbidden\r\nConnection: close\r\n\r\n{}");
}
