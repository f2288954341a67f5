// The MDF 4 writer's output read back by a small independent reader of the
// block layout: every link lands on a block of the expected kind, sizes
// and counts agree, and every record holds the samples it was given,
// across the ways of writing the data (plain, lists, compressed,
// transposed).
#include <gtest/gtest.h>
#include <zlib.h>

#include <cmath>
#include <cstring>
#include <string>

#include "recording/mdf4/mdf4_block.h"
#include "recording/mdf4/mdf4_data_blocks.h"
#include "recording/mdf4/mdf4_writer.h"
#include "recording/recording_writer_fixture.h"

namespace kstrn::recording {
namespace {

using testing::MakeRecording;
using testing::RecordingFixture;

uint64_t Le(const uint8_t* at, size_t width) {
  uint64_t v = 0;
  for (size_t i = 0; i < width; ++i) v |= uint64_t{at[i]} << (8 * i);
  return v;
}

struct ParsedBlock {
  std::string kind;
  std::vector<uint64_t> links;
  const uint8_t* data = nullptr;  // after the links
  uint64_t data_bytes = 0;
};

class Reader {
 public:
  explicit Reader(const std::vector<uint8_t>& file) : f_(file) {}

  ParsedBlock At(uint64_t offset, const std::string& kind) const {
    ParsedBlock b;
    EXPECT_EQ(offset % 8, 0u) << kind;
    if (offset % 8 != 0 || offset + 24 > f_.size()) {
      ADD_FAILURE() << kind << " outside the file at " << offset;
      return b;
    }
    const uint8_t* p = f_.data() + offset;
    b.kind.assign(reinterpret_cast<const char*>(p), 4);
    EXPECT_EQ(b.kind, "##" + kind);
    const uint64_t length = Le(p + 8, 8), count = Le(p + 16, 8);
    EXPECT_LE(offset + length, f_.size()) << kind;
    EXPECT_LE(24 + 8 * count, length) << kind;
    if (offset + length > f_.size() || 24 + 8 * count > length) return b;
    for (uint64_t i = 0; i < count; ++i) b.links.push_back(Le(p + 24 + 8 * i, 8));
    b.data = p + 24 + 8 * count;
    b.data_bytes = length - 24 - 8 * count;
    return b;
  }

  std::string Text(uint64_t offset, const std::string& kind = "TX") const {
    if (offset == 0) return "";
    const ParsedBlock b = At(offset, kind);
    return std::string(reinterpret_cast<const char*>(b.data), strnlen(reinterpret_cast<const char*>(b.data), b.data_bytes));
  }

  // The records behind a data group's data link.
  std::vector<uint8_t> Records(uint64_t link) const {
    std::vector<uint8_t> out;
    if (link == 0) return out;
    const std::string kind(reinterpret_cast<const char*>(f_.data() + link + 2), 2);
    if (kind == "DL") {
      for (uint64_t list = link; list != 0;) {
        const ParsedBlock dl = At(list, "DL");
        EXPECT_EQ(dl.data[0], 1) << "equal length";
        EXPECT_EQ(Le(dl.data + 4, 4), dl.links.size() - 1);
        for (size_t i = 1; i < dl.links.size(); ++i) {
          const std::vector<uint8_t> part = Records(dl.links[i]);
          const bool last = dl.links[0] == 0 && i + 1 == dl.links.size();
          if (!last) {
            EXPECT_EQ(part.size(), Le(dl.data + 8, 8)) << "equal length";
          }
          out.insert(out.end(), part.begin(), part.end());
        }
        list = dl.links[0];
      }
      return out;
    }
    if (kind == "DT") {
      const ParsedBlock dt = At(link, "DT");
      return {dt.data, dt.data + dt.data_bytes};
    }
    const ParsedBlock dz = At(link, "DZ");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(dz.data), 2), "DT");
    const uint8_t zip = dz.data[2];
    const uint64_t columns = Le(dz.data + 4, 4), original = Le(dz.data + 8, 8), packed = Le(dz.data + 16, 8);
    EXPECT_EQ(24 + packed, dz.data_bytes);
    std::vector<uint8_t> plain(original);
    uLongf size = original;
    EXPECT_EQ(uncompress(plain.data(), &size, dz.data + 24, packed), Z_OK);
    EXPECT_EQ(size, original);
    if (zip == 1) {
      std::vector<uint8_t> rows(original);
      const uint64_t n = original / columns;
      for (uint64_t r = 0; r < n; ++r)
        for (uint64_t c = 0; c < columns; ++c) {
          rows[r * columns + c] = plain[c * n + r];
        }
      std::memcpy(rows.data() + n * columns, plain.data() + n * columns, original - n * columns);
      return rows;
    }
    EXPECT_EQ(zip, 0);
    return plain;
  }

