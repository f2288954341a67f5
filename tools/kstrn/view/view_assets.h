// The page's files, built into the program (CMake generates their bytes from
// page/ and the chart library's distribution), so that nothing is fetched from
// elsewhere when the page runs.
#pragma once

#include <cstddef>
#include <string_view>

namespace kstrn::tool {

struct ViewAsset {
  std::string_view name;  // "/index.html", "/uPlot.iife.min.js", ...
  std::string_view type;  // its content type
  std::string_view bytes;
};

// The asset named name, or null.
const ViewAsset* FindViewAsset(std::string_view name);

}  // namespace kstrn::tool
