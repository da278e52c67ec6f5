// PlugIn::isJsonValid on any request body a page may relay, with a few
// approved paths and a chosen folder. Beyond "no crash", an accepted body
// must really keep to what the user approved (the model below is the literal
// policy's), and the guarded policy never accepts what the literal refuses.
#include <cstdint>
#include <memory>
#include <set>
#include <string>

#include <taplatform/talog.h>

#include "FuzzCheck.h"
#include "common/Policy.h"
#include "core/PlugIn.h"
#include "text/Json.h"

using Harlune::Web::Json;
using Harlune::Web::PlugIn;
using Harlune::Web::Policy;
using Harlune::Web::PolicyKind;

namespace {

const char kPageHost[] = "files.example.test";
const char kChosenFolder[] = "/Users/me/Downloads";
const char* const kApproved[] = {"/Users/me/report.txt", "/Users/me/photos/",
                                 "/tmp/up load/x\"y.bin", "C:\\data\\a b.txt"};

std::string slashes(std::string path) {
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

// One form per path: forward slashes, no trailing slash.
std::string normalised(const std::string& path) {
  std::string out = slashes(path);
  if (!out.empty() && out.back() == '/') out.pop_back();
  return out;
}

// Root and relative part joined by one "/", as the desktop application will
// read the pair.
std::string joined(const std::string& root, const std::string& relative) {
  std::string r = slashes(root), p = slashes(relative);
  if (r.empty()) return p;
  if (p.empty()) return r;
  if (r.back() != '/') r += '/';
  if (p.front() == '/') p.erase(0, 1);
  return r + p;
}

bool inChosenFolder(const std::string& path) {
  const std::string p = slashes(path);
  const std::string folder = kChosenFolder;
  return p == folder || p.compare(0, folder.size() + 1, folder + "/") == 0;
}

PlugIn& plugIn() {
  static std::unique_ptr<PlugIn> plugIn = [] {
    auto p = std::make_unique<PlugIn>();
    p->setPageHostname(kPageHost);
    p->setLastSelectedPath(kChosenFolder);
    const std::vector<std::string> approved(std::begin(kApproved), std::end(kApproved));
    for (PolicyKind kind : {PolicyKind::Guarded, PolicyKind::Literal}) {
      Policy::setForTesting(kind);
      PlugIn::addToApprovedFileList(approved, kPageHost);
    }
    return p;
  }();
  return *plugIn;
}

void checkErrorObject(const std::string& error) {
  Json json;
  FUZZ_CHECK(json.parse(error), "the refusal is not JSON");
  FUZZ_CHECK(json.containsError(), "the refusal has no \"error\"");
  const char* code[] = {"error", "code", nullptr};
  const char* internal[] = {"error", "internal_message", nullptr};
  const char* user[] = {"error", "user_message", nullptr};
  FUZZ_CHECK(json.getString(code) == "-1" && json.getString(internal) == "Invalid request",
             "the refusal is not the error object");
  const std::string message = json.getString(user);
  static const char* const kReasons[] = {
      "Error parsing JSON: ", "Invalid application ID hostname: ",
      "The website attempted to transfer to an unauthorized directory: ",
      "The website attempted to upload an unauthorized file or folder: ",
      "Invalid argument: "};
  bool known = false;
  for (const char* reason : kReasons) known = known || message.rfind(reason, 0) == 0;
  FUZZ_CHECK(known, "the refusal gives no known reason");
}

// What an accepted body may ask of the desktop application.
void checkAccepted(const std::string& body) {
  Json json;
  FUZZ_CHECK(json.parse(body), "accepted a body that is not JSON");
  const char* appIdPath[] = {"tarsen_harlune_settings", "app_id", nullptr};
  const std::string appId = json.getString(appIdPath);
  FUZZ_CHECK(appId.empty() || appId[0] != '^' || appId == std::string("^") + kPageHost,
             "accepted an application identifier bound to another host");

  const char* specsPath[] = {"transfer_specs", nullptr};
  const yajl_val specs = json.get(specsPath);
  if (!YAJL_IS_ARRAY(specs) || specs->u.array.len == 0) return;
  const yajl_val spec = specs->u.array.values[0];
  const char* directionPath[] = {"transfer_spec", "direction", nullptr};
  const char* absolutePath[] = {"tarsen_harlune_settings", "use_absolute_destination_path",
                                nullptr};
  const std::string direction = json.getString(directionPath, spec);
  if (direction == "receive" && json.isTrue(absolutePath, spec)) {
    const char* rootPath[] = {"transfer_spec", "destination_root", nullptr};
    FUZZ_CHECK(inChosenFolder(json.getString(rootPath, spec)),
               "accepted a download outside the chosen folder");
  }
  if (direction != "send") return;
  const char* sourceRootPath[] = {"transfer_spec", "source_root", nullptr};
  const char* pathsPath[] = {"transfer_spec", "paths", nullptr};
  const std::string root = json.getString(sourceRootPath, spec);
  const yajl_val paths = json.get(pathsPath, spec);
  FUZZ_CHECK(YAJL_IS_ARRAY(paths), "accepted a send without a paths array");
  std::set<std::string> approved;
  for (const char* a : kApproved) approved.insert(normalised(a));
  for (size_t i = 0; i < paths->u.array.len; ++i) {
    const yajl_val entry = paths->u.array.values[i];
    if (!YAJL_IS_OBJECT(entry)) continue;
    // Every "source" member counts: a reader that takes the last of equal
    // keys must find an approved path too.
    for (size_t m = 0; m < entry->u.object.len; ++m) {
      if (std::string(entry->u.object.keys[m]) != "source") continue;
      const yajl_val source = entry->u.object.values[m];
      FUZZ_CHECK(YAJL_IS_STRING(source), "accepted a source that is not text");
      FUZZ_CHECK(approved.count(normalised(joined(root, source->u.string))) == 1,
                 "accepted an upload of a path the user did not approve");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The log is not started, so nothing is written; keep it quiet anyway.
  ta_log_set_level(-1);
  plugIn();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string body(reinterpret_cast<const char*>(data), size);
  std::string error;
  Policy::setForTesting(PolicyKind::Guarded);
  const bool guardedValid = plugIn().isJsonValid(body, error);
  if (!guardedValid) checkErrorObject(error);
  Policy::setForTesting(PolicyKind::Literal);
  const bool valid = plugIn().isJsonValid(body, error);
  FUZZ_CHECK(!guardedValid || valid, "the guarded policy accepted what the literal refuses");
  if (valid) {
    checkAccepted(body);
  } else {
    checkErrorObject(error);
    Json json;
    if (!json.parse(body)) {
      FUZZ_CHECK(error.find("Error parsing JSON: ") != std::string::npos,
                 "a syntax error was refused for another reason");
    }
  }
  // The check reads and never changes what the user chose.
  FUZZ_CHECK(plugIn().lastSelectedPath() == kChosenFolder, "the chosen folder changed");
  FUZZ_CHECK(PlugIn::pathsSelectedByUser.size() == std::size(kApproved),
             "the approved paths changed");
  return 0;
}
