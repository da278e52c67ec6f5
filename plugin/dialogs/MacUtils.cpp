#include "dialogs/MacUtils.h"

#include <algorithm>
#include <cctype>

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

std::string upperCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
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
