// The XML of MDF comment (MD) blocks: a text and the name/value pairs that
// have no field of their own, as <common_properties>.
#pragma once

#include <string>
#include <string_view>

#include "recording/writer_input/recorded_data.h"

namespace kstrn::recording::mdf4 {

// <{kind}comment><TX>text</TX><common_properties><e name="..">..</e>...
// </common_properties></{kind}comment>; kind is "HD", "CN", "EV", ...
std::string CommentXml(std::string_view kind, std::string_view text,
                       const written::Properties& properties, std::string_view extra_xml = {});

// text with &, <, >, " and ' escaped; control characters XML cannot hold
// (all below 0x20 but tab, line feed and carriage return) become U+FFFD.
std::string XmlEscaped(std::string_view text);

}  // namespace kstrn::recording::mdf4
