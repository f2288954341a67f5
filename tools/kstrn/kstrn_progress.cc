#include "kstrn_progress.h"

#include <cstdio>

#include "storage/platform/program_process.h"

namespace kstrn::tool {
namespace {

std::size_t TerminalWidth() {
  const std::size_t columns = kestron4::TerminalColumns(kestron4::StandardStream::kError);
  return columns >= 20 ? columns : 80;
}

}  // namespace

ProgressBar::ProgressBar(std::size_t total, bool enabled)
    : total_(total), active_(enabled && total != 0 && kestron4::IsTerminal(kestron4::StandardStream::kError)) {}

ProgressBar::~ProgressBar() { Clear(); }

void ProgressBar::Show(std::size_t done, const std::string& label) {
  if (!active_) return;
  constexpr std::size_t kBarWidth = 24;
  const std::size_t filled = kBarWidth * done / total_;
  std::string line = "\r[" + std::string(filled, '#') + std::string(kBarWidth - filled, '.') +
                     "] " + std::to_string(done) + '/' + std::to_string(total_) + ' ';
  const std::size_t width = TerminalWidth() - 1;
  // Keep the end of a long name: it is the part that differs.
  const std::size_t room = width > line.size() ? width - line.size() : 0;
  line += label.size() <= room ? label : label.substr(label.size() - room);
  line += "\033[K";  // erase what a longer previous line left
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
  drawn_ = true;
}

void ProgressBar::Clear() {
  if (!drawn_) return;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
  drawn_ = false;
}

}  // namespace kstrn::tool
