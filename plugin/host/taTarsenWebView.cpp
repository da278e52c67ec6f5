#include "host/taTarsenWebView.h"

#include <algorithm>
#include <cmath>
#include <cairo.h>

#include <desktop/Drawing.h>
#include <desktop/Pasteboard.h>
#include <desktop/RunLoop.h>
#include <taplatform/talog.h>

#include "common/Policy.h"
#include "common/Utils.h"
#include "core/PlugIn.h"
#include "host/BrowserFuncs.h"

namespace Harlune {
namespace Web {

taDesktopTarsenWebViewImpl::taDesktopTarsenWebViewImpl() = default;
taDesktopTarsenWebViewImpl::~taDesktopTarsenWebViewImpl() = default;

bool taDesktopTarsenWebViewImpl::init(NPWindow* window, NPP npp, bool /*dropEnabled*/,
                                      bool allowDirectories, bool allowMultiple) {
  _window = window;
  _npp = npp;
  _dropAllowDirectories = allowDirectories;
  _dropAllowMultiple = allowMultiple;
  TA_LOG(3, "taMacTarsenWebViewImpl::initialized");
  return true;
}

void taDesktopTarsenWebViewImpl::setDelegate(taITarsenWebViewDelegate* delegate) {
  TA_LOG(3, "setDelegate: %p", static_cast<void*>(delegate));
  _delegate = delegate;
}

void taDesktopTarsenWebViewImpl::setImage(const char* bytes, unsigned int length) {
  // One byte more than the data, as the decoder's buffer always had.
  _imageBytes.assign(length + 1, 0);
  if (length) std::copy(bytes, bytes + length, _imageBytes.begin());
  _image = Desktop::Image::fromJpeg(_imageBytes.data(), length);
  if (!_image) {
    TA_LOG(3, "ERROR: Failure to create Core Graphics image.");
    return;
  }
  invalidate();
}

void taDesktopTarsenWebViewImpl::invalidate() {
  if (!_window) return;
  NPRect rect;
  rect.top = static_cast<uint16_t>(_window->y);
  rect.left = static_cast<uint16_t>(_window->x);
  rect.bottom = static_cast<uint16_t>(_window->height);
  rect.right = static_cast<uint16_t>(_window->width);
  NPN_InvalidateRect(_npp, &rect);
}

int16_t taDesktopTarsenWebViewImpl::handleEvent(void* event) {
  const NPCocoaEvent* e = static_cast<const NPCocoaEvent*>(event);
  switch (e->type) {
    case NPCocoaEventDrawRect:
      draw(e->data.draw.context, e->data.draw.x, e->data.draw.y, e->data.draw.width,
           e->data.draw.height);
      return 1;
    case NPCocoaEventMouseDown:
    case NPCocoaEventMouseUp:
    case NPCocoaEventMouseEntered:
    case NPCocoaEventMouseExited:
    case NPCocoaEventMouseDragged:
    case NPCocoaEventScrollWheel:
      _highlighted = true;
      invalidate();
      return 1;
    case NPCocoaEventKeyDown:
    case NPCocoaEventKeyUp:
    case NPCocoaEventFlagsChanged:
      return 1;
    case NPCocoaEventFocusChanged:
      _highlighted = e->data.focus.hasFocus;
      invalidate();
      return 1;
    default:
      return 0;
  }
}

void taDesktopTarsenWebViewImpl::draw(void* context, double x, double y, double width,
                                      double height) {
  cairo_t* cr = static_cast<cairo_t*>(context);
  if (!cr) return;
  cairo_save(cr);
  Desktop::Rect rect{x, y, width, height};
  Desktop::fillRect(cr, rect, Desktop::Color::lightGray());
  if (_highlighted) {
    Desktop::strokeRect(cr, rect, Desktop::Color::black(), 5.0);
    rect = Desktop::Rect{rect.x + 5.0, rect.y + 5.0, rect.width - 10.0, rect.height - 10.0};
  }
  if (_image) {
    // Drawn at the context's origin with the area's size, stretched to fit.
    Desktop::drawImage(cr, *_image, Desktop::Rect{0, 0, rect.width, rect.height});
  } else {
    Desktop::drawTextCentered(cr, "Tarsen Harlune", rect);
  }
  cairo_restore(cr);
}

std::vector<std::string> taDesktopTarsenWebViewImpl::pageNames(const NPVariant* names,
                                                               size_t dropped, bool* valid) {
  std::vector<std::string> list;
  *valid = true;
  if (!names || !NPVARIANT_IS_OBJECT(*names)) {
    TA_LOG(5, "handleDrop(): Mac -> No list of files provided");
    return list;
  }
  TA_LOG(5, "handleDrop(): Mac -> files provided");
  NPObject* array = NPVARIANT_TO_OBJECT(*names);
  NPVariant length;
  VOID_TO_NPVARIANT(length);
  NPN_GetProperty(_npp, array, NPN_GetStringIdentifier("length"), &length);
  // The count as the page gives it: an int32 as unsigned, a double truncated.
  // A negative, non-finite or absurd double can be no count of dropped files.
  uint64_t count = 0;
  bool counted = true;
  if (NPVARIANT_IS_INT32(length)) {
    count = static_cast<uint32_t>(NPVARIANT_TO_INT32(length));
  } else if (NPVARIANT_IS_DOUBLE(length)) {
    const double value = std::trunc(NPVARIANT_TO_DOUBLE(length));
    counted = value >= 0 && value <= 4294967295.0;
    if (counted) count = static_cast<uint64_t>(value);
  } else {
    TA_LOG(5, "length property is not of expetected type");
  }
  NPN_ReleaseVariantValue(&length);
  // Only a list as long as the drop is ever compared; one of any other length
  // passes unread. So no more names are read than files were dropped, and a
  // length of -1 or 4e9 costs nothing (reading it to the end would hold the
  // main thread for billions of property reads).
  if (!counted || count == 0 || count != dropped) return list;
  for (uint64_t i = 0; i < count; ++i) {
    // A getter of the page's list may destroy the instance: stop reading.
    if (_delegate && _delegate->isDestroyed()) break;
    NPVariant element;
    VOID_TO_NPVARIANT(element);
    NPN_GetProperty(_npp, array, NPN_GetIntIdentifier(static_cast<int32_t>(i)), &element);
    if (NPVARIANT_IS_STRING(element)) {
      const NPString& s = NPVARIANT_TO_STRING(element);
      list.emplace_back(s.UTF8Characters, s.UTF8Length);
    } else {
      // Not a name at all: the page's list cannot vouch for the drop.
      *valid = false;
    }
    NPN_ReleaseVariantValue(&element);
  }
  return list;
}

std::vector<std::string> taDesktopTarsenWebViewImpl::pasteboardPaths() {
  Desktop::Pasteboard& board = Desktop::Pasteboard::drag();
  std::vector<std::string> paths;
  if (board.hasType(Desktop::PasteboardType::FileNames)) {
    for (const std::string& path : board.fileNames()) {
      bool isDirectory = false;
      Desktop::FileManager::fileExists(path, &isDirectory);
      if (isDirectory && !_dropAllowDirectories) continue;
      paths.push_back(path);
    }
  } else if (!Policy::guarded() && board.hasType(Desktop::PasteboardType::String)) {
    // Guarded, a dragged text is never taken for a path: the user dropped no file.
    paths.push_back(board.string());
  }
  return paths;
}

namespace {
std::string lastComponent(const std::string& path) {
  const size_t cut = path.find_last_of("/\\");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}
}  // namespace

bool taDesktopTarsenWebViewImpl::takeOwnDrop() {
  const Desktop::Pasteboard& board = Desktop::Pasteboard::drag();
  const Desktop::Drop drop = board.lastDrop();
  const double age = Desktop::RunLoop::main().now() - drop.time;
  // The pasteboard must still hold what was dropped here: a later drag onto
  // another element refills it.
  const bool ours = _window && drop.serial != 0 && drop.serial != _takenDrop &&
                    drop.changeCount == board.changeCount() && age >= 0 &&
                    age <= kDropLifetimeSeconds && drop.x >= _window->x &&
                    drop.x < double(_window->x) + _window->width && drop.y >= _window->y &&
                    drop.y < double(_window->y) + _window->height;
  if (!ours) {
    TA_LOG(1, "handleDrop(): no drop on this plug-in to deliver");
    return false;
  }
  _takenDrop = drop.serial;
  return true;
}

void taDesktopTarsenWebViewImpl::handleDrop(const NPVariant* names) {
  // Guarded, only a drop the user made onto this area, once and at once: the
  // drag pasteboard is shared by everything that takes drops.
  if (Policy::guarded() && !takeOwnDrop()) return;
  // The pasteboard is read first: its count bounds what is read of the page's
  // list. The page's getters cannot change the pasteboard.
  const std::vector<std::string> paths = pasteboardPaths();
  bool namesValid = true;
  std::vector<std::string> announced = pageNames(names, paths.size(), &namesValid);
  if (_delegate && _delegate->isDestroyed()) return;
  if (paths.empty() || !_delegate) {
    Desktop::Pasteboard::drag().clearContents();
    return;
  }
  const std::string json = Utils::createExtendedObject(paths);
  bool matches = namesValid;
  if (matches && !announced.empty() && announced.size() == paths.size()) {
    std::vector<std::string> dropped;
    for (const std::string& path : paths) dropped.push_back(lastComponent(path));
    std::sort(dropped.begin(), dropped.end());
    std::sort(announced.begin(), announced.end());
    matches = dropped == announced;
  }
  if (!matches) {
    TA_LOG(5, "handleDrop(): Mac -> File(s) dropped and file(s) in the clipboard don't match");
    return;
  }
  PlugIn::addToApprovedFileList(paths, _delegate->pageHostname());
  _delegate->doDrop(paths);
  // The page's drop observer or event handler may have destroyed the instance
  // (and with it this view, once the script call returns): touch nothing more.
  if (_delegate->isDestroyed()) return;
  _delegate->doDropex(json);
  Desktop::Pasteboard::drag().clearContents();
}

taTarsenWebView::taTarsenWebView() : _impl(std::make_unique<taDesktopTarsenWebViewImpl>()) {}

taTarsenWebView::~taTarsenWebView() { _impl->fini(); }

bool taTarsenWebView::init(NPWindow* window, NPP npp, bool dropEnabled, bool allowDirectories,
                           bool allowMultiple) {
  if (!window) return false;
  return _impl->init(window, npp, dropEnabled, allowDirectories, allowMultiple);
}

}  // namespace Web
}  // namespace Harlune
