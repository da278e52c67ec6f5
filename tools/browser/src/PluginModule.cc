#include "PluginModule.h"

#include <dlfcn.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "BrowserFuncs.h"

namespace Browser {

namespace {
std::string trimLower(std::string text) {
  auto notSpace = [](unsigned char c) { return !std::isspace(c); };
  text.erase(text.begin(), std::find_if(text.begin(), text.end(), notSpace));
  text.erase(std::find_if(text.rbegin(), text.rend(), notSpace).base(), text.end());
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}
}  // namespace

std::vector<std::string> parseMimeDescription(const std::string& description) {
  std::vector<std::string> types;
  std::size_t start = 0;
  while (start <= description.size()) {
    std::size_t end = description.find('|', start);
    if (end == std::string::npos) end = description.size();
    std::string entry = description.substr(start, end - start);
    std::string type = trimLower(entry.substr(0, entry.find(';')));
    if (!type.empty()) types.push_back(type);
    start = end + 1;
  }
  return types;
}

std::unique_ptr<PluginModule> PluginModule::load(const std::string& path, std::string& error) {
  std::unique_ptr<PluginModule> module(new PluginModule());
  module->path_ = path;
  module->handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module->handle_) {
    const char* why = dlerror();
    error = "cannot load plug-in " + path + ": " + (why ? why : "unknown error");
    return nullptr;
  }
  auto symbol = [&](const char* name) { return dlsym(module->handle_, name); };
  auto describe = reinterpret_cast<NP_GetMIMEDescriptionFunc>(symbol("NP_GetMIMEDescription"));
  auto initialize = reinterpret_cast<NP_InitializeFunc>(symbol("NP_Initialize"));
  auto entryPoints = reinterpret_cast<NP_GetEntryPointsFunc>(symbol("NP_GetEntryPoints"));
  module->shutdown_ = reinterpret_cast<NP_ShutdownFunc>(symbol("NP_Shutdown"));
  if (!describe || !initialize || !entryPoints || !module->shutdown_) {
    error = "plug-in " + path + " lacks an NP_ entry point";
    return nullptr;
  }
  const char* description = describe();
  module->mimeTypes_ = parseMimeDescription(description ? description : "");
  if (module->mimeTypes_.empty()) {
    error = "plug-in " + path + " declares no MIME type";
    return nullptr;
  }
  // The plug-in may keep a pointer to the table it was given, so it must
  // outlive the module: browserFuncs() is static.
  NPError rc = initialize(const_cast<NPNetscapeFuncs*>(&browserFuncs()));
  if (rc != NPERR_NO_ERROR) {
    error = "NP_Initialize of " + path + " failed with error " + std::to_string(rc);
    return nullptr;
  }
  module->initialized_ = true;
  std::memset(&module->funcs_, 0, sizeof module->funcs_);
  module->funcs_.size = sizeof module->funcs_;
  rc = entryPoints(&module->funcs_);
  if (rc != NPERR_NO_ERROR || !module->funcs_.newp || !module->funcs_.destroy) {
    error = "NP_GetEntryPoints of " + path + " failed with error " + std::to_string(rc);
    return nullptr;
  }
  return module;
}

PluginModule::~PluginModule() {
  shutdown();
  if (handle_) dlclose(handle_);
}

void PluginModule::shutdown() {
  if (initialized_ && shutdown_) shutdown_();
  initialized_ = false;
}

void* PluginModule::symbol(const char* name) const { return dlsym(handle_, name); }

bool PluginModule::handles(const std::string& mimeType) const {
  std::string wanted = trimLower(mimeType);
  return std::find(mimeTypes_.begin(), mimeTypes_.end(), wanted) != mimeTypes_.end();
}

}  // namespace Browser
