// Room for one more element, had before the element itself is made, so that
// the push_back after it cannot fail and leak it. Grows by doubling: a
// reserve of exactly one more each time would copy the whole vector on
// every addition.
#pragma once

#include <vector>

namespace kestron4 {

template <class T>
void RoomForOneMore(std::vector<T>& v) {
  if (v.size() == v.capacity()) v.reserve(2 * v.size() + 8);
}

}  // namespace kestron4
