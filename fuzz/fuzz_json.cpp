// Json on any text: parse, the lookups every caller makes, and the error
// object built from the same text.
#include <cstdint>
#include <cstring>
#include <string>

#include "FuzzCheck.h"
#include "text/Json.h"

using Harlune::Web::Json;

namespace {

// Depth of the tree, so the nesting guard is seen to hold for every tree that
// parse() hands out.
size_t depthOf(yajl_val v) {
  size_t deepest = 0;
  if (YAJL_IS_OBJECT(v)) {
    for (size_t i = 0; i < v->u.object.len; ++i) {
      const size_t d = depthOf(v->u.object.values[i]);
      if (d > deepest) deepest = d;
    }
    return deepest + 1;
  }
  if (YAJL_IS_ARRAY(v)) {
    for (size_t i = 0; i < v->u.array.len; ++i) {
      const size_t d = depthOf(v->u.array.values[i]);
      if (d > deepest) deepest = d;
    }
    return deepest + 1;
  }
  return 0;
}

// getString and isTrue agree with the node that get() finds.
void checkLookup(const Json& json, const char** path, yajl_val from) {
  const yajl_val v = json.get(path, from);
  const std::string text = json.getString(path, from);
  if (YAJL_IS_STRING(v)) {
    FUZZ_CHECK(text == v->u.string, "getString differs from the string value");
  } else if (YAJL_IS_NUMBER(v)) {
    FUZZ_CHECK(text == YAJL_GET_NUMBER(v) && !text.empty(),
               "getString is not the number's literal text");
  } else {
    FUZZ_CHECK(text.empty(), "getString of a non-string, non-number is not empty");
  }
  FUZZ_CHECK(json.isTrue(path, from) == YAJL_IS_TRUE(v), "isTrue is not the literal true");
}

void checkLookups(const Json& json, yajl_val root) {
  static const char* kPaths[][4] = {
      {"error", nullptr},
      {"error", "user_message", nullptr},
      {"tarsen_harlune_settings", "app_id", nullptr},
      {"tarsen_harlune_settings", "use_absolute_destination_path", nullptr},
      {"transfer_spec", "direction", nullptr},
      {"iteration_token", nullptr},
      {"", nullptr},
      {nullptr}};
  for (auto& path : kPaths) {
    checkLookup(json, path, nullptr);
    // From the first element of an array or the first member of an object,
    // as the body check and the poller read nested entries.
    if (YAJL_IS_ARRAY(root) && root->u.array.len > 0) {
      checkLookup(json, path, root->u.array.values[0]);
    }
    if (YAJL_IS_OBJECT(root) && root->u.object.len > 0) {
      checkLookup(json, path, root->u.object.values[0]);
    }
  }
  const char* errorPath[] = {"error", nullptr};
  FUZZ_CHECK(json.containsError() == (YAJL_IS_OBJECT(root) && json.get(errorPath) != nullptr),
             "containsError disagrees with the tree");
}

// The error object round-trips its message when the message is JSON-safe
// text (valid UTF-8 and no NUL, which the reader refuses).
void checkErrorObject(const std::string& message) {
  const std::string error = Json::createError(message);
  const bool text = message.find('\0') == std::string::npos &&
                    isValidUtf8(reinterpret_cast<const unsigned char*>(message.data()),
                                message.size());
  if (!text) return;
  Json back;
  FUZZ_CHECK(back.parse(error), "the error object does not parse");
  FUZZ_CHECK(back.containsError(), "the error object has no \"error\"");
  const char* code[] = {"error", "code", nullptr};
  const char* internal[] = {"error", "internal_message", nullptr};
  const char* user[] = {"error", "user_message", nullptr};
  FUZZ_CHECK(back.getString(code) == "-1", "the error code is not -1");
  FUZZ_CHECK(back.getString(internal) == "Invalid request", "the internal message changed");
  FUZZ_CHECK(YAJL_IS_STRING(back.get(user)) && back.getString(user) == message,
             "user_message is not the message given");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  Json json;
  const char* top[] = {nullptr};
  if (json.parse(text)) {
    FUZZ_CHECK(json.err().empty(), "a good parse left an error text");
    const yajl_val root = json.get(top);
    FUZZ_CHECK(root != nullptr, "a good parse gave no root");
    FUZZ_CHECK(depthOf(root) <= Json::kMaxNesting, "a tree deeper than the guard got through");
    checkLookups(json, root);
  } else {
    FUZZ_CHECK(!json.err().empty(), "a failed parse gave no reason");
    FUZZ_CHECK(json.get(top) == nullptr, "a failed parse left a tree");
    // Callers hand the parser's message to the page inside an error object,
    // which must stay JSON even where the message cuts a character in two.
    Json wrapped;
    FUZZ_CHECK(wrapped.parse(Json::createError(json.err())),
               "the error object of the parser's message is not JSON");
  }
  // A second parse replaces the tree, and a good text still parses after a bad one.
  FUZZ_CHECK(json.parse("{\"error\":null}") && json.containsError(), "a reparse failed");
  checkErrorObject(text);
  return 0;
}
