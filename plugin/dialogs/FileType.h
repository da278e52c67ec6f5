// One file-type filter of a dialog: a name and its extensions.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace Harlune {
namespace Web {

struct FileType {
  FileType() = default;
  FileType(std::string n, std::vector<std::string> e)
      : name(std::move(n)), extensions(std::move(e)) {}

  std::string name;
  // In the order given, without the dot; "*" stands for any type.
  std::vector<std::string> extensions;
};

}  // namespace Web
}  // namespace Harlune
