// The core object of one plug-in instance: the session, the page's lists and
// chosen paths, and the instance's two background threads.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace Harlune {
namespace Web {

class Callback;
class Json;
class HttpResponse;
class RequestWorker;
class TransfersPoller;

enum PlugInHostApi_e { PlugInHostApiGecko = 0, PlugInHostApiMSHTML = 1, PlugInHostApiWebKit = 2 };

class PlugIn {
public:
  PlugIn();
  // Stops and joins the request worker, then the poller.
  ~PlugIn();
  PlugIn(const PlugIn&) = delete;
  PlugIn& operator=(const PlugIn&) = delete;

  // Sets the shared launch time-out, launches the desktop application when it
  // does not answer (waiting on this thread), and starts the request worker.
  void init(int launchTimeoutMs);
  void setHostBrowser(const std::string& userAgent);
  bool configure(const std::map<std::string, std::string>& parameters);

  std::string queryBrowserEngine(PlugInHostApi_e api) const;
  std::string queryBuildVersion() const;
  std::string queryPluginVersion() const;
  std::string queryVersion() const;

  // {"app_id":"..."} on success, else a JSON error object.
  std::string initSession(const std::string& appId, const std::string& domain);
  // "" when the identifier may be used on this page, else a JSON error object.
  std::string isAppIdValid(const std::string& appId) const;

  // Relay of page requests. harluneHttpRequest gives "" and the response
  // (the caller's) on success, else a JSON error and no response.
  std::string harluneHttpRequest(const std::string& method, const std::string& path,
                                 const std::string& body, std::unique_ptr<HttpResponse>* response);
  // Takes the callback: "" once queued; otherwise a JSON error (the callback
  // is then deleted, never told).
  std::string harluneHttpRequestAsync(const std::string& method, const std::string& path,
                                      const std::string& body, Callback* callback);
  void httpRequestImplementation(const std::string& method, const std::string& path,
                                 const std::string& body, Callback* callback);
  std::string queryHarluneVersion();
  bool isJsonValid(const std::string& body, std::string& error) const;
  // What a relay would send: "" with *sent set to the body, or the JSON error
  // (nothing is sent). Guarded, the method is a token, the path canonical and
  // none of the plug-in's own endpoints, and *sent is the checked body
  // written anew; literally, the body as given after isJsonValid.
  std::string relayedBody(const std::string& method, const std::string& path,
                          const std::string& body, std::string* sent) const;

  // Transfers in the desktop application. Each answers whether the request
  // was delivered; the page is told nothing.
  void startDownload(const std::string& source);
  void startDownloadToPath(const std::string& source, const std::string& destination);
  void startListDownloadToPath(const std::string& destination);
  bool download(const std::vector<std::string>& sources, const std::string& destination);
  void startUploadToURL(const std::string& path, const std::string& destination);
  void startListUploadToURL(const std::string& destination);
  void uploadDroppedFiles(const std::vector<std::string>& paths);
  bool upload(const std::vector<std::string>& paths, const std::string& destination);
  void addToDownloadList(const std::string& entry) { _downloadList.push_back(entry); }
  void addToUploadList(const std::string& entry) { _uploadList.push_back(entry); }
  void clearDownloadList() { _downloadList.clear(); }
  void clearUploadList() { _uploadList.clear(); }
  // Whether the path lies in the folder the user chose last. Guarded, the
  // path has no "." or ".." component and what exists of it, links
  // resolved, lies inside the chosen folder, links resolved.
  bool allowDestRoot(const std::string& path) const;

  bool displayTransferManager();
  bool displayAboutWindow();
  bool displayPreferencesWindow();

  // A data URL of an approved file (or of a byte range of it), or a failure
  // text: JSON errors for unapproved or irregular files, plain text otherwise.
  std::string readFileAsArrayBuffer(const std::string& path);
  std::string readFileChunkAsArrayBuffer(const std::string& path, uint64_t offset,
                                         uint64_t chunkSize);
  // The same reads with the data URL written, NUL-terminated, into the one
  // block that `allocate` gives for it (asked once, with the text's size plus
  // one), so that the host can have a large text made where the page receives
  // it. The result is "" when the URL was written, else the failure text; a
  // block given stays the caller's either way. A null block gives the
  // encoding failure.
  using TextAllocator = std::function<char*(size_t size)>;
  std::string readFileAsArrayBuffer(const std::string& path, const TextAllocator& allocate);
  std::string readFileChunkAsArrayBuffer(const std::string& path, uint64_t offset,
                                         uint64_t chunkSize, const TextAllocator& allocate);

  // The paths the user approved through a dialog or a drop (main thread
  // only). Literally they are shared by every instance of the process, with
  // backslashes read as "/"; guarded, each approval belongs to the page host
  // that received it and is found again only by its exact bytes.
  static void addToApprovedFileList(const std::vector<std::string>& paths,
                                    const std::string& pageHost);
  static bool isFileAllowed(const std::string& path, const std::string& pageHost);
  // When the page that received approvals is gone: guarded, the approvals of
  // its host; literally, every approval (they have no owner).
  static void forgetApprovals(const std::string& pageHost);
  static std::set<std::string> pathsSelectedByUser;
  static std::map<std::string, std::set<std::string>> pathsApprovedForHost;
  void setLastSelectedPath(const std::string& path);
  const std::string& lastSelectedPath() const { return _lastSelectedPath; }

  const std::string& hostBrowser() const { return _hostBrowser; }
  const std::string& pageHostname() const { return _pageHostname; }
  void setPageHostname(const std::string& host) { _pageHostname = host; }
  const std::string& name() const { return _name; }
  void setName(const std::string& name) { _name = name; }
  const std::string& dropUploadUrl() const { return _dropUploadUrl; }
  const std::string& appId() const { return _appId; }
  bool sessionInitialized() const { return _sessionInitialized; }

  RequestWorker* requestWorker() const { return _requestWorker.get(); }
  TransfersPoller* transfersPoller() const { return _transfersPoller.get(); }

private:
  bool bodyCheckedGuarded(const std::string& body, const std::string& query, std::string* sent,
                          std::string& error) const;
  std::string appIdsRefusal(const Json& json, const std::vector<std::string>& appIds,
                            std::string& error) const;
  std::string transferSpecsRefusal(const Json& json) const;

  std::string _appId;
  std::vector<std::string> _downloadList;
  std::string _hostBrowser;
  std::string _pageHostname;
  std::string _lastSelectedPath;
  std::unique_ptr<RequestWorker> _requestWorker;
  bool _sessionInitialized = false;
  std::unique_ptr<TransfersPoller> _transfersPoller;
  std::vector<std::string> _uploadList;
  std::string _name;
  std::string _dropUploadUrl;
};

}  // namespace Web
}  // namespace Harlune
