// Reads a page's HTML into what the host acts on: the plug-in elements with
// their attributes and parameters, the scripts in document order, and every
// element id.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace Browser {

struct ObjectElement {
  std::string id;
  std::string type;
  int width = 0;
  int height = 0;
  // A hidden element (the `hidden` attribute) is never given a window, as a
  // browser gives none to a plug-in that is not displayed.
  bool hidden = false;
  // The element's attributes, then its <param> children, in document order;
  // these become NPP_New's argn/argv.
  std::vector<std::pair<std::string, std::string>> attributes;
  std::vector<std::pair<std::string, std::string>> params;
};

struct ScriptElement {
  std::string source;  // inline text; empty when src is used
  std::string src;     // as written, relative to the page
  int line = 0;        // line of the element, for error messages
};

struct PageDocument {
  std::string title;
  std::vector<ObjectElement> objects;
  std::vector<ScriptElement> scripts;
  std::vector<std::string> elementIds;  // every element with an id
};

// Never fails: HTML parsing recovers from anything, as browsers do.
PageDocument parsePage(const std::string& html);

// Default sizes when an object element does not say.
constexpr int kDefaultObjectWidth = 300;
constexpr int kDefaultObjectHeight = 150;

}  // namespace Browser
