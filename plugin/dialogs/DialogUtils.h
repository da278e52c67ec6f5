// The fileTypes argument of the dialogs: a JSON array of
// {"filter_name": string, "extensions": [string, ...]} objects.
#pragma once

#include <string>
#include <vector>

#include "dialogs/FileType.h"

namespace Harlune {
namespace Web {

class DialogUtils {
public:
  // The filters in order; "" gives none. Throws std::runtime_error with
  // kErrorInvalidFileTypesJson for anything that is not such an array.
  static std::vector<FileType> parseFileTypesJson(const std::string& json);
  // Index of the first filter listing `extension` exactly (case-sensitive), or -1.
  static int findExtension(const std::vector<FileType>& types, const std::string& extension);
};

}  // namespace Web
}  // namespace Harlune
