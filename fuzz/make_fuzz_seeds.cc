// Writes the seed corpus of every fuzz target under the directory given on
// the command line (fuzz/corpus in the repository):
//
//   container_load/       containers saved by the library, a few hand-laid
//                         ones the writer never produces, one older file,
//                         recipes of wide blocks (container_load_fuzz.cc)
//   legacy_convert/       setup and data files of both older loggers
//   lzrw1kh_decompress/   compressed buffers of typical inputs
//   lzrw1kh_roundtrip/    the raw inputs
//   qf73_export/          a container without a configuration
//
// The output depends on nothing but this program, so regenerating gives the
// same files. The configuration seeds of qf73_export and the call sequences
// of session_sequence are committed files: every byte string is a valid
// input there, and the export's tests build their configurations
// themselves.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "format/lzrw1kh.h"
#include "kestron4/kestron4.h"
#include "support/legacy_file_builder.h"

namespace {

using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;
using kestron4::test::LegacyFileBuilder;
using kestron4::test::LegacyKind;

fs::path g_root;
bool g_failed = false;

void Write(const std::string& dir, const std::string& name, const Bytes& bytes) {
  fs::create_directories(g_root / dir);
  std::ofstream out(g_root / dir / name, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    std::fprintf(stderr, "cannot write %s/%s\n", dir.c_str(), name.c_str());
    g_failed = true;
  }
}

// Little-endian fields, appended one by one.
struct Raw {
  Bytes b;
  Raw& U8(uint8_t v) {
    b.push_back(v);
    return *this;
  }
  Raw& U16(uint16_t v) { return U8(static_cast<uint8_t>(v)).U8(static_cast<uint8_t>(v >> 8)); }
  Raw& U32(uint32_t v) { return U16(static_cast<uint16_t>(v)).U16(static_cast<uint16_t>(v >> 16)); }
  Raw& Text(const char* s) {
    for (; *s != '\0'; ++s) U8(static_cast<uint8_t>(*s));
    return *this;
  }
  Raw& Header() { return Text("KESTRON v1.00 file").U8(0x1A); }
};

Bytes Saved(KSTRN_SessionHandle s) {
  Bytes out(KSTRN_SaveSessionSize(s));
  if (!KSTRN_SaveSessionBuffer(out.data(), static_cast<uint32_t>(out.size()), s)) g_failed = true;
  KSTRN_CloseSession(s);
  return out;
}

KSTRN_SessionHandle NewSession() {
  KSTRN_SessionHandle s = nullptr;
  if (!KSTRN_NewSession(&s)) g_failed = true;
  return s;
}

void PutU32(uint16_t tid, uint32_t v, KSTRN_SessionHandle s) { KSTRN_InsertValue(tid, &v, s); }

// Values of every layout in the current block.
void PutValues(KSTRN_SessionHandle s, int salt) {
  PutU32(10000, 1000u + static_cast<uint32_t>(salt), s);
  const uint64_t wide = 0x0102030405060708ull * static_cast<uint64_t>(salt + 1);
  KSTRN_InsertValue(12000, &wide, s);
  const uint8_t small = static_cast<uint8_t>(salt);
  KSTRN_InsertValue(6000, &small, s);
  const uint16_t two = static_cast<uint16_t>(300 + salt);
  KSTRN_InsertValue(8000, &two, s);
  KSTRN_InsertValue(1002, "Plain name", s);
  KSTRN_InsertStringUTF8(2000,
                         "Gr\xC3\xBC\xC3\x9F"
                         "e",
                         s);
  KSTRN_InsertValue(4000, "A longer text kept with a two-byte length", s);
  const char blob[] = "blob bytes \x01\x02\x03";
  KSTRN_InsertData(sizeof blob, blob, s);
}

Bytes SmallTree() {
  const KSTRN_SessionHandle s = NewSession();
  PutValues(s, 0);
  KSTRN_InsertItemBlocks(100, 3, s);
  for (int i = 0; i < 3; ++i) {
    KSTRN_OpenItem(100, i, s);
    PutValues(s, i + 1);
    KSTRN_InsertItemBlocks(14000, 1, s);
    KSTRN_OpenItem(14000, 0, s);
    PutU32(10001, 7, s);
    KSTRN_CloseItem(s);
    KSTRN_CloseItem(s);
  }
  return Saved(s);
}

Bytes WithReferences() {
  const KSTRN_SessionHandle s = NewSession();
  const uint8_t mode = 1;
  KSTRN_InsertValue(1132, &mode, s);
  KSTRN_InsertItemBlocks(200, 2, s);
  uint32_t marks[2] = {};
  for (int i = 0; i < 2; ++i) {
    KSTRN_OpenItem(200, i, s);
    KSTRN_InsertValue(1002, i == 0 ? "Target one" : "Target two", s);
    PutU32(10000, static_cast<uint32_t>(i), s);
    KSTRN_AddBookMark(&marks[i], s);
    KSTRN_CloseItem(s);
  }
  KSTRN_InsertItemBlocks(300, 1, s);
  KSTRN_OpenItem(300, 0, s);
  KSTRN_CreateReference(marks[0], 1, 1002, s);
  KSTRN_CreateReference(marks[1], 2, 10000, s);
  return Saved(s);
}

Bytes DeepChain(int depth) {
  const KSTRN_SessionHandle s = NewSession();
  for (int i = 0; i < depth; ++i) {
    PutU32(10000, static_cast<uint32_t>(i), s);
    KSTRN_InsertItemBlocks(100, 1, s);
    KSTRN_OpenItem(100, 0, s);
  }
  return Saved(s);
}

Bytes WideBlock() {
  const KSTRN_SessionHandle s = NewSession();
  for (uint16_t i = 0; i < 40; ++i) {
    PutU32(static_cast<uint16_t>(10000 + i), i, s);
    KSTRN_InsertItemBlocks(static_cast<uint16_t>(100 + i), static_cast<uint16_t>(1 + i % 3), s);
  }
  Bytes big(1500);
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 31);
  KSTRN_InsertData(static_cast<uint32_t>(big.size()), big.data(), s);
  return Saved(s);
}

