#include "export/qf73_fixture.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "export/qf73/qf73_export.h"
#include "session/session_factory.h"

namespace kestron4::testing_qf73 {

Bytes& Bytes::U8(uint8_t v) {
  bytes_.push_back(v);
  return *this;
}

Bytes& Bytes::U16(uint16_t v) { return U8(static_cast<uint8_t>(v)).U8(static_cast<uint8_t>(v >> 8)); }

Bytes& Bytes::U32(uint32_t v) {
  return U16(static_cast<uint16_t>(v)).U16(static_cast<uint16_t>(v >> 16));
}

Bytes& Bytes::Raw(std::initializer_list<uint8_t> bytes) {
  bytes_.insert(bytes_.end(), bytes);
  return *this;
}

Bytes& Bytes::Raw(const void* data, std::size_t size) {
  const auto* p = static_cast<const uint8_t*>(data);
  bytes_.insert(bytes_.end(), p, p + size);
  return *this;
}

Bytes& Bytes::F64(double v) { return Raw(&v, sizeof v); }

Bytes& Bytes::Text(Tid tid, const char* text) {
  const std::size_t size = std::strlen(text) + 1;
  return U16(tid).U8(static_cast<uint8_t>(size)).Raw(text, size);
}

Bytes& Bytes::Record(const char* name, uint16_t block, uint16_t number) {
  return Text(1039, name).Tag16(8000, block).Tag16(1052, number);
}

Bytes& Bytes::Block(const Bytes& content) {
  return U32(static_cast<uint32_t>(content.bytes_.size())).Append(content);
}

Bytes& Bytes::Append(const Bytes& more) {
  bytes_.insert(bytes_.end(), more.bytes_.begin(), more.bytes_.end());
  return *this;
}

std::string Hex(const std::vector<uint8_t>& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i != 0) out += ' ';
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 15];
  }
  return out;
}

namespace {

class Splitter {
 public:
  explicit Splitter(const std::vector<uint8_t>& file) : file_(file) {}
  bool U16(uint16_t* v) {
    if (pos_ + 2 > file_.size()) return false;
    *v = static_cast<uint16_t>(file_[pos_] | file_[pos_ + 1] << 8);
    pos_ += 2;
    return true;
  }
  bool U32(uint32_t* v) {
    uint16_t lo = 0, hi = 0;
    if (!U16(&lo) || !U16(&hi)) return false;
    *v = lo | static_cast<uint32_t>(hi) << 16;
    return true;
  }
  bool Blocks(uint32_t count, std::vector<std::vector<uint8_t>>* out) {
    for (uint32_t i = 0; i < count; ++i) {
      uint32_t length = 0;
      if (!U32(&length) || length > file_.size() - pos_) return false;
      out->emplace_back(file_.begin() + pos_, file_.begin() + pos_ + length);
      pos_ += length;
    }
    return true;
  }
  std::size_t pos_ = 0;

 private:
  const std::vector<uint8_t>& file_;
};

}  // namespace

Qf73Parts SplitQf73(const std::vector<uint8_t>& file) {
  Qf73Parts parts;
  static const char kMagic[] = "QF73 v3.00 file\x1a";
  if (file.size() < 16 || std::memcmp(file.data(), kMagic, 16) != 0) {
    parts.error = "bad magic";
    return parts;
  }
  Splitter in(file);
  in.pos_ = 16;
  uint16_t tid = 0, zero = 1;
  bool ok = in.U32(&parts.length) && in.U16(&tid) && tid == 143 && in.U16(&parts.modules) &&
            in.U16(&tid);
  if (ok && tid == 163) {
    parts.named_pair = true;
    ok = in.U16(&parts.named) && in.U16(&tid);
  }
  ok = ok && tid == 105 && in.U16(&parts.sections) && in.U16(&tid) && tid == 107 &&
       in.U16(&parts.referenced) && in.U16(&zero) && zero == 0;
  if (!ok) {
    parts.error = "bad header";
    return parts;
  }
  if (!in.Blocks(parts.modules, &parts.module_blocks) ||
      !in.Blocks(parts.named, &parts.named_blocks) ||
      !in.Blocks(parts.sections, &parts.section_blocks) ||
      !in.Blocks(parts.referenced, &parts.ref_blocks)) {
    parts.error = "blocks run past the end";
    return parts;
  }
  parts.trailer = in.pos_;
  return parts;
}

void Qf73Fixture::SetUp() {
  session_ = MakeSession(PolicyKind::kMemory);
  ASSERT_NE(session_, nullptr);
  char templ[] = "/tmp/qf73_test_XXXXXX";
  ASSERT_NE(mkdtemp(templ), nullptr);
  dir_ = templ;
  path_ = dir_ + "/config.qf73";
  path16_.assign(path_.begin(), path_.end());
}

void Qf73Fixture::TearDown() {
  std::remove(path_.c_str());
  rmdir(dir_.c_str());
}

void Qf73Fixture::Enter(Tid tid) {
  ASSERT_TRUE(S().InsertItemBlocks(tid, 1));
  ASSERT_EQ(S().OpenItem(tid, -1), ErrNone);
}

void Qf73Fixture::PutBytes(Tid tid, std::initializer_list<uint8_t> bytes) {
  const std::vector<uint8_t> copy(bytes);
  S().InsertValue(tid, copy.data(), 0);
}

void Qf73Fixture::PutData(const std::string& bytes) {
  const auto size = static_cast<uint32_t>(bytes.size());
  S().InsertValue(1066, &size, 0);
  S().InsertValue(1063, bytes.data(), size);
}

uint32_t Qf73Fixture::Target(uint32_t id) {
  Put32(kKey, id);
  return S().AddBookMark();
}

void Qf73Fixture::Ref(uint16_t number, uint32_t target, const char* name) {
  ASSERT_EQ(S().CreateReference(target, number, kKey), ErrNone);
  if (name == nullptr) return;
  ASSERT_EQ(S().OpenItem(112, -1), ErrNone);
  PutText(1002, name);
  Leave();
}

void Qf73Fixture::RawRef(uint16_t number, Tid kind, uint32_t id, const char* name,
                         const char* alt_name) {
  Enter(112);
  Put16(1052, number);
  Put16(1024, kind);
  Put32(kKey, id);
  if (name != nullptr) PutText(1002, name);
  if (alt_name != nullptr) PutText(1064, alt_name);
  Leave();
}

bool Qf73Fixture::Export() { return ExportQF73v3(S(), path16_.c_str()); }

std::vector<uint8_t> Qf73Fixture::ReadFile() const {
  std::ifstream in(path_, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool Qf73Fixture::FileExists() const {
  struct stat st;
  return stat(path_.c_str(), &st) == 0;
}

Qf73Parts Qf73Fixture::ExportAndSplit() {
  EXPECT_TRUE(Export());
  const Qf73Parts parts = SplitQf73(ReadFile());
  EXPECT_EQ(parts.error, "");
  return parts;
}

}  // namespace kestron4::testing_qf73
