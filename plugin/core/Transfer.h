// One transfer request to the desktop application: the xferreq document.
#pragma once

#include <string>
#include <vector>

namespace Harlune {
namespace Web {

inline constexpr char kXferreqNamespace[] = "http://schemas.tarsen.com/xml/xferreq/";

class Transfer {
public:
  Transfer() = default;
  virtual ~Transfer() = default;

  void setSource(const std::vector<std::string>& sources) { _sources = sources; }
  void setDestination(const std::string& destination) { _destination = destination; }
  // The document, without declaration, line breaks or indentation.
  std::string document() const;
  // Launches the application when needed and posts the document; true when
  // a response came back.
  bool request() const;

private:
  std::vector<std::string> _sources;
  std::string _destination;
};

// A window of the desktop application, shown by one request.
class Window {
public:
  explicit Window(const std::string& name) : _name(name) {}
  virtual ~Window() = default;
  bool show(const std::string& argument) const;
  const std::string& name() const { return _name; }

private:
  std::string _name;
};

class TransferManagerWindow : public Window {
public:
  TransferManagerWindow() : Window("transfer-manager") {}
};

class AboutWindow : public Window {
public:
  AboutWindow() : Window("about") {}
};

class PreferencesWindow : public Window {
public:
  PreferencesWindow() : Window("preferences") {}
};

}  // namespace Web
}  // namespace Harlune
