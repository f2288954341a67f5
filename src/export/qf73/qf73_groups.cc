#include "export/qf73/qf73_groups.h"

#include "export/qf73/qf73_cursor_return.h"
#include "storage/streams/stream.h"

namespace kestron4::qf73 {

// The cursor returns to where the reference was followed from.
MaybeTarget Qf73Groups::Follow(uint16_t ref_no, Group group) {
  CursorReturn back(session_);
  if (follow_.Goto(ref_no) != ErrNone) return std::nullopt;
  const ItemBlock* block = session_.GetCurrentBlock();
  if (block == nullptr) return std::nullopt;
  const int g = static_cast<int>(group);
  auto& members = members_[g];
  auto& index = index_[g];
  if (const auto found = index.find(block); found != index.end())
    return Target{group, found->second};
  // Room first, so that a failed allocation cannot orphan a bookmark.
  if (members.size() == members.capacity()) members.reserve(members.size() * 2 + 16);
  const auto position = static_cast<uint32_t>(members.size());
  members.push_back({block, session_.AddBookMark()});
  index.emplace(block, position);
  return Target{group, position};
}

uint32_t Qf73Groups::Total() const {
  uint32_t total = 0;
  for (const auto& members : members_) total += static_cast<uint32_t>(members.size());
  return total;
}

void Qf73Groups::Visit(Group group, uint32_t index) {
  if (!session_.GotoBookMark(members_[static_cast<int>(group)].at(index).bookmark))
    throw EReadError();
}

uint16_t Qf73Groups::Number(const Target& target) const {
  uint32_t base = 0;
  for (int g = 0; g < static_cast<int>(target.group); ++g)
    base += static_cast<uint32_t>(members_[g].size());
  return static_cast<uint16_t>(base + target.index);
}

void Qf73Groups::Release() noexcept {
  for (auto& members : members_) {
    for (const Member& member : members) session_.RemoveBookMark(member.bookmark);
    members.clear();
  }
  for (auto& index : index_) index.clear();
}

}  // namespace kestron4::qf73
