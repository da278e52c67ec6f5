// What every page script sees: window (the global), location, document with
// getElementById, console.log, setTimeout and clearTimeout.
#pragma once

#include <duktape.h>

namespace Browser {

class Page;

void installPageEnvironment(Page& page);
// Runs the callback of page timer `id` (called from the run loop).
void fireScriptTimer(Page& page, int id);

// The page behind a context (natives use it).
Page& pageOf(duk_context* ctx);
// Runs the script-side factory `source` (a function expression) with the
// global object and the host's natives object as its arguments.
void runPrelude(Page& page, const char* source, const duk_function_list_entry* natives);

}  // namespace Browser
