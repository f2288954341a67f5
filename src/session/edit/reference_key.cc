#include "session/edit/reference_key.h"

#include <cstring>

#include "session/edit/reference_values.h"
#include "text/text_codec.h"

namespace kestron4 {
namespace {

// Data keys are compared in pieces, so that a large blob or one in an outside
// file never needs a second copy in memory.
constexpr std::size_t kDataChunk = 64 * 1024;

std::string_view TextOf(const std::vector<uint8_t>& payload) {
  const char* bytes = reinterpret_cast<const char*>(payload.data());
  const void* nul = payload.empty() ? nullptr : std::memchr(bytes, 0, payload.size());
  const std::size_t length = nul != nullptr
                                 ? static_cast<std::size_t>(static_cast<const char*>(nul) - bytes)
                                 : payload.size();
  return std::string_view(bytes, length);
}

// The UTF-8 mark: the byte 3 right after the text's NUL.
bool Marked(const std::vector<uint8_t>& payload, std::string_view text) {
  const std::size_t k = text.size();
  return k + 1 < payload.size() && payload[k + 1] == 3;
}

}  // namespace

ErrorCode KeyMatcher::Load(SessionCore& session, const ItemBlock* block, Tid tid) {
  if (block == nullptr) return ErrInvalidSession;
  const Value* value = session.FindValue(block, tid);
  if (value == nullptr) return ErrValueNotFound;
  uint32_t length = 0;
  if (!session.PayloadLength(block, *value, &length)) return ErrDataSize;
  if (!session.ReadPayload(block, *value, &key_)) return ErrFileAccess;
  tid_ = tid;
  keyAsUtf8Ready_ = false;
  canonical_.clear();
  if (tid == kTidData) return ErrNone;
  if (IsStringKind(tid)) {
    keyText_ = TextOf(key_);
    keyMarked_ = Marked(key_, keyText_);
  } else {
    AppendCanonicalKey(tid, key_.data(), key_.size(), &canonical_);
  }
  return ErrNone;
}

bool KeyMatcher::Matches(SessionCore& session, const ItemBlock* entry) {
  const Value* value = session.FindValue(entry, tid_);
  if (value == nullptr) return false;
  if (tid_ == kTidData) return DataMatches(session, entry, *value);
  if (!session.ReadPayload(entry, *value, &scratch_)) return false;
  if (IsStringKind(tid_)) {
    const std::string_view text = TextOf(scratch_);
    return TextMatches(text, Marked(scratch_, text));
  }
  converted_.clear();
  AppendCanonicalKey(tid_, scratch_.data(), scratch_.size(), &converted_);
  return converted_ == canonical_;
}

bool KeyMatcher::TextMatches(std::string_view text, bool marked) {
  if (marked == keyMarked_) return text == keyText_;
  if (keyMarked_) {
    converted_ = Cp1252ToUtf8(text);
    return converted_ == keyText_;
  }
  if (!keyAsUtf8Ready_) {
    keyAsUtf8_ = Cp1252ToUtf8(keyText_);
    keyAsUtf8Ready_ = true;
  }
  return text == keyAsUtf8_;
}

bool KeyMatcher::DataMatches(SessionCore& session, const ItemBlock* entry, const Value& value) {
  // The same length rule as reading the payload: what the size value claims,
  // but never more than the blob holds.
  uint32_t claimed = 0;
  if (!session.PayloadLength(entry, value, &claimed)) return false;
  const uint64_t length = claimed < value.size ? claimed : value.size;
  if (length != key_.size()) return false;
  scratch_.resize(length < kDataChunk ? length : kDataChunk);
  for (uint64_t done = 0; done < length;) {
    const uint64_t piece = length - done < kDataChunk ? length - done : kDataChunk;
    if (!session.ReadBytes(value, done, scratch_.data(), piece)) return false;
    if (std::memcmp(scratch_.data(), key_.data() + done, piece) != 0) return false;
    done += piece;
  }
  return true;
}

}  // namespace kestron4
