#include <gtest/gtest.h>

#include "Identifiers.h"
#include "Location.h"
#include "Memory.h"
#include "Objects.h"

namespace Browser {
namespace {

TEST(Identifiers, InternedPerNameAndNumberAndKeptApart) {
  Identifiers& ids = Identifiers::shared();
  NPIdentifier a = ids.forString("alpha");
  EXPECT_EQ(ids.forString("alpha"), a);
  NPIdentifier one = ids.forInt(1);
  EXPECT_EQ(ids.forInt(1), one);
  EXPECT_NE(ids.forString("1"), one);  // "1" the name is not 1 the index
  EXPECT_TRUE(ids.isString(a));
  EXPECT_FALSE(ids.isString(one));

  std::string name;
  int32_t value = 0;
  EXPECT_TRUE(ids.stringOf(a, name));
  EXPECT_EQ(name, "alpha");
  EXPECT_FALSE(ids.intOf(a, value));
  EXPECT_TRUE(ids.intOf(one, value));
  EXPECT_EQ(value, 1);
  EXPECT_FALSE(ids.stringOf(one, name));

  int notAnIdentifier = 0;
  EXPECT_FALSE(ids.isKnown(&notAnIdentifier));
  EXPECT_FALSE(ids.stringOf(&notAnIdentifier, name));
}

TEST(Memory, FreesOnlyWhatItGaveAndOnlyOnce) {
  Memory& memory = Memory::shared();
  std::size_t before = memory.liveBlocks();
  void* block = memory.alloc(16);
  void* empty = memory.alloc(0);
  ASSERT_NE(block, nullptr);
  ASSERT_NE(empty, nullptr);
  EXPECT_NE(block, empty);
  EXPECT_EQ(memory.liveBlocks(), before + 2);
  EXPECT_TRUE(memory.free(block));
  EXPECT_FALSE(memory.free(block));
  int stack = 0;
  EXPECT_FALSE(memory.free(&stack));
  EXPECT_TRUE(memory.free(empty));
  EXPECT_EQ(memory.liveBlocks(), before);
}

int g_deallocated = 0;
void countingDeallocate(NPObject* object) {
  ++g_deallocated;
  free(object);
}

TEST(Objects, DeallocatedAtZeroAndMisuseReported) {
  std::vector<std::string> misuse;
  Objects& objects = Objects::shared();
  objects.setMisuseSink([&](const std::string& what) { misuse.push_back(what); });
  NPClass cls{};
  cls.structVersion = NP_CLASS_STRUCT_VERSION;
  cls.deallocate = countingDeallocate;
  g_deallocated = 0;

  NPObject* object = objects.create(nullptr, &cls);
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(object->referenceCount, 1u);
  EXPECT_EQ(object->_class, &cls);
  objects.retain(object);
  objects.release(object);
  EXPECT_EQ(g_deallocated, 0);
  EXPECT_TRUE(objects.isAlive(object));
  objects.release(object);
  EXPECT_EQ(g_deallocated, 1);
  EXPECT_FALSE(objects.isAlive(object));
  EXPECT_TRUE(misuse.empty());

  objects.release(object);  // a dead object: reported, not touched
  ASSERT_EQ(misuse.size(), 1u);
  EXPECT_NE(misuse[0].find("NPN_ReleaseObject"), std::string::npos);
  EXPECT_EQ(g_deallocated, 1);
  objects.setMisuseSink(nullptr);
}

TEST(Location, WhatABrowserHandsThePage) {
  struct Case {
    const char* url;
    const char* href;
    const char* hostname;
    const char* port;
    const char* pathname;
    const char* origin;
  };
  const Case cases[] = {
      // User information is no part of the host.
      {"http://good.example@evil.example/", "http://good.example@evil.example/", "evil.example",
       "", "/", "http://evil.example"},
      {"HTTP://WWW.Example.COM:8080/a b?q=1#top", "http://www.example.com:8080/a%20b?q=1#top",
       "www.example.com", "8080", "/a%20b", "http://www.example.com:8080"},
      {"http://B\xC3\x9C""cher.example/x", "http://xn--bcher-kva.example/x",
       "xn--bcher-kva.example", "", "/x", "http://xn--bcher-kva.example"},
      {"https://x.example:443", "https://x.example/", "x.example", "", "/", "https://x.example"},
      {"http://[::1]:81/p", "http://[::1]:81/p", "[::1]", "81", "/p", "http://[::1]:81"},
      {"file:///srv/pages/a.html", "file:///srv/pages/a.html", "", "", "/srv/pages/a.html",
       "null"},
  };
  for (const Case& c : cases) {
    Location location;
    ASSERT_TRUE(parseLocation(c.url, location)) << c.url;
    EXPECT_EQ(location.href, c.href) << c.url;
    EXPECT_EQ(location.hostname, c.hostname) << c.url;
    EXPECT_EQ(location.port, c.port) << c.url;
    EXPECT_EQ(location.host, location.port.empty() ? location.hostname
                                                   : location.hostname + ":" + c.port);
    EXPECT_EQ(location.pathname, c.pathname) << c.url;
    EXPECT_EQ(location.origin, c.origin) << c.url;
  }
  Location location;
  ASSERT_TRUE(parseLocation("http://h.example/?a#b", location));
  EXPECT_EQ(location.protocol, "http:");
  EXPECT_EQ(location.search, "?a");
  EXPECT_EQ(location.hash, "#b");
  for (const char* bad : {"", "not a url", "/a/page.html", "http://exa mple.com/", "http://"})
    EXPECT_FALSE(parseLocation(bad, location)) << bad;
}

}  // namespace
}  // namespace Browser
