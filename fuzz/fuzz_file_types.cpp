// DialogUtils::parseFileTypesJson on any fileTypes text a page may pass.
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

#include "FuzzCheck.h"
#include "common/Constants.h"
#include "dialogs/DialogUtils.h"
#include "text/Json.h"

using Harlune::Web::DialogUtils;
using Harlune::Web::FileType;
using Harlune::Web::Json;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<FileType> types;
  try {
    types = DialogUtils::parseFileTypesJson(text);
  } catch (const std::runtime_error& e) {
    FUZZ_CHECK(std::strcmp(e.what(), Harlune::Web::kErrorInvalidFileTypesJson) == 0,
               "the refusal does not carry the fileTypes message");
    FUZZ_CHECK(!text.empty(), "the empty text was refused");
    return 0;
  }
  // Anything else escaping is a finding by itself (libFuzzer reports it).

  if (text.empty()) {
    FUZZ_CHECK(types.empty(), "the empty text gave filters");
    return 0;
  }
  // Accepted: an array with one filter per element, in order, each with a
  // name and at least one extension, all strings of the document.
  Json json;
  FUZZ_CHECK(json.parse(text), "accepted text that Json refuses");
  const char* top[] = {nullptr};
  const yajl_val root = json.get(top);
  FUZZ_CHECK(YAJL_IS_ARRAY(root) && root->u.array.len == types.size(),
             "not one filter per array element");
  const char* name[] = {"filter_name", nullptr};
  const char* extensions[] = {"extensions", nullptr};
  for (size_t i = 0; i < types.size(); ++i) {
    const yajl_val item = root->u.array.values[i];
    FUZZ_CHECK(json.getString(name, item) == types[i].name, "a filter name differs");
    const yajl_val list = json.get(extensions, item);
    FUZZ_CHECK(YAJL_IS_ARRAY(list) && list->u.array.len == types[i].extensions.size() &&
                   !types[i].extensions.empty(),
               "a filter's extensions differ in number");
    for (size_t k = 0; k < types[i].extensions.size(); ++k) {
      FUZZ_CHECK(YAJL_IS_STRING(list->u.array.values[k]) &&
                     types[i].extensions[k] == list->u.array.values[k]->u.string,
                 "an extension differs");
      // The first filter listing an extension is the one found.
      const int found = DialogUtils::findExtension(types, types[i].extensions[k]);
      FUZZ_CHECK(found >= 0 && static_cast<size_t>(found) <= i, "findExtension missed a filter");
    }
  }
  FUZZ_CHECK(DialogUtils::findExtension(types, std::string("\0none", 5)) == -1,
             "findExtension found an extension no filter can hold");
  return 0;
}
