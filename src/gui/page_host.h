#pragma once
// The main window as the pages see it: the one place that knows which page
// is showing.

namespace kestrum {

enum class PageId { kMainMenu, kDeviceSelection, kBrowser, kRepair };

class PageHost {
 public:
  virtual ~PageHost() = default;
  virtual void ShowPage(PageId page) = 0;
};

}  // namespace kestrum
