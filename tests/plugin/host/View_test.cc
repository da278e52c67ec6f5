// Guarded drops: the drag pasteboard is shared by everything that takes drops, so a view delivers
// only a drop the user made onto its own area, moments before, with the pasteboard unchanged since.
#include "host/taTarsenWebView.h"

#include <string>
#include <vector>

#include <desktop/Pasteboard.h>
#include <desktop/RunLoop.h>
#include <gtest/gtest.h>

#include "core/PlugIn.h"

namespace Harlune {
namespace Web {
namespace {

class Page : public taITarsenWebViewDelegate {
public:
  void doDrop(const std::vector<std::string>& paths) override { dropped = paths; }
  void doDropex(const std::string&) override {}
  void doDragOver() override {}
  void doDragLeave() override {}
  std::string pageHostname() const override { return "drop.example"; }
  bool isDestroyed() const override { return false; }
  std::vector<std::string> dropped;
};

TEST(ViewDrops, OnlyARecentDropOnTheAreaWithItsOwnContents) {
  Desktop::RunLoop& loop = Desktop::RunLoop::main();
  loop.bindToCurrentThread();
  loop.setVirtualClock(true);
  NPWindow window{};
  window.x = 100;
  window.y = 50;
  window.width = 40;
  window.height = 20;
  taDesktopTarsenWebViewImpl view;
  Page page;
  view.init(&window, nullptr, true, false, false);
  view.setDelegate(&page);
  Desktop::Pasteboard& board = Desktop::Pasteboard::drag();
  // A drop elsewhere, a text and a second call are the page's roads
  // (guard-roads.html); here where and when the drop landed.
  const struct {
    const char* name;
    double x, y, wait;
    bool refilled, delivered;
  } cases[] = {
      {"on the area", 120, 60, 0, false, true},
      {"on its last point", 139.5, 69.5, 0, false, true},
      {"right of it", 140, 60, 0, false, false},
      {"above it", 120, 49.5, 0, false, false},
      {"then a drag onto another element", 120, 60, 0, true, false},
      {"handled 2.5 s later", 120, 60, 2.5, false, true},
      {"handled 3.5 s later", 120, 60, 3.5, false, false},
  };
  int n = 0;
  for (const auto& c : cases) {
    const std::string path = "/drops/" + std::to_string(++n) + ".txt";
    board.clearContents();
    board.setFileNames({path});
    board.performDrop(c.x, c.y);
    if (c.refilled) board.setFileNames({path});
    if (c.wait > 0) loop.runFor(c.wait);
    page.dropped.clear();
    view.handleDrop(nullptr);
    EXPECT_EQ(page.dropped.size(), c.delivered ? 1u : 0u) << c.name;
    EXPECT_EQ(PlugIn::isFileAllowed(path, "drop.example"), c.delivered) << c.name;
  }
  PlugIn::pathsApprovedForHost.clear();
}

}  // namespace
}  // namespace Web
}  // namespace Harlune
