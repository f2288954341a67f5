#include "kstrn_json_writer.h"

#include <algorithm>
#include <string>

#include "kstrn_text.h"

namespace kstrn::tool {

void JsonWriter::NewLine(std::size_t depth) {
  out_.Put('\n');
  static const std::string kSpaces(2 * kMaxIndentLevels, ' ');
  out_.Write(kSpaces.data(), 2 * std::min(depth, kMaxIndentLevels));
}

void JsonWriter::BeforeValue() {
  if (afterKey_) {
    afterKey_ = false;
    return;
  }
  if (levels_.empty()) return;
  Level& level = levels_.back();
  if (!level.empty) out_.Put(',');
  if (level.oneLine) {
    if (!level.empty) out_.Put(' ');
  } else {
    NewLine(levels_.size());
  }
  level.empty = false;
}

void JsonWriter::Open(char bracket, bool oneLine) {
  BeforeValue();
  out_.Put(bracket);
  const bool inherited = !levels_.empty() && levels_.back().oneLine;
  levels_.push_back({oneLine || inherited, true});
}

void JsonWriter::Close(char bracket) {
  const Level level = levels_.back();
  levels_.pop_back();
  if (!level.empty && !level.oneLine) NewLine(levels_.size());
  out_.Put(bracket);
}

void JsonWriter::Key(std::string_view key) {
  BeforeValue();
  out_.Write(JsonString(key));
  out_.Write(": ", 2);
  afterKey_ = true;
}

void JsonWriter::String(std::string_view utf8) {
  BeforeValue();
  out_.Write(JsonString(utf8));
}

void JsonWriter::Number(uint64_t value) {
  BeforeValue();
  out_.Write(std::to_string(value));
}

void JsonWriter::Bool(bool value) {
  BeforeValue();
  out_.Write(value ? "true" : "false");
}

void JsonWriter::Raw(std::string_view json) {
  BeforeValue();
  out_.Write(json);
}

void JsonWriter::BeginRawString() {
  BeforeValue();
  out_.Put('"');
}

}  // namespace kstrn::tool
