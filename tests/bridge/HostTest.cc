// The native-messaging wire, the page's location, the host's refusals, and
// panels through a stand-in zenity.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <desktop/RunLoop.h>
#include <atomic>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "PageObjects.h"
#include "SideChannel.h"
#include "WebHost.h"
#include "Wire.h"
#include "ZenityPanels.h"

namespace {

using Bridge::ReadResult;

// Long texts go out as pieces within the limit that join back to the text,
// cut between characters, each routed to its document.
TEST(Wire, PiecesJoinBackWithinTheLimit) {
  std::string quotes;
  for (int i = 0; i < 5000; ++i) quotes += "\"\\";  // doubles when escaped
  std::string wide;
  for (int i = 0; i < 3000; ++i) wide += "\xE2\x82\xAC\xF0\x9F\x98\x80";  // 3- and 4-byte characters
  const struct { std::string text; std::size_t limit, pieces; } cases[] = {
      {std::string(1024, 'a'), 1024, 1},
      {std::string(1025, 'a'), 1024, 2},
      {quotes, 4096, 5},  // 20,000 bytes escaped
      {wide, 4096, 0},  // 0: just more than one
      {std::string(3 * 1024 * 1024, 'b'), Bridge::kPieceLimit, 7},
      {"{\"ctl\":\"\x01\x1f\",\"t\":\"" + std::string(2000, 'c') + "\"}", 1024, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 20) + " limit " + std::to_string(c.limit));
    std::vector<std::string> bodies;
    Bridge::framePieces(c.text, c.limit, 7, [&](const std::string& body) {
      bodies.push_back(body);
      return true;
    });
    if (c.pieces) EXPECT_EQ(bodies.size(), c.pieces);
    else EXPECT_GT(bodies.size(), 1u);
    std::string joined = bodies.size() == 1 ? bodies[0] : "";
    for (std::size_t i = 0; bodies.size() > 1 && i < bodies.size(); ++i) {
      EXPECT_LE(bodies[i].size(), c.limit);
      auto piece = nlohmann::json::parse(bodies[i]);
      EXPECT_EQ(piece["type"], "piece");
      EXPECT_EQ(piece["doc"], 7);
      EXPECT_EQ(piece["last"], i + 1 == bodies.size());
      joined += piece["text"].get<std::string>();
    }
    EXPECT_EQ(joined, c.text);
  }
}

TEST(Wire, LocationOfTheReportedAddress) {
  const std::pair<const char*, const char*> cases[] = {
      {"https://www.example.com/a.html", "https: www.example.com "},
      {"http://127.0.0.1:8080/a.html", "http: 127.0.0.1 8080"},
      {"http://user:pw@www.example.com:81/x?y#z", "http: www.example.com 81"},
      {"http://[::1]:9000/", "http: [::1] 9000"},
      {"file:///home/a/page.html", "file:  "},
  };
  for (const auto& [url, expected] : cases) {
    auto parts = Bridge::splitUrl(url);
    EXPECT_EQ(parts.protocol + " " + parts.hostname + " " + parts.port, expected) << url;
  }
}

