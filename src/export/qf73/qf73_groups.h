// The referenced items of an export: every item block a reference leads to
// is written once, as a numbered block in one of four groups. Blocks are
// numbered from 0 across the groups in the order A, B, C, D.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

#include "export/qf73/qf73_follow.h"
#include "session/abstract_session.h"

namespace kestron4::qf73 {

enum class Group : uint8_t { kA = 0, kB = 1, kC = 2, kD = 3 };

struct Target {
  Group group;
  uint32_t index;  // position in its group
};
using MaybeTarget = std::optional<Target>;

class Qf73Groups {
 public:
  Qf73Groups(AbstractSession& session, Qf73Follow& follow) : session_(session), follow_(follow) {}
  Qf73Groups(const Qf73Groups&) = delete;
  Qf73Groups& operator=(const Qf73Groups&) = delete;
  ~Qf73Groups() { Release(); }

  // Follows reference `ref_no` from the current item block and adds the
  // block it leads to to `group`, unless the group holds it already. The
  // cursor is back where it was afterwards. Nothing when the reference
  // cannot be followed.
  MaybeTarget Follow(uint16_t ref_no, Group group);

  uint32_t Size(Group group) const {
    return static_cast<uint32_t>(members_[static_cast<int>(group)].size());
  }
  uint32_t Total() const;

  // Moves the cursor to a member. Throws if its bookmark no longer leads
  // anywhere (the export does not change the session, so it always does).
  void Visit(Group group, uint32_t index);

  // The block number of a target once every group is complete.
  uint16_t Number(const Target& target) const;

  // Removes the bookmark of every member. Never throws.
  void Release() noexcept;

 private:
  struct Member {
    const ItemBlock* block;
    uint32_t bookmark;
  };

  AbstractSession& session_;
  Qf73Follow& follow_;
  std::array<std::vector<Member>, 4> members_;
  std::array<std::unordered_map<const ItemBlock*, uint32_t>, 4> index_;
};

}  // namespace kestron4::qf73
