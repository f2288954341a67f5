// Opening the desktop's browser on kstrn view's address without putting the
// address, and so its token, on any command line, where every local user can
// read it (ps, /proc): the address goes into a small page that forwards to
// it, in a folder only the user can enter, and the browser is opened on that
// page's file. The page and its folder are removed when the opener goes.
#pragma once

#include <string>

namespace kstrn::tool {

class BrowserOpener {
 public:
  BrowserOpener() = default;
  ~BrowserOpener() { Remove(); }
  BrowserOpener(const BrowserOpener&) = delete;
  BrowserOpener& operator=(const BrowserOpener&) = delete;

  // When there is a desktop (DISPLAY or WAYLAND_DISPLAY), writes the page and
  // starts xdg-open on it; a failure is reported on stderr, nothing more.
  void Open(const std::string& address);
  // Removes the page and its folder; safe to call again, and from the thread
  // that ends the program.
  void Remove();

 private:
  std::string folder_;
  std::string page_;
};

}  // namespace kstrn::tool
