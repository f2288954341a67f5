#include "export/qf73_fixture.h"

#include <cstdio>
#include <cstring>

#include "export/qf73/qf73_export.h"
#include "session/session_factory.h"

namespace kestron4::testing_qf73 {

std::string Hex(const std::vector<uint8_t>& bytes) {
  std::string out;
  char digits[4];
  for (const uint8_t b : bytes) {
    std::snprintf(digits, sizeof digits, out.empty() ? "%02x" : " %02x", b);
    out += digits;
  }
  return out;
}

Qf73Parts SplitQf73(const std::vector<uint8_t>& file) {
  Qf73Parts parts;
  std::size_t pos = 16;
  const auto u16 = [&](uint16_t* v) {
    if (pos + 2 > file.size()) return false;
    *v = static_cast<uint16_t>(file[pos] | file[pos + 1] << 8);
    pos += 2;
    return true;
  };
  const auto u32 = [&](uint32_t* v) {
    uint16_t lo = 0, hi = 0;
    if (!u16(&lo) || !u16(&hi)) return false;
    *v = lo | static_cast<uint32_t>(hi) << 16;
    return true;
  };
  const auto blocks = [&](uint32_t count, std::vector<std::string>* out) {
    for (uint32_t i = 0, length = 0; i < count; ++i, pos += length) {
      if (!u32(&length) || length > file.size() - pos) return false;
      out->push_back(Hex({file.begin() + pos, file.begin() + pos + length}));
    }
    return true;
  };
  if (file.size() < 16 || std::memcmp(file.data(), "QF73 v3.00 file\x1a", 16) != 0) {
    parts.error = "bad magic";
    return parts;
  }
  uint16_t tid = 0, zero = 1;
  bool ok = u32(&parts.length) && u16(&tid) && tid == 143 && u16(&parts.modules) && u16(&tid);
  if (ok && tid == 163) ok = u16(&parts.named) && u16(&tid);
  ok = ok && tid == 105 && u16(&parts.sections) && u16(&tid) && tid == 107 &&
       u16(&parts.referenced) && u16(&zero) && zero == 0;
  if (!ok) {
    parts.error = "bad header";
  } else if (!blocks(parts.modules, &parts.module_blocks) ||
             !blocks(parts.named, &parts.named_blocks) ||
             !blocks(parts.sections, &parts.section_blocks) ||
             !blocks(parts.referenced, &parts.ref_blocks)) {
    parts.error = "blocks run past the end";
  }
  parts.trailer = pos;
  return parts;
}

void Qf73Fixture::SetUp() {
  session_ = MakeSession(PolicyKind::kMemory);
  ASSERT_NE(session_, nullptr);
}

void Qf73Fixture::Enter(Tid tid, std::initializer_list<Val> values) {
  ASSERT_TRUE(S().InsertItemBlocks(tid, 1));
  ASSERT_EQ(S().OpenItem(tid, -1), ErrNone);
  for (const Val& value : values) Put(value);
}

void Qf73Fixture::Put(const Val& value) {
  if (!value.blob) {
    S().InsertValue(value.tid, value.bytes.c_str(), 0);  // the TID's layout gives the size
    return;
  }
  const auto size = static_cast<uint32_t>(value.bytes.size());
  S().InsertValue(1066, &size, 0);
  S().InsertValue(1063, value.bytes.data(), size);
}

uint32_t Qf73Fixture::Mark(uint32_t id) {
  Put(V(kKey, id));
  return S().AddBookMark();
}

uint32_t Qf73Fixture::Target(Tid tid, uint32_t id, std::initializer_list<Val> values) {
  Enter(tid, values);
  const uint32_t mark = Mark(id);
  Leave();
  return mark;
}

void Qf73Fixture::Ref(uint16_t number, uint32_t target, const char* name) {
  ASSERT_EQ(S().CreateReference(target, number, kKey), ErrNone);
  if (name == nullptr) return;
  ASSERT_EQ(S().OpenItem(112, -1), ErrNone);
  Put(VText(1002, name));
  Leave();
}

void Qf73Fixture::RawRef(uint16_t number, Tid kind, uint32_t id, const char* name,
                         const char* alt_name) {
  Enter(112, {V(1052, number), V(1024, kind), V(kKey, id)});
  if (name != nullptr) Put(VText(1002, name));
  if (alt_name != nullptr) Put(VText(1064, alt_name));
  Leave();
}

void Qf73Fixture::SectionReferring(std::initializer_list<uint32_t> targets) {
  Enter(105);
  Enter(109);
  for (const uint32_t target : targets) {
    Enter(110);
    Ref(1, target);
    Leave();
  }
  Leave();
  Leave();
}

bool Qf73Fixture::Export() {
  const std::u16string path(path_.begin(), path_.end());
  return ExportQF73v3(S(), path.c_str());
}

std::vector<uint8_t> Qf73Fixture::ReadFile() const {
  const std::string bytes = ReadWholeFile(path_);
  return {bytes.begin(), bytes.end()};
}

Qf73Parts Qf73Fixture::ExportAndSplit() {
  EXPECT_TRUE(Export());
  const Qf73Parts parts = SplitQf73(ReadFile());
  EXPECT_EQ(parts.error, "");
  return parts;
}

}  // namespace kestron4::testing_qf73
