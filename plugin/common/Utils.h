// Functions every layer shares: requests to the desktop application, error
// texts and the plug-in's log. Members that need a later folder are defined
// there (link/UtilsHttp.cpp, link/UtilsLog.cpp, dialogs/UtilsDialogs.cpp).
#pragma once

#include <exception>
#include <memory>
#include <string>
#include <vector>

#include <taplatform/tafile.h>

namespace Harlune {
namespace Web {

class HttpRequest;

enum ContentType_e { ContentTypeJson = 0, ContentTypeXml = 1 };

class Utils {
public:
  // A request to the desktop application carrying its access key and the
  // xferreq content type; null while the application's URL is unknown.
  static std::unique_ptr<HttpRequest> createHttpRequest(ContentType_e type);
  static std::unique_ptr<HttpRequest> createHttpRequest(const std::string& method,
                                                        const std::string& path,
                                                        const std::string& body,
                                                        ContentType_e type);
  // The portability layer's text for an error number.
  static std::string errorCodeToStr(int code);
  // Changes nothing on this platform; kept so the core's start-up reads alike.
  static std::string setCurrentDirToUserHome();

  // Starts the plug-in's log once per process, at the most verbose level.
  static void logInit();
  static void logCleanup();
  static void logException(const std::exception& e);
  static void logException(const std::string& context, const std::exception& e);

  // {"dataTransfer":{"files":[...]}}: per path its ctime date, name, size and
  // MIME type, as the page receives dropped or chosen files.
  static std::string createExtendedObject(const std::vector<std::string>& paths);
  // "text/directory" for a directory, else the type of the path's extension.
  static std::string getMimeType(const std::string& path, const ta_stat_t& st);

  // Only one panel may show at a time in the whole process; see OsxUtils.
  static bool isSaveDialogOpen(void* panel = nullptr);
  static void closeSaveDialog(void* panel = nullptr);
};

}  // namespace Web
}  // namespace Harlune
