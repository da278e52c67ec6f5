// One IPv4 socket address, and name resolution to dotted text.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <string>

namespace Harlune {
namespace Web {

class IpAddress {
public:
  IpAddress();
  explicit IpAddress(const sockaddr_in& address) : _address(address) {}

  // First IPv4 address of `host` in dotted form, or "".
  static std::string resolve(const std::string& host);

  std::string address() const;
  uint16_t port() const { return ntohs(_address.sin_port); }

private:
  sockaddr_in _address;
};

}  // namespace Web
}  // namespace Harlune