 private:
  const std::vector<uint8_t>& f_;
};

struct WriteCase {
  const char* name;
  bool compress;
  bool transpose;
  bool float_time;
  size_t block_bytes;
  size_t list_links;
};

void PrintTo(const WriteCase& c, std::ostream* os) { *os << c.name; }

class Mdf4WriterTest : public ::testing::TestWithParam<WriteCase> {};

void CheckFile(const RecordingFixture& rec, const std::vector<uint8_t>& file, const WriteCase& how) {
  Reader read(file);
  ASSERT_GE(file.size(), 64u + 104u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(file.data()), 16), "MDF     4.10    ");
  EXPECT_EQ(Le(file.data() + 28, 2), 410u);
  const ParsedBlock hd = read.At(64, "HD");
  ASSERT_EQ(hd.links.size(), 6u);
  EXPECT_EQ(static_cast<int64_t>(Le(hd.data, 8)), *rec.data.start_ns);
  EXPECT_EQ(hd.data[12] & 1, 1) << "local time";
  read.At(hd.links[1], "FH");
  EXPECT_NE(read.Text(hd.links[5], "MD").find("<HDcomment>"), std::string::npos);

  uint64_t dg_at = hd.links[0];
  for (size_t g = 0; g < rec.data.groups.size(); ++g) {
    SCOPED_TRACE("group " + std::to_string(g));
    ASSERT_NE(dg_at, 0u);
    const written::WrittenGroup& group = rec.data.groups[g];
    const ParsedBlock dg = read.At(dg_at, "DG");
    const ParsedBlock cg = read.At(dg.links[1], "CG");
    uint64_t cycles = 0;
    for (const auto& c : group.channels) cycles = std::max(cycles, c.samples);
    EXPECT_EQ(Le(cg.data + 8, 8), cycles);
    const uint64_t data_bytes = Le(cg.data + 24, 4), inval_bytes = Le(cg.data + 28, 4);
    const uint64_t record = data_bytes + inval_bytes;

    // The master channel, then the channels in order.
    ParsedBlock cn = read.At(cg.links[1], "CN");
    EXPECT_EQ(cn.data[0], 2);
    EXPECT_EQ(cn.data[1], 1);
    EXPECT_EQ(read.Text(cn.links[2]), "time");
    const uint32_t time_bits = static_cast<uint32_t>(Le(cn.data + 8, 4));
    EXPECT_EQ(cn.data[2], how.float_time ? 4 : 0);
    if (!how.float_time) {
      const ParsedBlock cc = read.At(cn.links[4], "CC");
      EXPECT_EQ(cc.data[0], 1);
      double factor;
      std::memcpy(&factor, cc.data + 32, 8);
      EXPECT_DOUBLE_EQ(factor, group.period_ns * 1e-9);
    }
    const std::vector<uint8_t> records = read.Records(dg.links[2]);
    ASSERT_EQ(records.size(), cycles * record);
    for (uint64_t r = 0; r < cycles; ++r) {
      const uint8_t* at = records.data() + r * record;
      if (how.float_time) {
        double t;
        std::memcpy(&t, at, 8);
        ASSERT_DOUBLE_EQ(t, static_cast<double>(group.first_tick + r) * (group.period_ns * 1e-9));
      } else {
        ASSERT_EQ(Le(at, time_bits / 8), group.first_tick + r);
      }
    }
    uint64_t next = cn.links[0];
    for (size_t c = 0; c < group.channels.size(); ++c) {
      const written::WrittenChannel& channel = group.channels[c];
      SCOPED_TRACE(channel.name);
      ASSERT_NE(next, 0u);
      cn = read.At(next, "CN");
      EXPECT_EQ(read.Text(cn.links[2]), channel.name);
      EXPECT_EQ(read.Text(read.At(cn.links[3], "SI").links[0]), channel.source);
      EXPECT_EQ(read.Text(cn.links[6]), channel.unit);
      const uint64_t offset = Le(cn.data + 4, 4), bits = Le(cn.data + 8, 4);
      EXPECT_EQ(bits, 8u * channel.sample_bytes);
      const bool invalidated = (Le(cn.data + 12, 4) & 2) != 0;
      EXPECT_EQ(invalidated, channel.samples < cycles);
      const uint64_t bit = Le(cn.data + 16, 4);
      for (uint64_t r = 0; r < cycles; ++r) {
        const uint8_t* at = records.data() + r * record;
        if (r < channel.samples) {
          ASSERT_EQ(Le(at + offset, channel.sample_bytes), rec.Sample(g, c, r)) << "record " << r;
        }
        if (invalidated) {
          ASSERT_EQ((at[data_bytes + bit / 8] >> (bit % 8)) & 1, r >= channel.samples ? 1 : 0);
        }
      }
      if (!channel.table.empty()) {
        const ParsedBlock cc = read.At(cn.links[4], "CC");
        EXPECT_EQ(cc.data[0], 4);
        EXPECT_EQ(read.Text(cc.links[0]), channel.table_name);
        ASSERT_EQ(Le(cc.data + 6, 2), 2 * channel.table.size());
        for (size_t k = 0; k < channel.table.size(); ++k) {
          double raw, physical;
          std::memcpy(&raw, cc.data + 24 + 16 * k, 8);
          std::memcpy(&physical, cc.data + 32 + 16 * k, 8);
          EXPECT_EQ(raw, channel.table[k].raw);
          EXPECT_EQ(physical, channel.table[k].physical);
        }
        EXPECT_NE(read.Text(cn.links[7], "MD").find("a &lt;table&gt; &amp; &quot;more&quot;"), std::string::npos);
      } else {
        EXPECT_EQ(cn.links[4], 0u);
      }
      next = cn.links[0];
    }
    EXPECT_EQ(next, 0u);
    dg_at = dg.links[0];
  }
  EXPECT_EQ(dg_at, 0u);

  uint64_t ev_at = hd.links[4];
  for (const written::WrittenEvent& event : rec.data.events) {
    const ParsedBlock ev = read.At(ev_at, "EV");
    EXPECT_EQ(read.Text(ev.links[3]), event.name);
    double factor;
    std::memcpy(&factor, ev.data + 24, 8);
    EXPECT_DOUBLE_EQ(static_cast<double>(static_cast<int64_t>(Le(ev.data + 16, 8))) * factor, event.time_s);
    ev_at = ev.links[0];
  }
  EXPECT_EQ(ev_at, 0u);
}