// Item entries between value entries, and a blob whose data entry comes
// before its size entry: both are read, neither is written by the library.
Bytes Interleaved() {
  Raw body;
  body.U16(10000).U32(5).U16(100).U16(1).U16(2000).U8(3).Text("ab").U8(0);
  body.U16(1063);                      // no size read yet: no bytes
  body.U16(1066).U32(4);               // later data entries take 4 bytes
  body.U16(1063).Text("xyzw").U16(0);  // a second data entry, then the end
  Raw child;
  child.U16(6000).U8(9).U16(0);
  Raw file;
  file.Header().U32(static_cast<uint32_t>(body.b.size() + 4 + child.b.size()));
  file.b.insert(file.b.end(), body.b.begin(), body.b.end());
  file.U32(static_cast<uint32_t>(child.b.size()));
  file.b.insert(file.b.end(), child.b.begin(), child.b.end());
  return file.b;
}

LegacyFileBuilder LegacySample(LegacyKind kind) {
  LegacyFileBuilder b(kind);
  b.Channel(1, "Oil Press", 1)
      .Sensor(1, "Oil 10 bar", 0, {0.01f, 0.0f, 0.0f, 10.0f})
      .Channel(25, "Water Temp", 2)
      .TableSensor(2, "Water", 1, 1.0f, -20.0f, 130.0f)
      .Table(1, "Water NTC", {{0, 130}, {60, 90}, {255, 0}}, 1.0f)
      .Settings(1, 500);
  if (b.IsData()) {
    Bytes wave(96);
    for (std::size_t i = 0; i < wave.size(); ++i) wave[i] = static_cast<uint8_t>(i * 5);
    b.Module(1, 6, wave)
        .Module(25, 9, Bytes(8, 0x40))
        .RecordingLength(0, 4000)
        .Event({0x50, 0x30, 0x15, 0x14, 0x05, 0x06, 0x98, 0x01, 0x00, 0x00, 0x01, 0xF4});
  } else {
    b.Module(1, 6).Module(25, 9);
  }
  return b;
}

