#include "view_opener.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

extern char** environ;

namespace kstrn::tool {
namespace {

std::string Escaped(const std::string& text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

// The user's runtime folder where the desktop provides one (private and
// emptied at logout), else the temporary folder.
std::string Base() {
  for (const char* name : {"XDG_RUNTIME_DIR", "TMPDIR"}) {
    const char* dir = std::getenv(name);
    struct stat st {};
    if (dir != nullptr && *dir == '/' && ::stat(dir, &st) == 0 && S_ISDIR(st.st_mode)) return dir;
  }
  return "/tmp";
}

bool WriteAll(int fd, const std::string& text) {
  for (std::size_t at = 0; at < text.size();) {
    const ssize_t n = ::write(fd, text.data() + at, text.size() - at);
    if (n <= 0) return false;
    at += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

void BrowserOpener::Open(const std::string& address) {
  if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr) return;
  std::string folder = Base() + "/kstrn-view-XXXXXX";
  std::vector<char> name(folder.begin(), folder.end());
  name.push_back('\0');
  if (::mkdtemp(name.data()) == nullptr) {  // made 0700
    std::fprintf(stderr, "kstrn view: no private folder for the browser's page; open the "
                         "address yourself\n");
    return;
  }
  folder_ = name.data();
  page_ = folder_ + "/open.html";
  const std::string html =
      "<!DOCTYPE html>\n<meta charset=\"utf-8\">\n<meta http-equiv=\"refresh\" content=\"0;url=" +
      Escaped(address) + "\">\n<title>kstrn view</title>\n<a href=\"" + Escaped(address) +
      "\">kstrn view</a>\n";
  const int fd = ::open(page_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  const bool written = fd >= 0 && WriteAll(fd, html);
  if (fd >= 0) ::close(fd);
  if (!written) {
    std::fprintf(stderr, "kstrn view: could not write the browser's page; open the address "
                         "yourself\n");
    Remove();
    return;
  }
  const std::string url = "file://" + page_;
  const char* argv[] = {"xdg-open", url.c_str(), nullptr};
  pid_t pid = 0;
  if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, const_cast<char* const*>(argv), environ) !=
      0)
    std::fprintf(stderr, "kstrn view: could not start xdg-open; open the address yourself\n");
  // The opener returns at once; it is reaped when the server ends.
}

void BrowserOpener::Remove() {
  if (!page_.empty()) ::unlink(page_.c_str());
  if (!folder_.empty()) ::rmdir(folder_.c_str());
  page_.clear();
  folder_.clear();
}

}  // namespace kstrn::tool
