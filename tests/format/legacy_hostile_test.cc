// Older logger files that cannot be converted: numbers outside the logger's
// tables, truncation, failing streams. Each must give code 1 and a session
// that still closes cleanly; none may read outside the file.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <vector>

#include "format/legacy/legacy_convert.h"
#include "format/legacy/legacy_reader.h"
#include "storage/streams/mem_ref_stream.h"
#include "support/legacy_file_builder.h"
#include "support/legacy_probe.h"

namespace kestron4::test {
namespace {

LegacyFileBuilder RichDataFile() {
  LegacyFileBuilder b(LegacyKind::kSecondDataV2);
  b.Channel(1, "Oil", 3)
      .Channel(2, "Boost", 9)
      .Sensor(3, "Oil Sens", 0, {1, 2, 3, 4})
      .TableSensor(9, "Sensor 9", 1, 2.0f, 0.0f, 5.0f)
      .Table(2, "Boost", {{1, 2}, {3, 4}, {5, 6}}, 0.5f)
      .Module(1, 9, std::vector<uint8_t>(40, 0xAA))
      .Module(2, 9, std::vector<uint8_t>(20, 0xBB))
      .RecordingLength(0, 9000)
      .Event({0x10, 0x20, 0x30, 0x01, 0x02, 0x03, 0x95, 1, 0, 1, 0, 1})
      .Event({0x10, 0x20, 0x30, 0x01, 0x02, 0x03, 0x05, 2, 0, 2, 0, 2});
  return b;
}

// The session must still answer after a failed conversion; destroying it
// (at the end of the caller's scope) must release everything.
void ExpectUsable(AbstractSession& s) {
  s.GotoRoot();
  EXPECT_LE(s.GetTypeCount(), 1);
  if (s.GetTypeCount() == 1) {
    EXPECT_EQ(s.OpenItem(2, 0), ErrNone);
  }
}

ErrorCode ConvertChecked(const LegacyFileBuilder& b,
                         std::unique_ptr<AbstractSession>* keep = nullptr) {
  LegacyResult r = ConvertBytes(b.Build(), b.FileType());
  ExpectUsable(*r.session);
  if (keep != nullptr) *keep = std::move(r.session);
  return r.code;
}

TEST(LegacyHostile, NumbersOutsideTheTablesAreRefused) {
  const struct { uint8_t channel, rate; ErrorCode code; } modules[] = {
      {0, 0, ErrFileAccess}, {132, 0, ErrFileAccess}, {255, 0, ErrFileAccess}, {131, 0, ErrNone},
      {1, 17, ErrFileAccess}, {1, 255, ErrFileAccess}, {1, 16, ErrNone}};
  for (const auto& m : modules) {
    LegacyFileBuilder b(LegacyKind::kSecondSetup);
    std::unique_ptr<AbstractSession> s;
    EXPECT_EQ(ConvertChecked(b.Module(m.channel, m.rate), &s), m.code)
        << int{m.channel} << "/" << int{m.rate};
    if (m.channel != 131) continue;
    // The last row of the table is reachable: channel 131 names "8 byte string".
    ASSERT_EQ(s->OpenItem(107, 0), ErrNone);
    ASSERT_EQ(s->OpenItem(112, 1), ErrNone);
    EXPECT_EQ(ProbeText(*s, 1002), "8 byte string");
  }
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const struct { float table; ErrorCode code; } tables[] = {
      {0.0f, ErrFileAccess},     {0.99f, ErrFileAccess}, {-1.0f, ErrFileAccess},
      {11.0f, ErrFileAccess},    {70000.0f, ErrFileAccess}, {nan, ErrFileAccess},
      {1.0f, ErrNone},           {10.0f, ErrNone},       {10.99f, ErrNone}};
  for (const auto& t : tables) {
    LegacyFileBuilder b(LegacyKind::kFirstSetup);
    b.Channel(1, "T", 4).TableSensor(4, "T", 0, t.table, 0.0f, 1.0f).Module(1, 0);
    EXPECT_EQ(ConvertChecked(b), t.code) << t.table;
  }
}

TEST(LegacyHostile, TruncatedFilesFailCleanly) {
  const LegacyFileBuilder b = RichDataFile();
  const uint64_t size = b.Build().size();
  // The last field the conversion needs is the last byte of the events;
  // after that only samples are missing, and those are cut.
  const uint64_t needed = 0x11FB + 2 * 12;
  std::vector<uint64_t> cuts = {0,      1,      11,         14,     15,     0x62D,
                                0xCFC,  0xCFD,  0x1135,     0x11F6, 0x11FA, 0x11FB,
                                needed - 1, needed, b.ModuleAddress(1), size - 1};
  for (uint64_t k = 0; k < needed; k += 29) cuts.push_back(k);
  for (uint64_t cut : cuts)
    EXPECT_EQ(ConvertChecked(LegacyFileBuilder(b).Truncate(cut)),
              cut < needed ? ErrFileAccess : ErrNone)
        << cut;
}

TEST(LegacyHostile, EveryFailingReadGivesCodeOneAndReadsAreFew) {
  const LegacyFileBuilder b = RichDataFile();
  const std::vector<uint8_t> file = b.Build();
  int successfulReads = 0;
  for (int failAt = 1; failAt < 100 && successfulReads == 0; ++failAt) {
    TMemRefStream memory(file.data(), static_cast<int64_t>(file.size()));
    CountingStream stream(memory, failAt);
    auto session = MakeSession(PolicyKind::kMemory);
    const ErrorCode code = ConvertLegacyFile(*session, stream, b.FileType());
    ExpectUsable(*session);
    if (stream.reads() < failAt) {  // nothing failed: the conversion is complete
      EXPECT_EQ(code, ErrNone);
      successfulReads = stream.reads();
    } else {
      EXPECT_EQ(code, ErrFileAccess) << failAt;
    }
  }
  // A file this small is read in one piece; larger ones cost one more read
  // per module.
  EXPECT_EQ(successfulReads, 1);
}

TEST(LegacyHostile, ReaderFieldsAcrossWindowsAndPastTheEnd) {
  std::vector<uint8_t> file(40000);
  for (std::size_t i = 0; i < file.size(); ++i) file[i] = static_cast<uint8_t>(i * 31 + 7);
  TMemRefStream memory(file.data(), static_cast<int64_t>(file.size()));
  CountingStream stream(memory, 0);
  legacy::LegacyReader in(stream);
  EXPECT_EQ(in.size(), file.size());
  EXPECT_EQ(in.U8(11), file[11]);
  EXPECT_EQ(in.U16(0xCFC), file[0xCFC] | file[0xCFD] << 8);
  EXPECT_EQ(in.U16BE(0x11F6), file[0x11F6] << 8 | file[0x11F7]);
  EXPECT_EQ(stream.reads(), 1);  // one window serves the whole setup area
  const uint64_t edge = legacy::LegacyReader::kWindow - 1;  // straddles two windows
  EXPECT_EQ(in.U16(edge), file[edge] | file[edge + 1] << 8);
  uint8_t run[5000];
  in.ReadRun(legacy::LegacyReader::kWindow * 2 - 100, run, sizeof run);
  EXPECT_EQ(0, std::memcmp(run, &file[legacy::LegacyReader::kWindow * 2 - 100], sizeof run));
  EXPECT_EQ(in.U8(file.size() - 1), file.back());
  EXPECT_THROW(in.U16(file.size() - 1), EReadError);
  EXPECT_THROW(in.U8(file.size()), EReadError);
  EXPECT_THROW(in.U8(UINT64_MAX), EReadError);
  EXPECT_THROW(in.ReadRun(file.size() - 10, run, 11), EReadError);
}

}  // namespace
}  // namespace kestron4::test
