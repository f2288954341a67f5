#include "recording/mdf4/mdf4_comments.h"

namespace kstrn::recording::mdf4 {

std::string XmlEscaped(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char ch : text) {
    switch (ch) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      case '\t': case '\n': case '\r': out += ch; break;
      default:
        if (static_cast<unsigned char>(ch) < 0x20) {
          out += "\xEF\xBF\xBD";
        } else {
          out += ch;
        }
    }
  }
  return out;
}

std::string CommentXml(std::string_view kind, std::string_view text,
                       const written::Properties& properties, std::string_view extra_xml) {
  std::string xml = "<" + std::string(kind) + "comment><TX>" + XmlEscaped(text) + "</TX>";
  xml += extra_xml;
  if (!properties.empty()) {
    xml += "<common_properties>";
    for (const auto& [name, value] : properties) {
      xml += "<e name=\"" + XmlEscaped(name) + "\">" + XmlEscaped(value) + "</e>";
    }
    xml += "</common_properties>";
  }
  xml += "</" + std::string(kind) + "comment>";
  return xml;
}

}  // namespace kstrn::recording::mdf4
