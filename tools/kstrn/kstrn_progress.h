// A one-line progress bar on stderr, drawn only when stderr is a terminal so
// that logs and pipes stay clean.
#pragma once

#include <cstddef>
#include <string>

namespace kstrn::tool {

class ProgressBar {
 public:
  // Draws nothing unless enabled and stderr is a terminal.
  ProgressBar(std::size_t total, bool enabled);
  ~ProgressBar();
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  // Shows done of total steps, with label naming the current step.
  void Show(std::size_t done, const std::string& label);
  // Clears the bar, so that a message can be printed on a clean line.
  void Clear();

 private:
  std::size_t total_;
  bool active_;
  bool drawn_ = false;
};

}  // namespace kstrn::tool
