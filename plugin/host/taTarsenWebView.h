// The plug-in's drawn area: a grey box with the title or the page's image, a
// black frame once touched or focused, and the road of a drop.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <npapi/npapi.h>
#include <npapi/npruntime.h>

namespace Desktop {
class Image;
}

namespace Harlune {
namespace Web {

// How the view reports a drop to its instance.
class taITarsenWebViewDelegate {
public:
  virtual void doDrop(const std::vector<std::string>& paths) = 0;
  virtual void doDropex(const std::string& json) = 0;
  virtual void doDragOver() = 0;
  virtual void doDragLeave() = 0;
  // The host of the page that receives the drop: approvals belong to it.
  virtual std::string pageHostname() const = 0;
  // True once the page destroyed the instance from inside a call into it (a
  // drop observer, an event handler, a getter): the instance and its view
  // stay allocated until that call returns, but nothing more may be done.
  virtual bool isDestroyed() const = 0;

protected:
  ~taITarsenWebViewDelegate() = default;  // never deleted through this interface
};

class taITarsenWebViewImpl {
public:
  virtual ~taITarsenWebViewImpl() = default;
  virtual bool init(NPWindow* window, NPP npp, bool dropEnabled, bool allowDirectories,
                    bool allowMultiple) = 0;
  virtual bool fini() = 0;
  virtual void setImage(const char* bytes, unsigned int length) = 0;
  virtual void setDelegate(taITarsenWebViewDelegate* delegate) = 0;
  virtual void handleDrop(const NPVariant* names) = 0;
  virtual int16_t handleEvent(void* event) = 0;
};

// The implementation on the desktop services: cairo drawing, the drag
// pasteboard, Cocoa-model events.
class taDesktopTarsenWebViewImpl : public taITarsenWebViewImpl {
public:
  taDesktopTarsenWebViewImpl();
  ~taDesktopTarsenWebViewImpl() override;

  bool init(NPWindow* window, NPP npp, bool dropEnabled, bool allowDirectories,
            bool allowMultiple) override;
  bool fini() override { return true; }
  void setImage(const char* bytes, unsigned int length) override;
  void setDelegate(taITarsenWebViewDelegate* delegate) override;
  void handleDrop(const NPVariant* names) override;
  int16_t handleEvent(void* event) override;

  bool highlighted() const { return _highlighted; }
  bool hasImage() const { return _image != nullptr; }

private:
  void invalidate();
  void draw(void* context, double x, double y, double width, double height);
  // The page's names, read only when the list is as long as the drop.
  std::vector<std::string> pageNames(const NPVariant* names, size_t dropped, bool* valid);
  std::vector<std::string> pasteboardPaths();
  // Whether the drag's last drop landed on this area shortly before, with the
  // pasteboard unchanged since, and was not taken yet; takes it if so.
  bool takeOwnDrop();

  static constexpr double kDropLifetimeSeconds = 3.0;

  bool _dropAllowDirectories = false;
  bool _dropAllowMultiple = false;
  bool _highlighted = false;
  taITarsenWebViewDelegate* _delegate = nullptr;
  NPWindow* _window = nullptr;
  NPP _npp = nullptr;
  std::uint64_t _takenDrop = 0;
  std::unique_ptr<Desktop::Image> _image;
  std::vector<unsigned char> _imageBytes;
};

class taTarsenWebView {
public:
  taTarsenWebView();
  virtual ~taTarsenWebView();
  taTarsenWebView(const taTarsenWebView&) = delete;
  taTarsenWebView& operator=(const taTarsenWebView&) = delete;

  bool init(NPWindow* window, NPP npp, bool dropEnabled, bool allowDirectories,
            bool allowMultiple);
  bool resize(NPWindow*) { return true; }
  void handleDrop(const NPVariant* names) { _impl->handleDrop(names); }
  void setImage(const char* bytes, unsigned int length) { _impl->setImage(bytes, length); }
  int16_t handleEvent(void* event) { return _impl->handleEvent(event); }
  void setDelegate(taITarsenWebViewDelegate* delegate) { _impl->setDelegate(delegate); }

  taDesktopTarsenWebViewImpl& impl() { return *_impl; }

private:
  std::unique_ptr<taDesktopTarsenWebViewImpl> _impl;
};

}  // namespace Web
}  // namespace Harlune
