// The guarded relay check as a property: for every path and body it lets
// through (first line the path, the rest the body), the bytes it would send
// are read the way a lenient application might (member names in any case
// with white space around, the first or the last of look-alike members,
// strings cut at a NUL, file URLs percent-decoded), and still every local
// source is approved, every destination lies in the chosen folder, every
// identifier is the page's, and the path is none of the plug-in's own.
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>
#include <taplatform/talog.h>

#include "FuzzCheck.h"
#include "common/Policy.h"
#include "core/PlugIn.h"
#include "text/Json.h"

using Harlune::Web::PlugIn;
using Harlune::Web::Policy;
using Harlune::Web::PolicyKind;
using Tree = nlohmann::ordered_json;

namespace {

const char kPageHost[] = "files.example.test";
const char* const kApproved[] = {"/Users/me/report.txt", "/Users/me/photos/",
                                 "/tmp/up load/x\"y.bin"};
// A folder that exists everywhere: the check resolves what exists of a
// destination.
const std::string chosenFolder = "/tmp";

enum class Pick { First, Last };

std::string lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// White space and look-alike letters as a forgiving reader treats them.
std::string loose(const std::string& text) {
  static const std::pair<const char*, const char*> kFolds[] = {
      {"\xc5\xbf", "s"}, {"\xe2\x84\xaa", "k"}, {"\xc4\xb0", "i"}, {"\xc4\xb1", "i"}};
  static const char* const kSpaces[] = {"\xc2\xa0", "\xe2\x80\x8b", "\xe3\x80\x80",
                                        "\xef\xbb\xbf", "\xe2\x80\x83"};
  std::string out = text;
  for (const auto& fold : kFolds) {
    for (size_t at; (at = out.find(fold.first)) != std::string::npos;) {
      out.replace(at, std::string(fold.first).size(), fold.second);
    }
  }
  const auto blank = [](unsigned char c) { return c <= 0x20; };
  for (bool trimmed = true; trimmed;) {
    trimmed = false;
    while (!out.empty() && blank(out.back())) out.pop_back(), trimmed = true;
    while (!out.empty() && blank(out.front())) out.erase(0, 1), trimmed = true;
    for (const char* space : kSpaces) {
      const std::string s(space);
      if (out.size() >= s.size() && out.compare(0, s.size(), s) == 0) {
        out.erase(0, s.size()), trimmed = true;
      }
      if (out.size() >= s.size() && out.compare(out.size() - s.size(), s.size(), s) == 0) {
        out.erase(out.size() - s.size()), trimmed = true;
      }
    }
  }
  return lower(out);
}

const Tree* member(const Tree* object, const char* name, Pick pick) {
  if (!object || !object->is_object()) return nullptr;
  const Tree* found = nullptr;
  for (auto it = object->begin(); it != object->end(); ++it) {
    if (loose(it.key()) != name) continue;
    found = &it.value();
    if (pick == Pick::First) break;
  }
  return found;
}

// A string up to its first NUL; a number or boolean as its text.
std::string text(const Tree* value) {
  if (!value) return "";
  if (value->is_string()) {
    const std::string s = value->get<std::string>();
    return s.substr(0, s.find('\0'));
  }
  if (value->is_number() || value->is_boolean()) return value->dump();
  return "";
}

bool truthy(const Tree* value) {
  const std::string t = loose(text(value));
  return t == "true" || t == "1";
}

std::string percentDecoded(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto hex = [&](size_t k) { return std::isxdigit(static_cast<unsigned char>(text[k])); };
    if (text[i] == '%' && i + 2 < text.size() && hex(i + 1) && hex(i + 2)) {
      out += static_cast<char>(std::strtol(text.substr(i + 1, 2).c_str(), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out.substr(0, out.find('\0'));
}

// A local path as a reader of file URLs takes it.
std::string local(const std::string& path) {
  if (lower(path.substr(0, 5)) != "file:") return path;
  std::string rest = path.substr(5);
  if (rest.compare(0, 2, "//") == 0) {
    const size_t slash = rest.find('/', 2);
    rest = slash == std::string::npos ? "" : rest.substr(slash);
  }
  return percentDecoded(rest);
}

// Steps of a path read with either separator; false when one is "..".
bool steps(const std::string& path, std::vector<std::string>& out) {
  out.clear();
  std::string step;
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/' || path[i] == '\\') {
      if (step == "..") return false;
      if (!step.empty() && step != ".") out.push_back(step);
      step.clear();
    } else {
      step += path[i];
    }
  }
  return true;
}

std::string normal(const std::string& path) {
  std::vector<std::string> parts;
  if (!steps(path, parts)) return "..";
  std::string out;
  for (const std::string& part : parts) out += "/" + part;
  return out.empty() ? "/" : out;
}

bool approved(const std::string& path) {
  if (path.empty() || path[0] != '/') return false;
  for (const char* a : kApproved) {
    if (normal(a) == normal(path)) return true;
  }
  return false;
}

bool inChosen(const std::string& path) {
  const std::string p = normal(path), folder = normal(chosenFolder);
  return p == folder || p.compare(0, folder.size() + 1, folder + "/") == 0;
}

void checkSend(const Tree* transfer, Pick pick) {
  const std::string root = local(text(member(transfer, "source_root", pick)));
  const Tree* paths = member(transfer, "paths", pick);
  std::vector<std::string> reads;
  if (!paths || !paths->is_array() || paths->empty()) reads.push_back(root);
  for (const Tree& entry : paths && paths->is_array() ? *paths : Tree::array()) {
    const std::string source =
        local(entry.is_string() ? text(&entry) : text(member(&entry, "source", pick)));
    if (!source.empty() && source[0] == '/') reads.push_back(source);
    reads.push_back(root.empty() ? source : source.empty() ? root : root + "/" + source);
  }
  for (const std::string& read : reads) {
    FUZZ_CHECK(read.empty() || approved(read), "a local source the user did not approve");
  }
}

void checkReceive(const Tree* transfer, bool absolute, Pick pick) {
  const std::string root = local(text(member(transfer, "destination_root", pick)));
  std::vector<std::string> parts;
  if (!root.empty() && root[0] == '/') {
    FUZZ_CHECK(inChosen(root), "a destination outside the chosen folder");
  } else {
    FUZZ_CHECK(!absolute, "an absolute download to a relative place");
    FUZZ_CHECK(steps(root, parts) && (root.empty() || root[0] != '~'),
               "a relative destination that leaves its folder");
  }
  const Tree* paths = member(transfer, "paths", pick);
  for (const Tree& entry : paths && paths->is_array() ? *paths : Tree::array()) {
    const std::string destination = local(text(member(&entry, "destination", pick)));
    if (destination.empty()) continue;
    if (destination[0] == '/') {
      FUZZ_CHECK(inChosen(destination), "an entry's destination outside the chosen folder");
    } else {
      FUZZ_CHECK(steps(destination, parts) && destination[0] != '~',
                 "an entry's destination that leaves its folder");
    }
  }
}

void checkAppIds(const Tree& node) {
  if (node.is_object()) {
    for (auto it = node.begin(); it != node.end(); ++it) {
      if (loose(it.key()) == "app_id") {
        const std::string id = loose(text(&it.value()));
        FUZZ_CHECK(id.empty() || id[0] != '^' || id == lower(std::string("^") + kPageHost),
                   "an identifier bound to another host");
      }
      checkAppIds(it.value());
    }
  } else if (node.is_array()) {
    for (const Tree& element : node) checkAppIds(element);
  }
}

void checkPath(const std::string& path) {
  const std::string target = path.substr(0, path.find('?'));
  std::vector<std::string> rest;
  FUZZ_CHECK(steps(lower(percentDecoded(target)), rest), "a path with a \"..\" step");
  for (std::string& step : rest) step = step.substr(0, step.find('.'));  // "activity.json"
  FUZZ_CHECK(rest.empty() || rest[0] != "transfers", "the plug-in's transfer endpoint");
  if (!rest.empty() && rest[0].size() > 1 && rest[0][0] == 'v' &&
      rest[0].find_first_not_of("0123456789", 1) == std::string::npos) {
    rest.erase(rest.begin());
  }
  if (!rest.empty() && rest[0] == "harlune") rest.erase(rest.begin());
  FUZZ_CHECK(rest.empty() || rest[0] != "windows", "the plug-in's window endpoint");
  FUZZ_CHECK(rest.empty() || rest[0] != "transfers" || (rest.size() > 1 && rest[1] != "activity"),
             "the plug-in's transfer or activity endpoint");
  const size_t mark = path.find('?');
  if (mark == std::string::npos) return;
  std::string query = path.substr(mark + 1);
  for (char& c : query) {
    if (c == '+') c = ' ';
  }
  for (size_t start = 0; start <= query.size();) {
    size_t end = query.find('&', start);
    if (end == std::string::npos) end = query.size();
    const std::string pair = query.substr(start, end - start);
    const size_t equals = pair.find('=');
    if (loose(percentDecoded(pair.substr(0, equals))) == "app_id" && equals != std::string::npos) {
      const std::string id = loose(percentDecoded(pair.substr(equals + 1)));
      FUZZ_CHECK(id.empty() || id[0] != '^' || id == lower(std::string("^") + kPageHost),
                 "a query identifier bound to another host");
    }
    start = end + 1;
  }
}

void checkSent(const std::string& path, const std::string& sent) {
  checkPath(path);
  Tree root;
  try {
    root = Tree::parse(sent);
  } catch (const nlohmann::json::out_of_range&) {
    return;  // a number too large for this reader: it reads nothing
  } catch (const std::exception&) {
    FUZZ_CHECK(false, "the bytes sent are not JSON");
  }
  checkAppIds(root);
  for (Pick pick : {Pick::First, Pick::Last}) {
    const bool rootAbsolute = truthy(member(member(&root, "tarsen_harlune_settings", pick),
                                            "use_absolute_destination_path", pick));
    const Tree* specs = member(&root, "transfer_specs", pick);
    for (const Tree& spec : specs && specs->is_array() ? *specs : Tree::array()) {
      const Tree* transfer = member(&spec, "transfer_spec", pick);
      if (!transfer) continue;
      const bool absolute = rootAbsolute ||
                            truthy(member(member(&spec, "tarsen_harlune_settings", pick),
                                          "use_absolute_destination_path", pick));
      const std::string direction = loose(text(member(transfer, "direction", pick)));
      // A reader that does not know the direction may take either.
      if (direction != "receive") checkSend(transfer, pick);
      if (direction != "send") checkReceive(transfer, absolute, pick);
    }
  }
}

PlugIn& plugIn() {
  static std::unique_ptr<PlugIn> plugIn = [] {
    Policy::setForTesting(PolicyKind::Guarded);
    auto p = std::make_unique<PlugIn>();
    p->setPageHostname(kPageHost);
    p->setLastSelectedPath(chosenFolder);
    const std::vector<std::string> approved(std::begin(kApproved), std::end(kApproved));
    PlugIn::addToApprovedFileList(approved, kPageHost);
    return p;
  }();
  return *plugIn;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  ta_log_set_level(-1);
  plugIn();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t newline = input.find('\n');
  const std::string path = input.substr(0, newline);
  const std::string body = newline == std::string::npos ? "" : input.substr(newline + 1);
  std::string sent;
  const std::string error = plugIn().relayedBody("POST", path, body, &sent);
  if (!error.empty()) {
    FUZZ_CHECK(error.rfind("{\"error\":{\"code\":-1,", 0) == 0,
               "a refusal that is no error object");
    return 0;
  }
  checkSent(path, sent);
  // What is sent passes the check again, unchanged.
  std::string again;
  FUZZ_CHECK(plugIn().relayedBody("POST", path, sent, &again).empty() && again == sent,
             "the bytes sent are not a fixed point of the check");
  return 0;
}