// Bad input, an empty or oversized message among it, gets an error message back
// and the host goes on; a message cut short is the end, as is the input closing.
TEST(Host, RefusesWhatItCannotServeAndGoesOn) {
  const std::string bad = R"(,"type":"error"})";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", R"({"message":"malformed message: not a JSON object")" + bad},
      {"not JSON", R"({"message":"malformed message: not a JSON object")" + bad},
      {R"({"doc":1})", R"({"doc":1,"message":"malformed message: no type")" + bad},
      {R"({"type":"launch","doc":1})", R"({"doc":1,"message":"unknown message type launch")" + bad},
      {R"({"type":"invoke","call":3})", R"({"call":3,"message":"malformed message: no doc")" + bad},
      {std::string(Bridge::kMaxIncoming + 1, ' '),
       R"({"message":"message of 67108865 bytes refused: at most 67108864 bytes")" + bad},
      {R"({"type":"invoke","doc":1,"id":9,"call":4,"method":"queryVersion"})",
       R"({"call":4,"doc":1,"message":"no object 9 in this page")" + bad},
      {R"({"type":"create","doc":1,"id":1})", R"({"doc":1,"message":"malformed create message")" + bad},
      // A page's lone surrogate as a browser may write it, raw or escaped: still
      // answered for its call.
      {"{\"args\":[\"\xED\xA0\x80\"],\"call\":5,\"doc\":1,\"type\":\"invoke\"}",
       R"({"call":5,"doc":1,"message":"malformed message: a text in it is not valid Unicode")" + bad},
      {R"({"args":["\\ud800\udc00\ud800x"],"call":6,"doc":1,"type":"invoke"})",
       R"({"call":6,"doc":1,"message":"malformed message: a text in it is not valid Unicode")" + bad},
      {R"({"type":"create","doc":1,"id":2,"url":"file:///home/a/p.html"})",
       R"({"doc":1,"error":"only http: and https: pages get an object","id":2,"ok":false,"type":"created"})"},
      {R"({"type":"create","doc":1,"id":1,"url":"http://a.test/"})",
       R"({"doc":1,"error":"cannot load plug-in /nonexistent/libtarsenweb.so: )"
       R"(/nonexistent/libtarsenweb.so: cannot open shared object file: No such file or directory",)"
       R"("id":1,"ok":false,"type":"created"})"},
      {R"({"type":"close","doc":1})", ""}};
  int in[2], out[2];
  ASSERT_EQ(pipe(in), 0);
  ASSERT_EQ(pipe(out), 0);
  std::thread writer([&] {
    for (const auto& c : cases) Bridge::writeMessage(in[1], c.first);
    const uint32_t cut = 10;  // announces more than follows
    if (write(in[1], &cut, sizeof cut) != 4 || write(in[1], "abc", 3) != 3) ADD_FAILURE();
    close(in[1]);
  });
  std::string answers, expected;
  std::thread reader([&] {
    for (std::string text; Bridge::readMessage(out[0], text) == ReadResult::Message;)
      answers += nlohmann::json::parse(text).dump() + "\n";
  });
  Bridge::HostOptions options;
  options.pluginPath = "/nonexistent/libtarsenweb.so";
  options.in = in[0];
  options.out = out[1];
  EXPECT_EQ(Bridge::WebHost(options).run(), 1);  // the plug-in could not be loaded
  close(out[1]);
  writer.join();
  reader.join();
  close(in[0]);
  close(out[0]);
  for (const auto& c : cases)
    if (!c.second.empty()) expected += c.second + "\n";
  EXPECT_EQ(answers, expected);
}

TEST(SideChannel, OnlyCanonicalBase64Decodes) {
  const std::pair<const char*, const char*> cases[] = {
      {"TWFu", "Man"}, {"TWE=", "Ma"}, {"TQ==", "M"}, {"", ""}, {"TR==", nullptr},
      {"TWF=", nullptr}, {"TWF", nullptr}, {"TW=u", nullptr}, {"TW\nu", nullptr},
      {"TWF-", nullptr}, {"T===", nullptr}};
  for (const auto& [text, bytes] : cases) {
    std::string out = "unset";
    EXPECT_EQ(Bridge::decodeCanonicalBase64(text, std::strlen(text), out), bytes != nullptr)
        << text;
    EXPECT_TRUE(!bytes || out == bytes) << text;
  }
}

