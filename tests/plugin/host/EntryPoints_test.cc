// The plug-in's side of the ABI where no page reaches: the function tables
// of any declared size, null instances, and the script object's names.
#include "host/nptarsenweb.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/BrowserFuncs.h"
#include "host/taTarsenWebPlugin.h"
#include "host/taTarsenWebScriptObject.h"

namespace Harlune {
namespace Web {
namespace {

TEST(PluginFunctionTable, FilledInOrderUpToTheDeclaredSizeAndNoFurther) {
  EXPECT_EQ(TW_PopulatePluginFunctionTable(nullptr), NPERR_INVALID_FUNCTABLE_ERROR);
  // The entries from gotfocus on stay as the browser gave them.
  const size_t ours = offsetof(NPPluginFuncs, gotfocus);
  for (const size_t size : {size_t(4), size_t(40), size_t(104), size_t(112), ours,
                            sizeof(NPPluginFuncs)}) {
    std::vector<unsigned char> memory(sizeof(NPPluginFuncs), 0xCD);
    auto* funcs = reinterpret_cast<NPPluginFuncs*>(memory.data());
    funcs->size = static_cast<uint16_t>(size);
    EXPECT_EQ(TW_PopulatePluginFunctionTable(funcs), NPERR_NO_ERROR);
    for (size_t i = std::min(size, ours); i < memory.size(); ++i) {
      ASSERT_EQ(memory[i], 0xCD) << "byte " << i << " written for size " << size;
    }
    if (size < sizeof(NPPluginFuncs)) continue;
    const NPPluginFuncs want = {0, 27, &NPP_New, &NPP_Destroy, &NPP_SetWindow, &NPP_NewStream,
                                &NPP_DestroyStream, &NPP_StreamAsFile, &NPP_WriteReady,
                                &NPP_Write, &NPP_Print, &NPP_HandleEvent, &NPP_URLNotify,
                                nullptr, &NPP_GetValue, &NPP_SetValue,
                                nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
    EXPECT_EQ(funcs->version, want.version);
    EXPECT_EQ(std::memcmp(&funcs->newp, &want.newp, ours - offsetof(NPPluginFuncs, newp)), 0);
  }
}

// Identifiers are their own text, enough for the object's name lookups.
NPIdentifier idOf(const char* text) { return const_cast<char*>(text); }

// The browser table is copied only up to the size it declares; main-thread
// calls go through the plug-in's own queue; the names are exact.
TEST(BrowserTable, CopiedUpToItsSizeAndTheScriptObjectHasExactlyItsNames) {
  NPNetscapeFuncs browser{};
  browser.memfree = [](void* p) { std::free(p); };
  browser.identifierisstring = [](NPIdentifier) -> bool { return true; };
  browser.utf8fromidentifier = [](NPIdentifier id) { return strdup(static_cast<char*>(id)); };
  browser.size = offsetof(NPNetscapeFuncs, memfree) + sizeof browser.memfree;
  TW_PopulateNetscapeFunctionTable(&browser);
  EXPECT_EQ(TW_BrowserFuncs().identifierisstring, nullptr);
  EXPECT_EQ(TW_BrowserFuncs().pluginthreadasynccall, &TW_ScheduleAsyncCallback);
  // Calls the browser did not provide fail instead of crashing.
  EXPECT_EQ(NPN_CreateObject(nullptr, nullptr), nullptr);
  EXPECT_FALSE(NPN_IdentifierIsString(idOf("name")));

  browser.size = sizeof browser;
  TW_PopulateNetscapeFunctionTable(&browser);
  // The thirty names the page reference lists (docs.page-api-names holds them to it).
  std::vector<std::string> methods(std::begin(kScriptMethodNames), std::end(kScriptMethodNames));
  ASSERT_EQ(methods.size(), 30u);
  const std::vector<std::string> properties = {"name", "dropObserver", "eventHandler"};
  for (const std::string& m : methods) {
    EXPECT_TRUE(TWScriptObjectHasMethod(nullptr, idOf(m.c_str()))) << m;
    EXPECT_FALSE(TWScriptObjectHasProperty(nullptr, idOf(m.c_str()))) << m;
  }
  for (const std::string& p : properties) {
    EXPECT_TRUE(TWScriptObjectHasProperty(nullptr, idOf(p.c_str()))) << p;
    EXPECT_FALSE(TWScriptObjectHasMethod(nullptr, idOf(p.c_str()))) << p;
  }
  for (const char* no : {"StartDownload", "startdownload", "startDownload ", "", "Name",
                         "toString", "queryversion", "eventhandler"}) {
    EXPECT_FALSE(TWScriptObjectHasMethod(nullptr, idOf(no)) ||
                 TWScriptObjectHasProperty(nullptr, idOf(no)))
        << no;
  }
  TW_ClearNetscapeFunctionTable();
}

TEST(InstanceLifecycle, NullOrEmptyHandlesAreInvalidInstances) {
  EXPECT_EQ(NPP_Destroy(nullptr, nullptr), NPERR_INVALID_INSTANCE_ERROR);
  NPP_t empty{nullptr, nullptr};
  EXPECT_EQ(NPP_Destroy(&empty, nullptr), NPERR_NO_ERROR);  // nothing to delete
  EXPECT_EQ(NPP_SetWindow(&empty, nullptr), NPERR_INVALID_INSTANCE_ERROR);
  EXPECT_EQ(NPP_WriteReady(nullptr, nullptr), NPERR_INVALID_INSTANCE_ERROR);
  EXPECT_EQ(NPP_HandleEvent(&empty, nullptr), NPERR_INVALID_INSTANCE_ERROR);
  NPObject* object = nullptr;
  EXPECT_EQ(NPP_GetValue(&empty, NPPVpluginScriptableNPObject, &object),
            NPERR_INVALID_INSTANCE_ERROR);
  EXPECT_EQ(object, nullptr);
}

// Only the text "0" turns the wait off; other text that reads as zero keeps the default.
TEST(InstanceParameters, LaunchWaitIsZeroOnlyForZero) {
  const std::pair<const char*, int> cases[] = {
      {"", 20000}, {"abc", 20000}, {"0", 0}, {"00", 20000}, {"150", 150}};
  for (const auto& c : cases) EXPECT_EQ(taTarsenWebPlugin::launchWaitFromText(c.first), c.second);
}

}  // namespace
}  // namespace Web
}  // namespace Harlune