Bytes Compressed(const Bytes& raw) {
  Bytes out(raw.size() + 1);
  const int32_t n =
      kestron4::Lzrw1khCompress(raw.data(), out.data(), static_cast<int32_t>(raw.size()));
  out.resize(static_cast<std::size_t>(n));
  return out;
}

Bytes CompressionInput(int kind) {
  Bytes b;
  const std::string text =
      "Channel 1 Oil Press; Channel 2 Water Temp; Channel 3 Wheel Spd; sample rate 50 ms. ";
  switch (kind) {
    case 0:
      for (int i = 0; i < 8; ++i) b.insert(b.end(), text.begin(), text.end());
      break;
    case 1:
      b.assign(3000, 'r');
      break;  // one long run
    case 2:
      for (int i = 0; i < 700; ++i) b.push_back(static_cast<uint8_t>((i * 2654435761u) >> 13));
      break;  // no repeats: kept stored
    default:
      for (int i = 0; i < 40; ++i)
        b.insert(b.end(), static_cast<std::size_t>(20 + i), static_cast<uint8_t>(i));
      b.insert(b.end(), text.begin(), text.end());
      b.insert(b.end(), text.begin(), text.end());
  }
  return b;
}

// A recipe of container_load_fuzz for a container with a wide root block:
// "BIG", flags (bit 0: values), count (u24), first TID index, step.
Bytes LargeBlockRecipe(bool values, uint32_t count, uint16_t first, uint16_t step) {
  Raw r;
  r.Text("BIG").U8(values ? 1 : 0).U16(static_cast<uint16_t>(count));
  r.U8(static_cast<uint8_t>(count >> 16)).U16(first).U16(step);
  return r.b;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <corpus directory>\n", argv[0]);
    return 2;
  }
  g_root = argv[1];

  Write("container_load", "empty", Saved(NewSession()));
  Write("container_load", "small-tree", SmallTree());
  Write("container_load", "references", WithReferences());
  Write("container_load", "deep-chain", DeepChain(60));
  Write("container_load", "wide-block", WideBlock());
  Write("container_load", "interleaved", Interleaved());
  Write("container_load", "legacy-setup", LegacySample(LegacyKind::kFirstSetup).Build());
  // The widest blocks a file may hold, and one entry too many.
  Write("container_load", "recipe-every-item", LargeBlockRecipe(false, 52535, 0, 1));
  Write("container_load", "recipe-values", LargeBlockRecipe(true, 2048, 0, 1));
  Write("container_load", "recipe-item-65537", LargeBlockRecipe(false, 65537, 0, 0));

  Write("legacy_convert", "first-setup", LegacySample(LegacyKind::kFirstSetup).Build());
  Write("legacy_convert", "first-data", LegacySample(LegacyKind::kFirstData).Build());
  Write("legacy_convert", "second-setup", LegacySample(LegacyKind::kSecondSetup).Build());
  Write("legacy_convert", "second-data-v1", LegacySample(LegacyKind::kSecondDataV1).Build());
  Write("legacy_convert", "second-data-v2", LegacySample(LegacyKind::kSecondDataV2).Build());

  for (int kind = 0; kind < 4; ++kind) {
    const std::string name = "input-" + std::to_string(kind);
    Write("lzrw1kh_roundtrip", name, CompressionInput(kind));
    Write("lzrw1kh_decompress", name, Compressed(CompressionInput(kind)));
  }
  Write("lzrw1kh_decompress", "container", Compressed(SmallTree()));

  Write("qf73_export", "small-tree", SmallTree());
  return g_failed ? 1 : 0;
}
