#include "session/edit/reference_values.h"

#include <cstring>

namespace kestron4 {

bool ReadU16Value(SessionCore& session, const Value& value, uint16_t* number) {
  uint8_t bytes[2];
  if (value.size < 2 || !session.ReadBytes(value, 0, bytes, 2)) return false;
  *number = static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
  return true;
}

const Value* EntryKeyValue(SessionCore& session, const ItemBlock* entry) {
  const Value* value = session.Values(entry);
  for (int position = 0; position < 3 && value != nullptr; ++position, value = value->next) {
    if (value->tid != kTidRefNumber && value->tid != kTidRefTarget) return value;
  }
  return nullptr;
}

bool ReadSearchKey(SessionCore& session, const ItemBlock* block, const Value& value,
                   SearchKey* key) {
  key->vtid = value.tid;
  key->bytes.clear();
  const uint32_t fixedSize = ValSize(value.tid, 0);
  if (!IsStringKind(value.tid) && fixedSize == 0) {
    key->bytes.push_back(0);
    return true;
  }
  if (!session.ReadPayload(block, value, &key->bytes)) return false;
  if (IsStringKind(value.tid)) {
    // A text cut without its NUL still ends where its bytes end.
    key->bytes.push_back(0);
  } else if (key->bytes.size() < fixedSize) {
    // The lookup reads a short stored value as if padded with zeros; the key
    // is read the same way so that both sides agree.
    key->bytes.resize(fixedSize, 0);
  }
  return true;
}

void AppendCanonicalKey(Tid vtid, const uint8_t* payload, std::size_t length, std::string* out) {
  const char* bytes = reinterpret_cast<const char*>(payload);
  if (IsStringKind(vtid)) {
    const void* nul = length == 0 ? nullptr : std::memchr(payload, 0, length);
    const std::size_t text =
        nul != nullptr ? static_cast<std::size_t>(static_cast<const uint8_t*>(nul) - payload)
                       : length;
    out->append(bytes, text);
    return;
  }
  const uint32_t fixedSize = ValSize(vtid, 0);
  const std::size_t take = length < fixedSize ? length : fixedSize;
  out->append(bytes, take);
  out->append(fixedSize - take, '\0');
}

}  // namespace kestron4
