// What the three dialogs share as runnables: the paths the user chose.
#pragma once

#include <string>
#include <vector>

#include "work/Runnable.h"

namespace Harlune {
namespace Web {

class FileDialog : public Runnable {
public:
  // The chosen paths, in the panel's order; empty until confirmed.
  const std::vector<std::string>& paths() const { return _paths; }

protected:
  std::vector<std::string> _paths;
};

}  // namespace Web
}  // namespace Harlune
