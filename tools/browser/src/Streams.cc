#include "Streams.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <vector>

#include <desktop/System.h>

namespace Browser {

namespace {
std::string folderOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

bool hasScheme(const std::string& url) {
  std::size_t colon = url.find(':');
  if (colon == std::string::npos || colon == 0) return false;
  for (std::size_t i = 0; i < colon; ++i) {
    char c = url[i];
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
              (i > 0 && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'));
    if (!ok) return false;
  }
  return true;
}
}  // namespace

std::string resolveUrl(const std::string& pagePath, const std::string& pageUrl,
                       const std::string& url) {
  std::string u = url.substr(0, url.find_first_of("?#"));
  if (u.empty()) return "";
  if (u.compare(0, 7, "file://") == 0) return u.substr(7);
  if (hasScheme(u)) {
    std::string base = pageUrl.substr(0, pageUrl.rfind('/') + 1);
    if (base.empty() || u.compare(0, base.size(), base) != 0) return "";
    u = u.substr(base.size());
    if (u.empty()) return "";
  }
  if (u[0] == '/') return u;
  return folderOf(pagePath) + "/" + u;
}

void deliverFile(const NPPluginFuncs& funcs, NPP npp, const std::string& url,
                 const std::string& path, bool notify, void* notifyData) {
  auto urlNotify = [&](NPReason reason) {
    if (notify && funcs.urlnotify) funcs.urlnotify(npp, url.c_str(), reason, notifyData);
  };
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    urlNotify(NPRES_NETWORK_ERR);
    return;
  }
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

  NPStream stream{};
  stream.url = url.c_str();
  stream.end = static_cast<uint32_t>(bytes.size());
  stream.notifyData = notifyData;
  std::string mime = Desktop::mimeTypeForPath(path);
  if (mime.empty()) mime = "application/octet-stream";
  uint16_t type = NP_NORMAL;
  if (!funcs.newstream ||
      funcs.newstream(npp, &mime[0], &stream, false, &type) != NPERR_NO_ERROR) {
    urlNotify(NPRES_NETWORK_ERR);
    return;
  }

  NPReason reason = NPRES_DONE;
  auto size = static_cast<int32_t>(bytes.size());
  int32_t offset = 0;
  if (type != NP_ASFILEONLY) {
    while (offset < size) {
      int32_t ready = funcs.writeready ? funcs.writeready(npp, &stream) : size;
      int32_t block = std::min({ready, kStreamBlockSize, size - offset});
      if (block <= 0 || !funcs.write) {
        reason = NPRES_NETWORK_ERR;
        break;
      }
      int32_t taken = funcs.write(npp, &stream, offset, block, bytes.data() + offset);
      if (taken <= 0) {
        reason = NPRES_NETWORK_ERR;
        break;
      }
      offset += std::min(taken, block);
    }
  }
  if (reason == NPRES_DONE && (type == NP_ASFILE || type == NP_ASFILEONLY) && funcs.asfile)
    funcs.asfile(npp, &stream, path.c_str());
  if (funcs.destroystream) funcs.destroystream(npp, &stream, reason);
  urlNotify(reason);
}

}  // namespace Browser
