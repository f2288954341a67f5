#include "format/legacy/legacy_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "storage/streams/mem_ref_stream.h"
#include "support/legacy_probe.h"

namespace kestron4::legacy {
namespace {

TEST(LegacyReader, FieldsAcrossWindowsAndPastTheEnd) {
  std::vector<uint8_t> file(40000);
  for (std::size_t i = 0; i < file.size(); ++i) file[i] = static_cast<uint8_t>(i * 31 + 7);
  TMemRefStream memory(file.data(), static_cast<int64_t>(file.size()));
  test::CountingStream stream(memory, 0);
  LegacyReader in(stream);
  EXPECT_EQ(in.size(), file.size());

  EXPECT_EQ(in.U8(11), file[11]);
  EXPECT_EQ(in.U16(0xCFC), file[0xCFC] | file[0xCFD] << 8);
  EXPECT_EQ(in.U16BE(0x11F6), file[0x11F6] << 8 | file[0x11F7]);
  EXPECT_EQ(stream.reads(), 1);  // one window serves the whole setup area

  const uint64_t edge = LegacyReader::kWindow - 1;  // straddles two windows
  EXPECT_EQ(in.U16(edge), file[edge] | file[edge + 1] << 8);
  uint8_t run[5000];
  in.ReadRun(LegacyReader::kWindow * 2 - 100, run, sizeof run);
  EXPECT_EQ(0, std::memcmp(run, &file[LegacyReader::kWindow * 2 - 100], sizeof run));

  EXPECT_EQ(in.U8(file.size() - 1), file.back());
  EXPECT_THROW(in.U16(file.size() - 1), EReadError);
  EXPECT_THROW(in.U8(file.size()), EReadError);
  EXPECT_THROW(in.U8(UINT64_MAX), EReadError);
  EXPECT_THROW(in.ReadRun(file.size() - 10, run, 11), EReadError);
}

}  // namespace
}  // namespace kestron4::legacy
