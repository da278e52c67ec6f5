#include <cstring>

#include <gtest/gtest.h>

#include "npapi/npfunctions.h"

extern "C" {
void npapi_c_fill_variants(NPVariant out[7], const char* text, NPObject* object);
size_t npapi_c_netscape_funcs_size(void);
size_t npapi_c_plugin_funcs_size(void);
}

namespace {

// Variants built by C code over bytes full of ones: each setter leaves its
// kind and exactly its value, so a byte it forgot to clear shows.
TEST(Npapi, VariantsFromCKeepKindAndValue) {
  NPObject object{};
  NPVariant v[7];
  std::memset(v, 0xFF, sizeof v);
  npapi_c_fill_variants(v, "h\xC3\xA9llo", &object);
  // The kinds void, null, bool, int32, double, string, object are 0 to 6.
  for (int i = 0; i < 7; ++i) EXPECT_EQ(static_cast<int>(v[i].type), i);
  EXPECT_TRUE(NPVARIANT_IS_BOOLEAN(v[2]) && NPVARIANT_TO_BOOLEAN(v[2]));
  EXPECT_EQ(NPVARIANT_TO_INT32(v[3]), INT32_MIN);
  EXPECT_DOUBLE_EQ(NPVARIANT_TO_DOUBLE(v[4]), 0.1);
  EXPECT_EQ(std::string(NPVARIANT_TO_STRING(v[5]).UTF8Characters), "h\xC3\xA9llo");
  EXPECT_EQ(NPVARIANT_TO_STRING(v[5]).UTF8Length, 6u);  // bytes, not characters
  EXPECT_EQ(NPVARIANT_TO_OBJECT(v[6]), &object);
  // The upper half of the 16-byte union (a string's length) must not keep
  // the bytes of an earlier value.
  EXPECT_EQ(v[6].value.stringValue.UTF8Length, 0u);
}

// The function tables as C code lays them out, which a browser built in C hands over.
TEST(Npapi, FunctionTablesLayOutAlikeInCAndCxx) {
  EXPECT_EQ(npapi_c_netscape_funcs_size(), sizeof(NPNetscapeFuncs));
  EXPECT_EQ(npapi_c_plugin_funcs_size(), sizeof(NPPluginFuncs));
}

}  // namespace
