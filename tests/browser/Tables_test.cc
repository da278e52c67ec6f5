#include <gtest/gtest.h>

#include "Identifiers.h"
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

}  // namespace
}  // namespace Browser
