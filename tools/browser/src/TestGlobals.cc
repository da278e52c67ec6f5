#include "TestGlobals.h"

#include <string>
#include <vector>

#include <desktop/Pasteboard.h>
#include <desktop/Window.h>

#include "Page.h"
#include "PageEnvironment.h"
#include "PluginInstance.h"

namespace Browser {

namespace {

const char kTestGlobals[] = R"JS(
(function (g, h) {
  g.testRunner = {
    waitUntilDone: function () { h.waitUntilDone(); },
    notifyDone: function () { h.notifyDone(); }
  };

  function element(id) {
    var found = g.document.getElementById(id);
    if (!found) throw new Error("eventSender: no element with id '" + id + "'");
    return found;
  }
  function baseName(path) {
    return String(path).replace(/\/+$/, '').split('/').pop();
  }
  // The drag ends on the target: a plug-in's area sees the drop itself, then
  // the element's listeners get the event. A drop on any other element
  // leaves its contents on the pasteboard and tells no plug-in.
  function drop(id, target, names, types) {
    h.performDrop(id);
    target.dispatchEvent({
      type: 'drop',
      target: target,
      files: names,
      dataTransfer: { types: types, files: names.map(function (n) { return { name: n }; }) },
      preventDefault: function () {},
      stopPropagation: function () {}
    });
  }
  g.eventSender = {
    dropFiles: function (id, paths, pageNames) {
      var target = element(id);
      paths = Array.prototype.slice.call(paths || []).map(String);
      var names = pageNames === undefined ? paths.map(baseName)
                                          : Array.prototype.slice.call(pageNames);
      h.setDragFiles(paths);
      drop(id, target, names, ['Files']);
    },
    // A text (not a file) dragged and dropped on the element.
    dropText: function (id, text) {
      var target = element(id);
      h.setDragText(String(text));
      drop(id, target, [], ['text/plain']);
    },
    mouseDown: function (id) { element(id); return h.sendEvent(id, 'mousedown'); },
    mouseUp: function (id) { element(id); return h.sendEvent(id, 'mouseup'); },
    focus: function (id, hasFocus) {
      element(id);
      return h.sendEvent(id, 'focus', hasFocus === undefined ? true : !!hasFocus);
    },
    scroll: function (id) { element(id); return h.sendEvent(id, 'scroll'); },
    paint: function (id) { element(id); return h.sendEvent(id, 'paint'); },
    invalidations: function (id) { element(id); return h.invalidations(id); },
    destroy: function (id) {
      element(id);
      h.destroy(id);
      h.forgetElement(id);
    }
  };

  g.user = {
    answerPanels: function (answers) { h.answerPanels(answers); },
    get panels() { return h.panels(); },
    get alerts() { return h.alerts(); }
  };
})
)JS";

duk_ret_t nativeWaitUntilDone(duk_context* ctx) {
  pageOf(ctx).waitUntilDone();
  return 0;
}

duk_ret_t nativeNotifyDone(duk_context* ctx) {
  pageOf(ctx).notifyDone();
  return 0;
}

duk_ret_t nativeSetDragFiles(duk_context* ctx) {
  std::vector<std::string> paths;
  auto n = duk_get_length(ctx, 0);
  for (duk_size_t i = 0; i < n; ++i) {
    duk_get_prop_index(ctx, 0, static_cast<duk_uarridx_t>(i));
    paths.emplace_back(duk_safe_to_string(ctx, -1));
    duk_pop(ctx);
  }
  Desktop::Pasteboard::drag().clearContents();
  Desktop::Pasteboard::drag().setFileNames(std::move(paths));
  return 0;
}

duk_ret_t nativeSetDragText(duk_context* ctx) {
  Desktop::Pasteboard::drag().clearContents();
  Desktop::Pasteboard::drag().setString(duk_safe_to_string(ctx, 0));
  return 0;
}

// A drop on a plug-in lands at the middle of its area, in window coordinates.
duk_ret_t nativePerformDrop(duk_context* ctx) {
  PluginInstance* instance = pageOf(ctx).instance(duk_safe_to_string(ctx, 0));
  if (!instance) return 0;
  Desktop::Pasteboard::drag().performDrop(instance->x() + instance->element().width / 2.0,
                                          instance->y() + instance->element().height / 2.0);
  return 0;
}

// -1: no live plug-in instance behind the id (the caller throws).
int sendEventImpl(duk_context* ctx) {
  PluginInstance* instance = pageOf(ctx).instance(duk_safe_to_string(ctx, 0));
  if (!instance) {
    duk_push_error_object(ctx, DUK_ERR_ERROR, "eventSender: element '%s' has no plug-in",
                          duk_safe_to_string(ctx, 0));
    return -1;
  }
  std::string kind = duk_safe_to_string(ctx, 1);
  int16_t handled = 0;
  if (kind == "mousedown") {
    handled = instance->mouse(NPCocoaEventMouseDown);
  } else if (kind == "mouseup") {
    handled = instance->mouse(NPCocoaEventMouseUp);
  } else if (kind == "focus") {
    handled = instance->focus(duk_to_boolean(ctx, 2));
  } else if (kind == "scroll") {
    handled = instance->scroll(1.0);
  } else {
    cairo_surface_t* surface = cairo_image_surface_create(
        CAIRO_FORMAT_ARGB32, instance->element().width, instance->element().height);
    cairo_t* cr = cairo_create(surface);
    handled = instance->draw(cr);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
  }
  duk_push_int(ctx, handled);
  return 1;
}

duk_ret_t nativeSendEvent(duk_context* ctx) {
  int rc = sendEventImpl(ctx);
  return rc < 0 ? duk_throw(ctx) : rc;
}

duk_ret_t nativeDestroy(duk_context* ctx) {
  pageOf(ctx).destroyElement(duk_safe_to_string(ctx, 0));
  return 0;
}

duk_ret_t nativeInvalidations(duk_context* ctx) {
  PluginInstance* instance = pageOf(ctx).instance(duk_safe_to_string(ctx, 0));
  duk_push_array(ctx);
  if (!instance) return 1;
  duk_uarridx_t i = 0;
  for (const NPRect& r : instance->takeInvalidations()) {
    duk_push_array(ctx);
    const uint16_t values[4] = {r.top, r.left, r.bottom, r.right};
    for (duk_uarridx_t k = 0; k < 4; ++k) {
      duk_push_uint(ctx, values[k]);
      duk_put_prop_index(ctx, -2, k);
    }
    duk_put_prop_index(ctx, -2, i++);
  }
  return 1;
}

// -1: a malformed answer (the caller throws).
int answerPanelsImpl(duk_context* ctx) {
  Page& page = pageOf(ctx);
  if (!duk_is_array(ctx, 0)) {
    duk_push_error_object(ctx, DUK_ERR_TYPE_ERROR, "user.answerPanels needs an array");
    return -1;
  }
  auto n = duk_get_length(ctx, 0);
  for (duk_size_t i = 0; i < n; ++i) {
    duk_get_prop_index(ctx, 0, static_cast<duk_uarridx_t>(i));
    if (duk_is_string(ctx, -1) && std::string(duk_get_string(ctx, -1)) == "cancel") {
      page.queuePanelAnswer(Desktop::PanelAnswer::cancel());
    } else if (duk_is_string(ctx, -1) && std::string(duk_get_string(ctx, -1)) == "ignore") {
      page.queuePanelAnswer(Desktop::PanelAnswer::leaveOpen());
    } else if (duk_is_object(ctx, -1) && duk_get_prop_string(ctx, -1, "choose") &&
               duk_is_array(ctx, -1)) {
      std::vector<std::string> paths;
      auto count = duk_get_length(ctx, -1);
      for (duk_size_t k = 0; k < count; ++k) {
        duk_get_prop_index(ctx, -1, static_cast<duk_uarridx_t>(k));
        paths.emplace_back(duk_safe_to_string(ctx, -1));
        duk_pop(ctx);
      }
      page.queuePanelAnswer(Desktop::PanelAnswer::choose(std::move(paths)));
      duk_pop(ctx);
    } else {
      duk_push_error_object(ctx, DUK_ERR_TYPE_ERROR,
                            "a panel answer is {choose: [paths]}, \"cancel\" or \"ignore\"");
      return -1;
    }
    duk_pop(ctx);
  }
  return 0;
}

duk_ret_t nativeAnswerPanels(duk_context* ctx) {
  int rc = answerPanelsImpl(ctx);
  return rc < 0 ? duk_throw(ctx) : rc;
}

void putStrings(duk_context* ctx, const char* name, const std::vector<std::string>& values) {
  duk_push_array(ctx);
  for (std::size_t i = 0; i < values.size(); ++i) {
    duk_push_string(ctx, values[i].c_str());
    duk_put_prop_index(ctx, -2, static_cast<duk_uarridx_t>(i));
  }
  duk_put_prop_string(ctx, -2, name);
}

void putBool(duk_context* ctx, const char* name, bool value) {
  duk_push_boolean(ctx, value);
  duk_put_prop_string(ctx, -2, name);
}

duk_ret_t nativePanels(duk_context* ctx) {
  duk_push_array(ctx);
  duk_uarridx_t i = 0;
  for (const PanelRecord& record : pageOf(ctx).panels()) {
    const Desktop::PanelSettings& s = record.settings;
    bool open = s.kind == Desktop::WindowKind::OpenPanel;
    duk_push_object(ctx);
    duk_push_string(ctx, open ? "open" : "save");
    duk_put_prop_string(ctx, -2, "kind");
    duk_push_string(ctx, s.title.c_str());
    duk_put_prop_string(ctx, -2, "title");
    putBool(ctx, "multiple", open && s.allowsMultipleSelection);
    putBool(ctx, "files", open ? s.canChooseFiles : true);
    putBool(ctx, "folders", open && s.canChooseDirectories);
    putStrings(ctx, "allowedTypes", s.allowedFileTypes);
    putBool(ctx, "otherTypes", s.allowsOtherFileTypes);
    duk_push_string(ctx, s.nameFieldStringValue.c_str());
    duk_put_prop_string(ctx, -2, "nameField");
    duk_push_string(ctx, record.answer.c_str());
    duk_put_prop_string(ctx, -2, "answer");
    duk_put_prop_index(ctx, -2, i++);
  }
  return 1;
}

duk_ret_t nativeAlerts(duk_context* ctx) {
  duk_push_array(ctx);
  duk_uarridx_t i = 0;
  for (const auto& alert : Desktop::Application::shared().alertsShown()) {
    duk_push_string(ctx, alert.messageText.c_str());
    duk_put_prop_index(ctx, -2, i++);
  }
  return 1;
}

}  // namespace

void installTestGlobals(Page& page) {
  const duk_function_list_entry natives[] = {{"waitUntilDone", nativeWaitUntilDone, 0},
                                             {"notifyDone", nativeNotifyDone, 0},
                                             {"setDragFiles", nativeSetDragFiles, 1},
                                             {"setDragText", nativeSetDragText, 1},
                                             {"performDrop", nativePerformDrop, 1},
                                             {"sendEvent", nativeSendEvent, 3},
                                             {"destroy", nativeDestroy, 1},
                                             {"invalidations", nativeInvalidations, 1},
                                             {"answerPanels", nativeAnswerPanels, 1},
                                             {"panels", nativePanels, 0},
                                             {"alerts", nativeAlerts, 0},
                                             {nullptr, nullptr, 0}};
  runPrelude(page, kTestGlobals, natives);
}

}  // namespace Browser