TEST_P(Mdf4WriterTest, ReadsBackEveryRecord) {
  const WriteCase& how = GetParam();
  // Two channels of one period but different lengths (invalidation bits),
  // widths 1, 2, 4 and 8, a table, an empty group.
  RecordingFixture rec = MakeRecording({
      {1000000, {{2, 5003}, {1, 4990, true}, {8, 5003}}},
      {10000000, {{4, 777}, {2, 777, true}}},
      {100000000, {{2, 0}}},
  });
  rec.data.groups[1].first_tick = 4000;  // a window that starts later
  mdf4::Mdf4Options options;
  options.blocks.compress = how.compress;
  options.blocks.transpose = how.transpose;
  options.blocks.list_links = how.list_links;
  options.float_time = how.float_time;
  options.block_bytes = how.block_bytes;
  testing::VectorSink stream;
  mdf4::WriteMdf4(rec.data, *rec.source, stream, options);
  CheckFile(rec, stream.bytes, how);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, Mdf4WriterTest,
    ::testing::Values(WriteCase{"one_block", false, false, false, size_t{1} << 20, 1024},
                      WriteCase{"lists", false, false, false, 1000, 1024},
                      WriteCase{"chained_lists", false, false, true, 1000, 3},
                      WriteCase{"deflate", true, false, false, 4096, 1024},
                      WriteCase{"transposed", true, true, false, 4096, 2},
                      WriteCase{"transposed_float_time", true, true, true, 1 << 20, 1024}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(Mdf4Block, LengthAndPadding) {
  struct Case { const char* text; uint64_t length; };
  // Text blocks count their zero padding; the terminator is always there.
  for (const Case c : {Case{"", 32}, Case{"1234567", 32}, Case{"12345678", 40}}) {
    const std::vector<uint8_t> tx = mdf4::TextBlock("TX", c.text);
    EXPECT_EQ(tx.size(), c.length) << c.text;
    EXPECT_EQ(Le(tx.data() + 8, 8), c.length) << c.text;
    EXPECT_EQ(tx[24 + std::strlen(c.text)], 0);
  }
  // Other blocks count only their bytes; the padding follows.
  mdf4::Block block("SI", 3);
  block.Link(2, 0x1122334455667788).U8(1).U8(2).U8(3);
  const auto bytes = block.Finish();
  EXPECT_EQ(bytes.size(), 56u);
  EXPECT_EQ(Le(bytes.data() + 8, 8), 24u + 24u + 3u);
  EXPECT_EQ(Le(bytes.data() + 16, 8), 3u);
  EXPECT_EQ(Le(bytes.data() + 40, 8), 0x1122334455667788u);
}

TEST(Mdf4Transpose, RowsBecomeColumnsAndTheRestFollows) {
  for (const size_t columns : {1, 3, 8}) {
    for (const size_t size : {0, 1, 7, 24, 25, 101}) {
      std::vector<uint8_t> in(size), out(size);
      for (size_t i = 0; i < size; ++i) in[i] = static_cast<uint8_t>(i * 7 + 1);
      mdf4::Transpose(in, columns, out.data());
      const size_t rows = size / columns;
      for (size_t i = 0; i < size; ++i) {
        const size_t expected = i < rows * columns ? (i % rows) * columns + i / rows : i;
        ASSERT_EQ(out[i], in[expected]) << columns << " " << size << " " << i;
      }
    }
  }
}

TEST(Mdf4Writer, RefusesABrokenDescriptionBeforeWriting) {
  RecordingFixture rec = MakeRecording({{1000000, {{2, 10, true}}}});
  rec.data.groups[0].channels[0].table[2].raw = 100;  // not increasing
  testing::VectorSink stream;
  EXPECT_THROW(mdf4::WriteMdf4(rec.data, *rec.source, stream), std::invalid_argument);
  EXPECT_TRUE(stream.bytes.empty());
  for (const double bad : {std::nan(""), 1e300}) {
    rec = MakeRecording({{1000000, {{2, 10}}}});
    rec.data.events[0].time_s = bad;
    EXPECT_THROW(mdf4::WriteMdf4(rec.data, *rec.source, stream), std::invalid_argument);
  }
  rec = MakeRecording({{1000000, {{3, 10}}}});
  EXPECT_THROW(mdf4::WriteMdf4(rec.data, *rec.source, stream), std::invalid_argument);
}

}  // namespace
}  // namespace kstrn::recording
