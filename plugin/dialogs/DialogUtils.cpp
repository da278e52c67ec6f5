#include "dialogs/DialogUtils.h"

#include <stdexcept>

#include "common/Constants.h"
#include "text/Json.h"

namespace Harlune {
namespace Web {

namespace {

[[noreturn]] void fail() { throw std::runtime_error(kErrorInvalidFileTypesJson); }

std::vector<std::string> stringsOf(yajl_val array) {
  if (!YAJL_IS_ARRAY(array) || array->u.array.len == 0) fail();
  std::vector<std::string> out;
  out.reserve(array->u.array.len);
  for (size_t i = 0; i < array->u.array.len; ++i) {
    const yajl_val v = array->u.array.values[i];
    if (!YAJL_IS_STRING(v)) fail();
    out.emplace_back(v->u.string);
  }
  return out;
}

}  // namespace

std::vector<FileType> DialogUtils::parseFileTypesJson(const std::string& json) {
  if (json.empty()) return {};
  Json doc;
  if (!doc.parse(json)) fail();
  const char* top[] = {nullptr};
  const yajl_val root = doc.get(top);
  if (!YAJL_IS_ARRAY(root)) fail();

  static const char* kName[] = {"filter_name", nullptr};
  static const char* kExtensions[] = {"extensions", nullptr};
  std::vector<FileType> types;
  types.reserve(root->u.array.len);
  for (size_t i = 0; i < root->u.array.len; ++i) {
    const yajl_val item = root->u.array.values[i];
    if (!YAJL_IS_OBJECT(item)) fail();
    const yajl_val name = doc.get(kName, item);
    if (!YAJL_IS_STRING(name)) fail();
    types.emplace_back(name->u.string, stringsOf(doc.get(kExtensions, item)));
  }
  return types;
}

int DialogUtils::findExtension(const std::vector<FileType>& types,
                               const std::string& extension) {
  for (size_t i = 0; i < types.size(); ++i) {
    for (const auto& e : types[i].extensions) {
      if (e == extension) return static_cast<int>(i);
    }
  }
  return -1;
}

}  // namespace Web
}  // namespace Harlune
