#include <cstring>

#include <gtest/gtest.h>

#include "npapi/npfunctions.h"

extern "C" {
void npapi_c_fill_variants(NPVariant out[7], const char* text, NPObject* object);
size_t npapi_c_netscape_funcs_size(void);
size_t npapi_c_plugin_funcs_size(void);
}

namespace {

// A variant full of ones shows any byte that a setter forgot to clear.
NPVariant dirtyVariant() {
  NPVariant v;
  std::memset(&v, 0xFF, sizeof v);
  return v;
}

TEST(NpapiVariants, SettersGiveKindAndValue) {
  NPVariant v = dirtyVariant();
  VOID_TO_NPVARIANT(v);
  EXPECT_TRUE(NPVARIANT_IS_VOID(v));
  EXPECT_FALSE(NPVARIANT_IS_NULL(v));

  NULL_TO_NPVARIANT(v);
  EXPECT_TRUE(NPVARIANT_IS_NULL(v));

  BOOLEAN_TO_NPVARIANT(5, v);
  EXPECT_TRUE(NPVARIANT_IS_BOOLEAN(v));
  EXPECT_TRUE(NPVARIANT_TO_BOOLEAN(v));
  BOOLEAN_TO_NPVARIANT(0, v);
  EXPECT_FALSE(NPVARIANT_TO_BOOLEAN(v));

  INT32_TO_NPVARIANT(-2147483647 - 1, v);
  EXPECT_TRUE(NPVARIANT_IS_INT32(v));
  EXPECT_EQ(NPVARIANT_TO_INT32(v), INT32_MIN);

  DOUBLE_TO_NPVARIANT(0.1, v);
  EXPECT_TRUE(NPVARIANT_IS_DOUBLE(v));
  EXPECT_DOUBLE_EQ(NPVARIANT_TO_DOUBLE(v), 0.1);
}

TEST(NpapiVariants, StringKeepsLengthAndNeedsNoTerminator) {
  const char text[] = {'a', 'b', 'c', 'd'};
  NPVariant v = dirtyVariant();
  STRINGN_TO_NPVARIANT(text, 3, v);
  ASSERT_TRUE(NPVARIANT_IS_STRING(v));
  EXPECT_EQ(NPVARIANT_TO_STRING(v).UTF8Characters, text);
  EXPECT_EQ(NPVARIANT_TO_STRING(v).UTF8Length, 3u);

  STRINGZ_TO_NPVARIANT("h\xC3\xA9llo", v);
  EXPECT_EQ(NPVARIANT_TO_STRING(v).UTF8Length, 6u);  // bytes, not characters
}

TEST(NpapiVariants, ObjectSetterClearsTheRestOfTheUnion) {
  NPObject object{};
  NPVariant v = dirtyVariant();
  OBJECT_TO_NPVARIANT(&object, v);
  ASSERT_TRUE(NPVARIANT_IS_OBJECT(v));
  EXPECT_EQ(NPVARIANT_TO_OBJECT(v), &object);
  // The upper half of the 16-byte union (a string's length) must not keep
  // the bytes of an earlier value.
  EXPECT_EQ(v.value.stringValue.UTF8Length, 0u);
}

TEST(NpapiVariants, CAndCxxAgreeOnEveryKind) {
  NPObject object{};
  NPVariant fromC[7];
  npapi_c_fill_variants(fromC, "text", &object);
  const NPVariantType kinds[7] = {NPVariantType_Void,   NPVariantType_Null,
                                  NPVariantType_Bool,   NPVariantType_Int32,
                                  NPVariantType_Double, NPVariantType_String,
                                  NPVariantType_Object};
  for (int i = 0; i < 7; ++i) EXPECT_EQ(fromC[i].type, kinds[i]) << i;
  EXPECT_TRUE(fromC[2].value.boolValue);
  EXPECT_EQ(fromC[3].value.intValue, -7);
  EXPECT_DOUBLE_EQ(fromC[4].value.doubleValue, 2.5);
  EXPECT_EQ(std::string(fromC[5].value.stringValue.UTF8Characters,
                        fromC[5].value.stringValue.UTF8Length),
            "text");
  EXPECT_EQ(fromC[6].value.objectValue, &object);
}

TEST(NpapiTables, SameLayoutInCAndCxx) {
  EXPECT_EQ(npapi_c_netscape_funcs_size(), sizeof(NPNetscapeFuncs));
  EXPECT_EQ(npapi_c_plugin_funcs_size(), sizeof(NPPluginFuncs));
}

// The numbers below are part of the wire contract between browser and plug-in
// and are what an independently built peer sends.
TEST(NpapiConstants, NegotiationValues) {
  EXPECT_EQ(NPPVpluginScriptableNPObject, 15);
  EXPECT_EQ(NPNVWindowNPObject, 15);
  EXPECT_EQ(NPNVnetscapeWindow, 3);
  EXPECT_EQ(NPPVpluginDrawingModel, 1000);
  EXPECT_EQ(NPPVpluginEventModel, 1001);
  EXPECT_EQ(NPNVsupportsCoreGraphicsBool, 2001);
  EXPECT_EQ(NPNVsupportsCocoaBool, 3001);
  EXPECT_EQ(NPDrawingModelCoreGraphics, 1);
  EXPECT_EQ(NPEventModelCocoa, 1);
  EXPECT_EQ(NPCocoaEventDrawRect, 1);
  EXPECT_EQ(NPCocoaEventFocusChanged, 11);
  EXPECT_EQ(NPCocoaEventScrollWheel, 13);
  EXPECT_EQ(NPERR_INVALID_FUNCTABLE_ERROR, 3);
}

}  // namespace
