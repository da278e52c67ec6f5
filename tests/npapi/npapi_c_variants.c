/* Compiled as C: the headers are usable from C, and the test sees the
 * variants and tables as a C plug-in builds them. */
#include "npapi/npfunctions.h"

void npapi_c_fill_variants(NPVariant out[7], const char* text, NPObject* object) {
  VOID_TO_NPVARIANT(out[0]);
  NULL_TO_NPVARIANT(out[1]);
  BOOLEAN_TO_NPVARIANT(2, out[2]);
  INT32_TO_NPVARIANT(-2147483647 - 1, out[3]);
  DOUBLE_TO_NPVARIANT(0.1, out[4]);
  STRINGZ_TO_NPVARIANT(text, out[5]);
  OBJECT_TO_NPVARIANT(object, out[6]);
}

size_t npapi_c_netscape_funcs_size(void) { return sizeof(NPNetscapeFuncs); }
size_t npapi_c_plugin_funcs_size(void) { return sizeof(NPPluginFuncs); }