// Bytes go once, to the one origin and document they were offered for, in time; every other
// request is refused without a byte of any offer, and what was not served can be taken back.
TEST(SideChannel, ServesEachOfferOnceToItsOriginInTime) {
  std::atomic<double> now{100};
  Bridge::SideChannel side([&now] { return now.load(); }, 10);
  ASSERT_TRUE(side.start());
  const std::string extension = "chrome-extension://abc";
  const auto offer = [&](const char* doc, const char* text) {
    Bridge::SideChannel::Text owned(strdup(text), [](char* block) { free(block); });
    return side.offer(doc, extension, owned, std::strlen(text), 5);
  };
  const std::string a = offer("doc1", "data,c2VjcmV0LWE="), b = offer("doc2", "data,c2VjcmV0LWI="),
                    c = offer("doc2", "data,c2VjcmV0LWM="), d = offer("doc3", "data,c2VjcmV0LWQ="),
                    e = offer("doc4", "data,c2VjcmV0LWF=");  // not canonical base64
  ASSERT_EQ(a.size(), 32u);
  side.revoke("doc3");  // its page closed before the fetch
  const auto post = [&](const std::string& token, const std::string& headers) {
    return "POST /" + token + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + headers + "\r\n";
  };
  const std::string from = "Origin: " + extension + "\r\n";
  const std::string served = "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                             "Content-Length: 8\r\nAccess-Control-Allow-Origin: " + extension +
                             "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n";
  const std::string refused = "HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n"
                              "Connection: close\r\n\r\n";
  const struct { std::string request; double at; std::string response; } cases[] = {
      {post(a, "Origin: http://www.tarsen.test:8080\r\n"), 100, refused},  // the page's origin
      {post(a, ""), 100, refused},
      {post(a, from + from), 100, refused},
      {"GET /" + a + " HTTP/1.1\r\n" + from + "\r\n", 100, refused},
      {post(std::string(32, '0'), from), 100, refused},
      {post(a.substr(1), from), 100, refused},
      {post(d, from), 100, refused},
      {post(a, "Origin: http://x.test\r\n") + "body", 100, refused},  // what follows the head
      {post(a, from), 109.9, served + "secret-a"},
      {post(a, from), 100, refused},  // used
      {post(b, from), 110, refused},  // too late
      {"OPTIONS /" + c + " HTTP/1.1\r\n" + from + "\r\n", 100, refused},
      {post(e, from), 100, served},  // cut short
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.request);
    now = test.at;
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(side.port()));
    ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(send(fd, test.request.data(), test.request.size(), 0),
              static_cast<ssize_t>(test.request.size()));
    std::string response;
    char buffer[1024];
    for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, 0)) > 0;) response.append(buffer, n);
    close(fd);
    EXPECT_EQ(response, test.response);
  }
  std::string text;
  EXPECT_FALSE(side.take(a, "doc1", text));  // served
  EXPECT_FALSE(side.take(d, "doc3", text));  // revoked
  EXPECT_FALSE(side.take(b, "doc1", text));  // another document's
  EXPECT_TRUE(side.take(b, "doc2", text));   // expired, still there for the pieces road
  EXPECT_EQ(text, "data,c2VjcmV0LWI=");
  EXPECT_TRUE(side.take(c, "doc2", text));   // refused to an OPTIONS, never served
  EXPECT_FALSE(side.take(c, "doc2", text));
  EXPECT_TRUE(side.take(e, "doc4", text));   // cut short: the pieces road
}

TEST(Zenity, ArgumentsForEachPanel) {
  Desktop::PanelSettings files, titled, folder, filtered, save;
  for (auto* s : {&files, &titled, &folder, &filtered}) {
    s->kind = Desktop::WindowKind::OpenPanel;
    s->canChooseFiles = s != &folder;
  }
  titled.title = "Pick";
  titled.allowsMultipleSelection = titled.canChooseDirectories = true;  // files win
  folder.canChooseDirectories = true;
  filtered.allowedFileTypes = {"png", "jpg"};
  filtered.filters = {{"Images", {"png", "jpg"}}};
  filtered.allowsOtherFileTypes = true;
  save.directory = "/home/a";
  save.nameFieldStringValue = "report.pdf";
  // A panel given no folder starts in the last folder used (or home).
  const std::string sel = "--file-selection", sep = "--separator=\n", last = "--filename=/u/";
  const std::vector<std::pair<Desktop::PanelSettings, std::vector<std::string>>> cases = {
      {files, {sel, sep, last}},
      {titled, {sel, "--title=Pick", "--multiple", sep, last}},
      {folder, {sel, "--directory", sep, last}},
      {filtered,
       {sel, sep, last, "--file-filter=Images | *.png *.jpg", "--file-filter=All files | *"}},
      {save, {sel, "--save", sep, "--filename=/home/a/report.pdf"}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Desktop::ZenityPanels::arguments(c.first, "/u"), c.second);
}

// A stand-in for zenity answers while the loop turns; its answer ends the panel.
TEST(Zenity, TheChooserEndsThePanel) {
  char folder[] = "/tmp/zenity-test-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const struct { const char* script; int code; std::vector<std::string> chosen; } cases[] = {
      {"printf '/x y/one\\n/two\\n'", Desktop::kModalResponseOK, {"/x y/one", "/two"}},
      {"printf '/x/one\\n'; exit 5", Desktop::kModalResponseCancel, {}},
  };
  auto& loop = Desktop::RunLoop::main();
  loop.bindToCurrentThread();
  loop.setVirtualClock(false);
  for (const auto& c : cases) {
    const std::string program = std::string(folder) + "/zenity";
    std::ofstream(program) << "#!/bin/sh\n" << c.script << "\n";
    chmod(program.c_str(), 0755);
    Desktop::ZenityPanels zenity(Desktop::Application::shared(), program);
    auto previous = Desktop::Application::shared().setPanelResponder(zenity.responder());
    Desktop::OpenPanel panel;
    panel.setAllowsMultipleSelection(true);
    EXPECT_EQ(panel.runModal(), c.code) << c.script;
    EXPECT_EQ(panel.filenames(), c.chosen) << c.script;
    Desktop::Application::shared().setPanelResponder(previous);
    unlink(program.c_str());
  }
  rmdir(folder);
}

}  // namespace
