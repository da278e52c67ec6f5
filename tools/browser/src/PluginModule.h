// One loaded plug-in shared object: its MIME types and both function tables.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <npapi/npfunctions.h>

namespace Browser {

// The MIME types of an NP_GetMIMEDescription text
// ("type;extensions;description|type;..."), lower-cased, in order.
std::vector<std::string> parseMimeDescription(const std::string& description);

class PluginModule {
 public:
  // dlopen, NP_GetMIMEDescription, NP_Initialize, NP_GetEntryPoints. Null with
  // `error` set when any step fails.
  static std::unique_ptr<PluginModule> load(const std::string& path, std::string& error);
  ~PluginModule();  // shuts down (once) and unloads
  PluginModule(const PluginModule&) = delete;
  PluginModule& operator=(const PluginModule&) = delete;

  const std::string& path() const { return path_; }
  const std::vector<std::string>& mimeTypes() const { return mimeTypes_; }
  bool handles(const std::string& mimeType) const;
  const NPPluginFuncs& funcs() const { return funcs_; }
  // Another exported symbol of the plug-in, or null.
  void* symbol(const char* name) const;
  // NP_Shutdown; later calls do nothing.
  void shutdown();

 private:
  PluginModule() = default;
  std::string path_;
  void* handle_ = nullptr;
  NP_ShutdownFunc shutdown_ = nullptr;
  bool initialized_ = false;
  std::vector<std::string> mimeTypes_;
  NPPluginFuncs funcs_{};
};

}  // namespace Browser
