// Bench-only parts of the host, switched on by TARSEN_WEB_BENCH_ECHO: echoes that measure
// the browser's hops and the channels' floors, and the trace of a call's hops in the host.
// None of them reads a file or reaches the plug-in.
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>

#include <desktop/RunLoop.h>

#include "SideChannel.h"
#include "WebHost.h"

namespace Bridge {

using Clock = std::chrono::steady_clock;

namespace {

// Bench only, the fastest channel for a long answer as a floor: `bytes` bytes
// served once, on a loopback port of its own, to the first GET; the port is
// announced first. Gives up after 10 s without a connection or a byte.
void serveOnce(std::size_t bytes, const std::function<void(int)>& announce) {
  int port = 0;
  const int listener = listenOnLoopback(4, port);
  announce(listener < 0 ? 0 : port);
  if (listener < 0) return;
  const auto ready = [](int fd) {
    pollfd entry{fd, POLLIN, 0};
    return ::poll(&entry, 1, 10000) > 0;
  };
  for (bool served = false; !served && ready(listener);) {
    const int peer = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (peer < 0) break;
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < 16384 &&
           ready(peer)) {
      const ssize_t n = ::recv(peer, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      request.append(buffer, static_cast<std::size_t>(n));
    }
    if (request.compare(0, 4, "GET ") == 0) {
      served = true;
      timeval limit{10, 0};
      ::setsockopt(peer, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
      std::string chunk = "HTTP/1.1 200 OK\r\nAccess-Control-Allow-Origin: *\r\n"
                          "Content-Type: application/octet-stream\r\nContent-Length: " +
                          std::to_string(bytes) + "\r\nConnection: close\r\n\r\n";
      const std::string block(1 << 20, 'x');
      for (std::size_t left = bytes; !chunk.empty();) {
        if (::send(peer, chunk.data(), chunk.size(), MSG_NOSIGNAL) !=
            static_cast<ssize_t>(chunk.size()))
          break;
        const std::size_t next = left < block.size() ? left : block.size();
        chunk.assign(block, 0, next);
        left -= next;
      }
    }
    ::close(peer);
  }
  ::close(listener);
}

}  // namespace

// {"type":"echo","at":"reader"|"main"[,"characters":N]} comes back from that depth of the
// host, so the bench can tell the browser's hops from the host's; with "serve":N the answer
// is a loopback port that serves N bytes once.
bool WebHost::echo_(const std::string& text) {
  if (text.find("\"echo\"") == std::string::npos) return false;
  json message = json::parse(text, nullptr, false);
  if (!message.is_object() || message.value("type", "") != "echo") return false;
  json answer = {{"type", "echo"}, {"doc", message.value("doc", json())},
                 {"call", message.value("call", json())}};
  // And a text of that many characters: the channel's floor for a long answer.
  const std::int64_t characters = message.value("characters", std::int64_t{0});
  if (characters > 0 && characters <= 128 * 1024 * 1024)
    answer["value"] = std::string(static_cast<std::size_t>(characters), 'A');
  const std::int64_t serve = message.value("serve", std::int64_t{0});
  if (serve > 0 && serve <= 128 * 1024 * 1024) {
    serveOnce(static_cast<std::size_t>(serve), [this, &answer](int port) {
      answer["port"] = port;
      send_(answer);
    });
    return true;
  }
  if (message.value("at", "") == "main")
    Desktop::RunLoop::main().performOnMainThread([this, answer] { send_(answer); });
  else
    send_(answer);
  return true;
}

// Bench only: the extension's stamps of a traced call, with the host's hops
// in microseconds: from the reader thread to the main loop, from there to the
// plug-in's call, the call itself (the relay and the application), and on to
// the answer.
json WebHost::traced_(const json& trace) const {
  json out = trace.is_object() ? trace : json::object();
  const auto us = [](Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration_cast<std::chrono::microseconds>(to - from).count();
  };
  const Clock::time_point now = Clock::now();
  out["host"] = {us(trace_.read, trace_.handling), us(trace_.handling, trace_.core),
                 us(trace_.core, trace_.cored), us(trace_.cored, now)};
  return out;
}

}  // namespace Bridge
