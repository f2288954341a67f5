// The nesting both JSON forms of a tree share: a block is an object whose
// "items" array holds item objects, each with a "blocks" array of blocks.
#pragma once

#include <cstdint>
#include <vector>

#include "kstrn_json_writer.h"
#include "kstrn_walk.h"

namespace kstrn::tool {

class JsonNesting : public BlockVisitor {
 public:
  // An item object is left open by the subclass's EnterItem with its
  // "blocks" array begun; both close here.
  void LeaveItem(const BlockPath&, uint16_t) override {
    json_.EndArray();
    json_.EndObject();
  }

  void Leave(const BlockPath&) override {
    if (opened_.back()) json_.EndArray();
    opened_.pop_back();
    json_.EndObject();
  }

 protected:
  explicit JsonNesting(JsonWriter& json) : json_(json) {}

  // Begins the open block's "items" array when it has items; Leave ends it
  // and the block's object.
  void BeginItems(bool any) {
    if (any) {
      json_.Key("items");
      json_.BeginArray();
    }
    opened_.push_back(any);
  }

  JsonWriter& json_;

 private:
  std::vector<bool> opened_;  // per open block: whether "items" was begun
};

}  // namespace kstrn::tool
