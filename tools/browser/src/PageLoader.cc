#include "PageLoader.h"

#include <gumbo.h>

#include <cstdlib>

namespace Browser {

namespace {

std::string attribute(const GumboElement& element, const char* name) {
  const GumboAttribute* a = gumbo_get_attribute(&element.attributes, name);
  return a ? a->value : "";
}

std::string textOf(const GumboNode* node) {
  std::string out;
  const GumboVector& children = node->v.element.children;
  for (unsigned i = 0; i < children.length; ++i) {
    const auto* child = static_cast<const GumboNode*>(children.data[i]);
    if (child->type == GUMBO_NODE_TEXT || child->type == GUMBO_NODE_CDATA ||
        child->type == GUMBO_NODE_WHITESPACE)
      out += child->v.text.text;
  }
  return out;
}

int dimension(const std::string& text, int fallback) {
  if (text.empty()) return fallback;
  char* end = nullptr;
  long v = std::strtol(text.c_str(), &end, 10);
  if (end == text.c_str() || v <= 0 || v > 10000) return fallback;
  return static_cast<int>(v);
}

ObjectElement readObject(const GumboNode* node) {
  const GumboElement& element = node->v.element;
  ObjectElement object;
  object.id = attribute(element, "id");
  object.type = attribute(element, "type");
  object.width = dimension(attribute(element, "width"), kDefaultObjectWidth);
  object.height = dimension(attribute(element, "height"), kDefaultObjectHeight);
  object.hidden = gumbo_get_attribute(&element.attributes, "hidden") != nullptr;
  for (unsigned i = 0; i < element.attributes.length; ++i) {
    const auto* a = static_cast<const GumboAttribute*>(element.attributes.data[i]);
    object.attributes.emplace_back(a->name, a->value);
  }
  for (unsigned i = 0; i < element.children.length; ++i) {
    const auto* child = static_cast<const GumboNode*>(element.children.data[i]);
    if (child->type != GUMBO_NODE_ELEMENT || child->v.element.tag != GUMBO_TAG_PARAM)
      continue;
    const GumboAttribute* name = gumbo_get_attribute(&child->v.element.attributes, "name");
    if (!name) continue;
    object.params.emplace_back(name->value, attribute(child->v.element, "value"));
  }
  return object;
}

void walk(const GumboNode* node, PageDocument& page) {
  if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_TEMPLATE) return;
  const GumboElement& element = node->v.element;
  std::string id = attribute(element, "id");
  if (!id.empty()) page.elementIds.push_back(id);
  switch (element.tag) {
    case GUMBO_TAG_TITLE:
      page.title = textOf(node);
      break;
    case GUMBO_TAG_OBJECT:
      page.objects.push_back(readObject(node));
      break;
    case GUMBO_TAG_SCRIPT: {
      ScriptElement script;
      script.src = attribute(element, "src");
      if (script.src.empty()) script.source = textOf(node);
      script.line = static_cast<int>(element.start_pos.line);
      page.scripts.push_back(script);
      return;
    }
    default:
      break;
  }
  for (unsigned i = 0; i < element.children.length; ++i)
    walk(static_cast<const GumboNode*>(element.children.data[i]), page);
}

}  // namespace

PageDocument parsePage(const std::string& html) {
  PageDocument page;
  GumboOutput* output =
      gumbo_parse_with_options(&kGumboDefaultOptions, html.data(), html.size());
  walk(output->root, page);
  gumbo_destroy_output(&kGumboDefaultOptions, output);
  return page;
}

}  // namespace Browser
