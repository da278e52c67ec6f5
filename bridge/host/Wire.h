// The native-messaging wire: each message is a 32-bit length in the
// machine's byte order followed by that many bytes of UTF-8 JSON. The
// browser takes at most 1 MiB per message from a host, so a long one goes
// out as ordered "piece" messages that the extension joins.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace Bridge {

// What the browser accepts from a host in one message.
constexpr std::size_t kMaxOutgoing = 1024 * 1024;
// The size of the pieces a longer message goes out in: Chromium passes
// pieces of half its limit about twice as fast as pieces near it (a 50 MiB
// read: ~3 s against ~6 s).
constexpr std::size_t kPieceLimit = kMaxOutgoing / 2;
// What this host accepts from the browser (the browser sends at most 64 MiB).
constexpr std::size_t kMaxIncoming = 64 * 1024 * 1024;

enum class ReadResult { Message, End, Oversized };

// Blocks for one message on `fd`. End: the stream closed (also in the middle
// of a message). Oversized: the length exceeded `limit`; its bytes were read
// and dropped so that the next message can follow, and `out` holds nothing.
ReadResult readMessage(int fd, std::string& out, std::size_t limit = kMaxIncoming,
                       std::uint32_t* announced = nullptr);

// The text of a message, as dump(-1, ' ', false, replace) writes it; long
// strings of plain ASCII (a 50 MiB data URL) are copied, not escaped byte by byte.
std::string messageText(const nlohmann::json& message);

// The bodies to write for one JSON text (valid UTF-8, as messageText gives):
// the text itself when it fits in `limit`, else piece messages
// {"type":"piece","last":bool,"text":"..."} whose texts, joined in order, give
// the original; each piece also carries `doc` (when not null) so that the
// extension can route it unread. Pieces are cut on UTF-8 character
// boundaries and filled up to `limit`. Each body goes to `emit` as it is made
// (so a long answer is never held twice); false from it stops the rest.
void framePieces(const std::string& json, std::size_t limit, const nlohmann::json& doc,
                 const std::function<bool(const std::string&)>& emit);

// The text with each byte sequence that is not UTF-8 and each unpaired
// surrogate escape (\ud800) replaced by U+FFFD: what a browser may send for a
// page's lone surrogate, made readable enough to answer the call it came with.
std::string readableText(const std::string& text);

// Writes length and body; false when the stream is gone.
bool writeMessage(int fd, const std::string& body);

}  // namespace Bridge
