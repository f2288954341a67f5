// Files for the kstrn tests, built through the C++ wrapper or written byte
// by byte where a test needs what the library would never write.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "kestron4/kestron4.hpp"

namespace kestron4::cli {

// Builds a session with build, saves it to path and returns path. absRefs
// keeps the root's reference-mode value 1132.
std::string SaveBuilt(const std::string& path, const std::function<void(kstrn::Session&)>& build,
                      bool absRefs = false);

// One value of every layout and form: fixed values of 1..8 bytes (8-byte
// ones beyond what JSON numbers hold exactly), a TID without layout, UTF-8,
// Windows-1252 and binary strings, long strings, blobs with and without
// bytes, a lone 1063 and a lone 1066.
void BuildValueKinds(kstrn::Session& s);
// A chain of depth item blocks, each holding a number.
void BuildDeepChain(kstrn::Session& s, int depth);
// Item 100 with count blocks, each with a text and a number.
void BuildWide(kstrn::Session& s, int count);
// Item 100 block "Oil" referred to (reference 7) from item 107; when
// dangling, the target is deleted afterwards.
void BuildReferences(kstrn::Session& s, bool dangling);
// The smallest logger configuration the export writes: item 23 holding an
// empty item 105.
void BuildQf73Config(kstrn::Session& s);

// A container file of one root block with the given entry bytes (its end
// marker and children are part of body).
std::string Container(std::string_view body);

}  // namespace kestron4::cli
