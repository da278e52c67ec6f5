#include "sim_test_util.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include "RunFiles.h"

namespace SimTest {

TempHome::TempHome() {
    char templ[] = "/tmp/harlune-sim-home-XXXXXX";
    if (mkdtemp(templ)) path_ = templ;
}

TempHome::~TempHome() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
}

std::string TempHome::runFolder() const {
    return HarluneSim::runFolder(path_);
}

Exchange roundTrip(int port, const std::string& bytes, int timeoutMs) {
    Exchange ex;
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return ex;
    timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        close(fd);
        return ex;
    }
    ex.connected = true;
    size_t sent = 0;
    while (sent < bytes.size()) {
        ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<size_t>(n);
    }
    char buf[4096];
    while (true) {
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n > 0) {
            ex.received.append(buf, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        ex.timedOut = n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
        break;
    }
    close(fd);
    return ex;
}

std::string request(const std::string& method, const std::string& path, const std::string& body,
                    const std::string& key, const std::string& contentType) {
    // Headers in the order the plug-in writes them: sorted by name.
    std::string r = method + " " + path + " HTTP/1.1\r\n";
    if (!key.empty()) r += "Authorization-key: " + key + "\r\n";
    r += "Connection: close\r\nContent-Length: " + std::to_string(body.size()) + "\r\n";
    if (!contentType.empty()) r += "Content-Type: " + contentType + "\r\n";
    r += "User-Agent: Tarsen Harlune\r\n\r\n" + body;
    return r;
}

std::string bodyOf(const std::string& response) {
    size_t at = response.find("\r\n\r\n");
    return at == std::string::npos ? "" : response.substr(at + 4);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool fileExists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

}  // namespace SimTest
