// Helpers shared by the socket-level tests: a temporary home folder and a
// plain client that sends exact bytes and returns exactly what came back.
#pragma once

#include <string>

namespace SimTest {

class TempHome {
public:
    TempHome();
    ~TempHome();
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;
    const std::string& path() const { return path_; }
    std::string runFolder() const;

private:
    std::string path_;
};

struct Exchange {
    std::string received;
    bool timedOut = false;
    bool connected = false;
};

// Connects to 127.0.0.1:port, sends `bytes` and reads until the server
// closes or nothing arrives for `timeoutMs`.
Exchange roundTrip(int port, const std::string& bytes, int timeoutMs = 10000);

// A request in the form the plug-in sends.
std::string request(const std::string& method, const std::string& path, const std::string& body,
                    const std::string& key = "", const std::string& contentType = "");

// The body of a whole response ("" when there is no empty line).
std::string bodyOf(const std::string& response);

std::string readFile(const std::string& path);
bool fileExists(const std::string& path);

}  // namespace SimTest
