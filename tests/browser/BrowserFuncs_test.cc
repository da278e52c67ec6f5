#include <cstring>

#include <gtest/gtest.h>

#include "BrowserFuncs.h"
#include "Diagnostics.h"
#include "Memory.h"

namespace Browser {
namespace {

class FakeHost : public Host {
 public:
  Diagnostics diag;
  bool coreGraphics = true;
  bool cocoa = true;
  NPP alive = nullptr;
  Diagnostics& diagnostics() override { return diag; }
  const char* userAgent() override { return "UA"; }
  bool supportsCoreGraphics() override { return coreGraphics; }
  bool supportsCocoaEvents() override { return cocoa; }
  NPObject* windowObject() override { return nullptr; }
  void* nativeWindow() override { return this; }
  NPError getURL(NPP, const char*, const char*, bool, void*) override { return 0; }
  void invalidate(NPP, const NPRect*) override {}
  bool isInstanceAlive(NPP npp) override { return npp == alive; }
  void setException(const std::string&) override {}
  bool evaluate(NPP, NPObject*, const std::string&, NPVariant*) override { return false; }
};

class BrowserFuncsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host.alive = &npp;
    setHost(&host);
  }
  void TearDown() override { setHost(nullptr); }
  NPP_t npp{};
  FakeHost host;
  const NPNetscapeFuncs& f = browserFuncs();
};

TEST_F(BrowserFuncsTest, EveryEntryIsFilled) {
  EXPECT_EQ(f.size, sizeof(NPNetscapeFuncs));
  const auto* entries = reinterpret_cast<const void* const*>(&f.geturl);
  for (int i = 0; i < 58; ++i) EXPECT_NE(entries[i], nullptr) << "entry " << i;
}

TEST_F(BrowserFuncsTest, ModelNegotiationFollowsTheFlags) {
  NPBool yes = false;
  EXPECT_EQ(f.getvalue(&npp, NPNVsupportsCoreGraphicsBool, &yes), NPERR_NO_ERROR);
  EXPECT_TRUE(yes);
  auto one = reinterpret_cast<void*>(static_cast<intptr_t>(1));
  auto zero = reinterpret_cast<void*>(static_cast<intptr_t>(0));
  EXPECT_EQ(f.setvalue(&npp, NPPVpluginDrawingModel, one), NPERR_NO_ERROR);
  EXPECT_NE(f.setvalue(&npp, NPPVpluginDrawingModel, zero), NPERR_NO_ERROR);
  EXPECT_EQ(f.setvalue(&npp, NPPVpluginEventModel, one), NPERR_NO_ERROR);

  host.cocoa = false;
  EXPECT_EQ(f.getvalue(&npp, NPNVsupportsCocoaBool, &yes), NPERR_NO_ERROR);
  EXPECT_FALSE(yes);
  EXPECT_NE(f.setvalue(&npp, NPPVpluginEventModel, one), NPERR_NO_ERROR);

  NPP_t stranger{};
  EXPECT_EQ(f.setvalue(&stranger, NPPVpluginEventModel, one), NPERR_INVALID_INSTANCE_ERROR);
  void* window = nullptr;
  EXPECT_EQ(f.getvalue(&npp, NPNVnetscapeWindow, &window), NPERR_NO_ERROR);
  EXPECT_EQ(window, &host);
  EXPECT_STREQ(f.uagent(&npp), "UA");
}

TEST_F(BrowserFuncsTest, IdentifierTextIsAFreshMemAllocCopy) {
  NPIdentifier id = f.getstringidentifier("hello");
  NPUTF8* text = f.utf8fromidentifier(id);
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, "hello");
  EXPECT_TRUE(Memory::shared().holds(text));
  f.memfree(text);
  EXPECT_FALSE(host.diag.failed());

  EXPECT_EQ(f.utf8fromidentifier(f.getintidentifier(3)), nullptr);
  EXPECT_EQ(host.diag.count(Diagnostics::Kind::Misuse), 1u);
}

TEST_F(BrowserFuncsTest, ReleasingAVariantFreesItsStringOnce) {
  NPVariant v;
  stringToVariant("abc", v);
  EXPECT_EQ(v.value.stringValue.UTF8Length, 3u);
  EXPECT_EQ(std::memcmp(v.value.stringValue.UTF8Characters, "abc", 3), 0);
  f.releasevariantvalue(&v);
  EXPECT_EQ(v.type, NPVariantType_Void);
  EXPECT_FALSE(host.diag.failed());

  char notOurs[] = "x";
  STRINGN_TO_NPVARIANT(notOurs, 1, v);
  f.releasevariantvalue(&v);
  EXPECT_EQ(host.diag.count(Diagnostics::Kind::Misuse), 1u);
}

}  // namespace
}  // namespace Browser
