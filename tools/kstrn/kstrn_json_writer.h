// A streaming JSON writer: values go straight to the output, so a document as
// large as the session never sits in memory. Containers are laid out one
// member per line, or on one line when begun with oneLine. Indentation stops
// growing after kMaxIndentLevels, so a very deep tree does not spend most of
// its output on spaces.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "kstrn_output.h"

namespace kstrn::tool {

class JsonWriter {
 public:
  static constexpr std::size_t kMaxIndentLevels = 40;

  explicit JsonWriter(Output& out) : out_(out) {}

  void BeginObject(bool oneLine = false) { Open('{', oneLine); }
  void EndObject() { Close('}'); }
  void BeginArray(bool oneLine = false) { Open('[', oneLine); }
  void EndArray() { Close(']'); }
  // Names the next value of the current object.
  void Key(std::string_view key);
  // utf8 must be valid UTF-8.
  void String(std::string_view utf8);
  void Number(uint64_t value);
  void Bool(bool value);
  // A value that is already JSON text, such as a formatted number.
  void Raw(std::string_view json);
  // A string written in pieces that need no escaping (hex, base64).
  void BeginRawString();
  void RawPart(std::string_view text) { out_.Write(text); }
  void EndRawString() { out_.Put('"'); }
  // Ends the document with a newline.
  void Finish() { out_.Put('\n'); }

 private:
  struct Level {
    bool oneLine;
    bool empty;
  };
  void Open(char bracket, bool oneLine);
  void Close(char bracket);
  void BeforeValue();
  void NewLine(std::size_t depth);

  Output& out_;
  std::vector<Level> levels_;
  bool afterKey_ = false;
};

}  // namespace kstrn::tool
