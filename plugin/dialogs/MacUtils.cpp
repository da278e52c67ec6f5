#include "dialogs/MacUtils.h"

#include <algorithm>
#include <iterator>
#include <locale.h>
#include <utility>
#include <wctype.h>

#include <desktop/Panel.h>
#include <desktop/System.h>
#include <desktop/Window.h>
#include <taplatform/talog.h>

#include "dialogs/IDialogImpl.h"

namespace Harlune {
namespace Web {

namespace {
// What the feature query answers for a selector it does not know.
constexpr long kGestaltUndefSelectorErr = -5551;

int32_t digit(unsigned value) { return static_cast<int32_t>(std::min(value, 9u)); }

void appendUtf8(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// The character at `at` and its length in bytes; 0 bytes for a sequence that
// is not well-formed UTF-8.
uint32_t decodeUtf8(const std::string& text, size_t at, size_t* length) {
  const unsigned char lead = static_cast<unsigned char>(text[at]);
  size_t count = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3
                 : (lead >> 3) == 30 ? 4 : 0;
  uint32_t c = count == 1 ? lead : count == 2 ? lead & 0x1F : count == 3 ? lead & 0x0F : lead & 0x07;
  if (count == 0 || at + count > text.size()) {
    *length = 0;
    return 0;
  }
  for (size_t i = 1; i < count; ++i) {
    const unsigned char next = static_cast<unsigned char>(text[at + i]);
    if ((next >> 6) != 2) {
      *length = 0;
      return 0;
    }
    c = (c << 6) | (next & 0x3F);
  }
  static const uint32_t kSmallest[5] = {0, 0, 0x80, 0x800, 0x10000};
  const bool valid = c >= kSmallest[count] && c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
  *length = valid ? count : 0;
  return c;
}

// The UTF-8 character table, freed when the plug-in is unloaded: nothing of
// it may outlive the unload.
class Utf8Locale {
public:
  Utf8Locale() : _locale(newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0))) {}
  ~Utf8Locale() {
    if (_locale) freelocale(_locale);
  }
  Utf8Locale(const Utf8Locale&) = delete;
  Utf8Locale& operator=(const Utf8Locale&) = delete;
  locale_t get() const { return _locale; }

private:
  locale_t _locale;
};

// Upper case as the panel's own string type gives it: every Unicode letter
// (ä gives Ä, é gives É), with the few letters that become two ("ß" gives
// "SS", the Latin ligatures); bytes that are not UTF-8 stay as they are.
std::string upperCase(const std::string& text) {
  static const Utf8Locale table;
  const locale_t utf8 = table.get();
  static const std::pair<uint32_t, const char*> kExpanding[] = {
      {0x00DF, "SS"}, {0xFB00, "FF"}, {0xFB01, "FI"},  {0xFB02, "FL"},
      {0xFB03, "FFI"}, {0xFB04, "FFL"}, {0xFB05, "ST"}, {0xFB06, "ST"}};
  std::string out;
  for (size_t at = 0; at < text.size();) {
    size_t length = 0;
    const uint32_t c = decodeUtf8(text, at, &length);
    if (length == 0) {
      out += text[at++];
      continue;
    }
    at += length;
    const auto* expanding = std::find_if(std::begin(kExpanding), std::end(kExpanding),
                                         [c](const auto& entry) { return entry.first == c; });
    if (expanding != std::end(kExpanding)) {
      out += expanding->second;
    } else if (c < 0x80) {
      out += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    } else {
      appendUtf8(out, utf8 ? static_cast<uint32_t>(towupper_l(static_cast<wint_t>(c), utf8)) : c);
    }
  }
  return out;
}
}  // namespace

std::vector<std::string> MacUtils::createFileTypes(const std::vector<FileType>& types) {
  std::vector<std::string> out;
  for (const FileType& type : types) {
    for (const std::string& extension : type.extensions) {
      if (extension == "*") continue;
      if (std::find(out.begin(), out.end(), extension) != out.end()) continue;
      out.push_back(extension);
      out.push_back(upperCase(extension));
    }
  }
  return out;
}

std::vector<Desktop::FileFilter> MacUtils::createFileFilters(const std::vector<FileType>& types) {
  std::vector<Desktop::FileFilter> out;
  for (const FileType& type : types) {
    Desktop::FileFilter filter{type.name, createFileTypes({type})};
    if (!filter.types.empty()) out.push_back(std::move(filter));
  }
  return out;
}

long MacUtils::gestalt(uint32_t selector, int32_t* response) {
  Desktop::SystemVersion version;
  const Desktop::Status status = Desktop::systemVersion(version);
  if (status != Desktop::Status::Ok) return Desktop::statusCode(status);
  switch (selector) {
    case gestaltSystemVersion:
      *response = (digit(version.major / 10) << 12) | (digit(version.major % 10) << 8) |
                  (digit(version.minor) << 4) | digit(version.bugfix);
      return 0;
    case gestaltSystemVersionMajor:
      *response = static_cast<int32_t>(version.major);
      return 0;
    case gestaltSystemVersionMinor:
      *response = static_cast<int32_t>(version.minor);
      return 0;
    case gestaltSystemVersionBugFix:
      *response = static_cast<int32_t>(version.bugfix);
      return 0;
    default:
      return kGestaltUndefSelectorErr;
  }
}

void MacUtils::getSystemVersion(uint16_t* major, uint16_t* minor) {
  uint16_t outMajor = 10, outMinor = 0;
  int32_t combined = 0;
  long err = gestalt(gestaltSystemVersion, &combined);
  if (err == 0 && combined < 0x1040) {
    // Before 10.4 the combined value is all there is: 0xMMmb in BCD.
    outMajor = static_cast<uint16_t>(((combined >> 12) & 0xF) * 10 + ((combined >> 8) & 0xF));
    outMinor = static_cast<uint16_t>((combined >> 4) & 0xF);
  } else if (err == 0) {
    int32_t parts[3] = {0, 0, 0};
    const uint32_t selectors[3] = {gestaltSystemVersionMajor, gestaltSystemVersionMinor,
                                   gestaltSystemVersionBugFix};
    for (int i = 0; i < 3 && err == 0; ++i) err = gestalt(selectors[i], &parts[i]);
    if (err == 0) {
      outMajor = static_cast<uint16_t>(parts[0]);
      outMinor = static_cast<uint16_t>(parts[1]);
    }
  }
  if (err != 0) {
    TA_LOG(3, "Unable to obtain system version: %ld", err);
    outMajor = 10;
    outMinor = 0;
  }
  if (major) *major = outMajor;
  if (minor) *minor = outMinor;
}

int32_t MacUtils::stateForModalResult(int code) {
  switch (code) {
    case Desktop::kModalResponseCancel:
      return kDialogCancelled;
    case Desktop::kModalResponseOK:
      return kDialogConfirmed;
    case Desktop::kModalResponseStop:
    case Desktop::kModalResponseAbort:
      return kDialogClosed;
    default:
      TA_LOG(3, "Unhandled dialog result: %i", code);
      return kDialogClosed;
  }
}

bool MacUtils::isSaveDialogOpen(const Desktop::SavePanel* panel) {
  return panel && panel->application().contains(panel) && panel->isVisible();
}

Desktop::SavePanel* MacUtils::getFirstOpenedSaveDialog(Desktop::Application& app) {
  for (Desktop::Window* window : app.windows()) {
    if (window->isKindOfSavePanel() && window->isVisible()) {
      return static_cast<Desktop::SavePanel*>(window);
    }
  }
  return nullptr;
}

Desktop::SavePanel* MacUtils::getFirstOpenedSaveDialog() {
  return getFirstOpenedSaveDialog(Desktop::Application::shared());
}

}  // namespace Web
}  // namespace Harlune
