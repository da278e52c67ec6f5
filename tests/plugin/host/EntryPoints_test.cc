#include "host/nptarsenweb.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/Arguments.h"
#include "host/BrowserFuncs.h"
#include "host/taTarsenWebPlugin.h"
#include "host/taTarsenWebScriptObject.h"
#include "host/taUtility.h"

namespace Harlune {
namespace Web {
namespace {

TEST(PluginFunctionTable, FullTableIsFilledInOrder) {
  NPPluginFuncs funcs;
  std::memset(&funcs, 0xAB, sizeof funcs);
  funcs.size = sizeof funcs;
  ASSERT_EQ(TW_PopulatePluginFunctionTable(&funcs), NPERR_NO_ERROR);
  EXPECT_EQ(funcs.version, 27);
  EXPECT_EQ(funcs.newp, &NPP_New);
  EXPECT_EQ(funcs.destroy, &NPP_Destroy);
  EXPECT_EQ(funcs.setwindow, &NPP_SetWindow);
  EXPECT_EQ(funcs.newstream, &NPP_NewStream);
  EXPECT_EQ(funcs.destroystream, &NPP_DestroyStream);
  EXPECT_EQ(funcs.asfile, &NPP_StreamAsFile);
  EXPECT_EQ(funcs.writeready, &NPP_WriteReady);
  EXPECT_EQ(funcs.write, &NPP_Write);
  EXPECT_EQ(funcs.print, &NPP_Print);
  EXPECT_EQ(funcs.event, &NPP_HandleEvent);
  EXPECT_EQ(funcs.urlnotify, &NPP_URLNotify);
  EXPECT_EQ(funcs.javaClass, nullptr);
  EXPECT_EQ(funcs.getvalue, &NPP_GetValue);
  EXPECT_EQ(funcs.setvalue, &NPP_SetValue);
  // The later entries stay as the browser gave them.
  unsigned char marker;
  std::memset(&marker, 0xAB, 1);
  EXPECT_EQ(reinterpret_cast<unsigned char*>(&funcs.gotfocus)[0], marker);
  EXPECT_EQ(reinterpret_cast<unsigned char*>(&funcs.didComposite)[7], marker);
}

TEST(PluginFunctionTable, SmallTablesAreNeverOverrun) {
  for (uint16_t size : {uint16_t(4), uint16_t(40), uint16_t(104), uint16_t(112)}) {
    std::vector<unsigned char> memory(sizeof(NPPluginFuncs), 0xCD);
    NPPluginFuncs* funcs = reinterpret_cast<NPPluginFuncs*>(memory.data());
    funcs->size = size;
    EXPECT_EQ(TW_PopulatePluginFunctionTable(funcs), NPERR_NO_ERROR);
    for (size_t i = size; i < memory.size(); ++i) {
      ASSERT_EQ(memory[i], 0xCD) << "byte " << i << " written past size " << size;
    }
    if (size >= 104) {
      EXPECT_EQ(funcs->urlnotify, &NPP_URLNotify);
    }
  }
  EXPECT_EQ(TW_PopulatePluginFunctionTable(nullptr), NPERR_INVALID_FUNCTABLE_ERROR);
}

// A browser table that only provides memory, as a small host would.
void* testAlloc(uint32_t size) { return std::malloc(size); }
void testFree(void* p) { std::free(p); }

class WithBrowserMemory : public ::testing::Test {
protected:
  void SetUp() override {
    NPNetscapeFuncs browser;
    std::memset(&browser, 0, sizeof browser);
    browser.size = offsetof(NPNetscapeFuncs, memfree) + sizeof(browser.memfree);
    browser.memalloc = &testAlloc;
    browser.memfree = &testFree;
    TW_PopulateNetscapeFunctionTable(&browser);
  }
  void TearDown() override { TW_ClearNetscapeFunctionTable(); }
};

TEST_F(WithBrowserMemory, TableCopyStopsAtTheDeclaredSizeAndReroutesMainThreadCalls) {
  const NPNetscapeFuncs& funcs = TW_BrowserFuncs();
  EXPECT_EQ(funcs.memalloc, &testAlloc);
  EXPECT_EQ(funcs.createobject, nullptr);  // past the declared size
  EXPECT_EQ(funcs.pluginthreadasynccall, &TW_ScheduleAsyncCallback);
  // Calls the browser did not provide fail instead of crashing.
  EXPECT_EQ(NPN_CreateObject(nullptr, nullptr), nullptr);
  EXPECT_FALSE(NPN_IdentifierIsString(nullptr));
}

TEST_F(WithBrowserMemory, StringConversionsBothWays) {
  NPVariant v;
  TW_CharPtrToNPStringVariant("h\xc3\xa9llo", &v);
  ASSERT_TRUE(NPVARIANT_IS_STRING(v));
  EXPECT_EQ(NPVARIANT_TO_STRING(v).UTF8Length, 6u);
  char* back = TW_NPStringToCharPtr(&NPVARIANT_TO_STRING(v));
  EXPECT_STREQ(back, "h\xc3\xa9llo");
  std::free(back);
  NPN_MemFree(const_cast<char*>(NPVARIANT_TO_STRING(v).UTF8Characters));

  TW_CharPtrToNPStringVariant(nullptr, &v);
  EXPECT_TRUE(NPVARIANT_IS_STRING(v));
  EXPECT_EQ(NPVARIANT_TO_STRING(v).UTF8Length, 0u);

  NPString empty{nullptr, 0};
  char* none = TW_NPStringToCharPtr(&empty);
  EXPECT_STREQ(none, "");
  std::free(none);
}

NPVariant str(const char* text) {
  NPVariant v;
  STRINGZ_TO_NPVARIANT(text, v);
  return v;
}

TEST(ScriptArguments, BooleanLikeValues) {
  NPVariant t, f;
  BOOLEAN_TO_NPVARIANT(true, t);
  BOOLEAN_TO_NPVARIANT(false, f);
  EXPECT_TRUE(npvariantIsBoolean(t) && npvariantToBoolean(t));
  EXPECT_TRUE(npvariantIsBoolean(f) && !npvariantToBoolean(f));
  EXPECT_TRUE(npvariantIsBoolean(str("true")) && npvariantToBoolean(str("true")));
  EXPECT_TRUE(npvariantIsBoolean(str("false")) && !npvariantToBoolean(str("false")));
  for (const char* no : {"yes", "TRUE", "1", "", "true "}) EXPECT_FALSE(npvariantIsBoolean(str(no)));
  NPVariant n;
  INT32_TO_NPVARIANT(1, n);
  EXPECT_FALSE(npvariantIsBoolean(n));
}

TEST(ScriptArguments, CountsAndKinds) {
  NPVariant obj;
  OBJECT_TO_NPVARIANT(reinterpret_cast<NPObject*>(0x1), obj);
  NPVariant num;
  DOUBLE_TO_NPVARIANT(1.5, num);
  const NPVariant ok4[] = {str("GET"), str("/p"), str(""), obj};
  EXPECT_TRUE(argumentsFit(ok4, 4, "SSSO", 4, kAnyMore));
  const NPVariant five[] = {str("GET"), str("/p"), str(""), obj, num};
  EXPECT_TRUE(argumentsFit(five, 5, "SSSO", 4, kAnyMore));  // extra ignored
  EXPECT_FALSE(argumentsFit(ok4, 3, "SSSO", 4, kAnyMore));
  const NPVariant empty[] = {str("")};
  EXPECT_FALSE(argumentsFit(empty, 1, "P", 1, 1));
  EXPECT_TRUE(argumentsFit(empty, 1, "S", 1, 1));
  const NPVariant dialog[] = {str("t"), str("true"), str(""), obj, str("false")};
  EXPECT_TRUE(argumentsFit(dialog, 4, "SBSOB", 4, 5));
  EXPECT_TRUE(argumentsFit(dialog, 5, "SBSOB", 4, 5));
  EXPECT_FALSE(argumentsFit(dialog, 3, "SBSOB", 4, 5));
  const NPVariant six[] = {str("t"), str("true"), str(""), obj, str("false"), obj};
  EXPECT_FALSE(argumentsFit(six, 6, "SBSOB", 4, 5));
  const NPVariant badBool[] = {str("t"), str("yes"), str(""), obj};
  EXPECT_FALSE(argumentsFit(badBool, 4, "SBSOB", 4, 5));
}

// Identifiers are their own text, enough for the object's name lookups.
bool textIsString(NPIdentifier) { return true; }
NPUTF8* textOf(NPIdentifier id) { return strdup(static_cast<const char*>(id)); }
NPIdentifier idOf(const char* text) { return const_cast<char*>(text); }

class WithBrowserIdentifiers : public ::testing::Test {
protected:
  void SetUp() override {
    NPNetscapeFuncs browser;
    std::memset(&browser, 0, sizeof browser);
    browser.size = sizeof browser;
    browser.memalloc = &testAlloc;
    browser.memfree = &testFree;
    browser.identifierisstring = &textIsString;
    browser.utf8fromidentifier = &textOf;
    TW_PopulateNetscapeFunctionTable(&browser);
  }
  void TearDown() override { TW_ClearNetscapeFunctionTable(); }
};

TEST_F(WithBrowserIdentifiers, ExactlyTheThirtyMethodsAndThreeProperties) {
  std::vector<std::string> methods = {
      "addToDownloadList", "addToUploadList", "clearDownloadList", "clearUploadList",
      "harluneHttpRequest", "harluneHttpRequestAsync", "displayAboutWindow",
      "displayPreferencesWindow", "displayTransferManager", "handleDrop", "initSession",
      "queryBrowserEngine", "queryBuildVersion", "queryPluginVersion", "queryVersion",
      "queryHarluneVersion", "runOpenFileDialog", "runOpenFileDialogAsync",
      "runOpenFolderDialog", "runOpenFolderDialogAsync", "runSaveFileDialog",
      "runSaveFileDialogAsync", "startDownload", "startDownloadToPath", "startUploadToURL",
      "startListDownloadToPath", "startListUploadToURL", "readAsArrayBuffer",
      "readChunkAsArrayBuffer", "httpRequestImplementation"};
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
  // No name beyond the thirty: the published list is the same set.
  std::vector<std::string> table(std::begin(kScriptMethodNames), std::end(kScriptMethodNames));
  std::sort(table.begin(), table.end());
  std::sort(methods.begin(), methods.end());
  EXPECT_EQ(table, methods);
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

TEST(InstanceParameters, LaunchWaitFollowsAtoiWithZeroOnlyForZero) {
  EXPECT_EQ(taTarsenWebPlugin::launchWaitFromText(""), 20000);
  EXPECT_EQ(taTarsenWebPlugin::launchWaitFromText("abc"), 20000);
  EXPECT_EQ(taTarsenWebPlugin::launchWaitFromText("0"), 0);
  EXPECT_EQ(taTarsenWebPlugin::launchWaitFromText("00"), 20000);
  EXPECT_EQ(taTarsenWebPlugin::launchWaitFromText("150"), 150);
  EXPECT_EQ(taTarsenWebPlugin::launchWaitFromText("150ms"), 150);
  EXPECT_EQ(taTarsenWebPlugin::launchWaitFromText("-5"), -5);
}

}  // namespace
}  // namespace Web
}  // namespace Harlune
