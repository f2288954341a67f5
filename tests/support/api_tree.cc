#include "support/api_tree.h"

namespace kestron4::testing {

std::string Where(KSTRN_SessionHandle s) {
  uint32_t mark = 0;
  KSTRN_AddBookMark(&mark, s);
  std::string path;
  uint16_t tid = 0;
  uint32_t index = 0;
  while (KSTRN_GetParentTID(&tid, &index, s)) {
    const std::string step = std::to_string(tid) + "." + std::to_string(index);
    path = path.empty() ? step : step + "/" + path;
    KSTRN_CloseItem(s);
  }
  KSTRN_GotoBookMark(mark, s);
  KSTRN_RemoveBookMark(mark, s);
  return path;
}

bool Go(KSTRN_SessionHandle s, const std::string& path) {
  KSTRN_GotoRoot(s);
  for (std::size_t at = 0; at < path.size();) {
    std::size_t end = path.find('/', at);
    if (end == std::string::npos) end = path.size();
    const std::string step = path.substr(at, end - at);
    const std::size_t dot = step.find('.');
    const auto tid = static_cast<uint16_t>(std::stoul(step.substr(0, dot)));
    const auto index = static_cast<int32_t>(std::stol(step.substr(dot + 1)));
    uint16_t count = 0;
    KSTRN_GetItemCount(tid, &count, s);
    if (index >= count || !KSTRN_OpenItem(tid, index, s)) return false;
    at = end + 1;
  }
  return true;
}

std::string Add(KSTRN_SessionHandle s, const std::string& parent, uint16_t tid, const char* name) {
  Go(s, parent);
  KSTRN_InsertItemBlocks(tid, 1, s);
  KSTRN_OpenItem(tid, -1, s);
  if (name != nullptr) KSTRN_InsertValue(2001, name, s);
  return Where(s);
}

}  // namespace kestron4::testing
