// A long data URL's bytes, served once on a loopback port instead of as native-messaging
// pieces: the extension fetches them and the page builds the same text from them.
//
// Each offer is a random token (128 bits from the kernel's generator) bound to one document
// and one fetching origin, taken by the first request that names it, and good for a few
// seconds of the host's clock. The one request served is
//   POST /TOKEN  with  Origin: <the origin bound to the token>
// on 127.0.0.1; anything else (another path, method, token or origin, a token already taken,
// expired or revoked) gets a bare 403 and no byte of any offer. The base64 text is decoded
// as it goes out; an offer not served can be taken back whole for the pieces road.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace Bridge {

// The bytes of base64 text when the text is exactly what encoding them gives (so that
// encoding them again, anywhere, gives the same text back); false otherwise. `last`: the text
// ends the encoding (only there may it be padded).
bool decodeCanonicalBase64(const char* text, std::size_t length, std::string& bytes,
                           bool last = true);

// A listening socket on an ephemeral 127.0.0.1 port (its number in `port`); -1 when none.
int listenOnLoopback(int backlog, int& port);

class SideChannel {
 public:
  // `now`: the host's clock in seconds (any thread); `lifetime`: how long an offer waits.
  SideChannel(std::function<double()> now, double lifetime);
  ~SideChannel();  // stops serving, joins its thread, closes its sockets
  SideChannel(const SideChannel&) = delete;
  SideChannel& operator=(const SideChannel&) = delete;

  // Listens on an ephemeral loopback port; false when it cannot (then there is no side road).
  bool start();
  int port() const { return port_; }
  double lifetime() const { return lifetime_; }

  // A text held as it was made (the plug-in's answer), and what frees it.
  using Text = std::unique_ptr<char, std::function<void(char*)>>;

  // The token under which the bytes that `text` (`size` bytes) encodes in base64 from
  // `start` on wait for one fetch from `origin` for document `doc`; the text is taken over.
  // Empty (and the text left alone) when its length cannot be base64's or no random token
  // could be made.
  std::string offer(const std::string& doc, const std::string& origin, Text& text,
                    std::size_t size, std::size_t start);
  // The text of an offer of `doc` that was never served (true), ending the offer.
  bool take(const std::string& token, const std::string& doc, std::string& text);
  // Every offer of a document that closed.
  void revoke(const std::string& doc);

 private:
  struct Offer {
    std::string doc;
    std::string origin;
    Text text;
    std::size_t size = 0;
    std::size_t start = 0;
    double until = 0;
  };

  void run_();
  void answer_(int peer);

  std::function<double()> now_;
  double lifetime_;
  int listener_ = -1;
  int wake_[2] = {-1, -1};  // a byte here ends run_
  int port_ = 0;
  std::thread thread_;
  std::mutex mutex_;
  std::map<std::string, Offer> offers_;  // token -> offer, guarded by mutex_
  std::string serving_;  // the document whose offer goes out now, until it closes; mutex_
};

}  // namespace Bridge
