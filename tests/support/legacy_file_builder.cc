#include "support/legacy_file_builder.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <stdexcept>

namespace kestron4::test {
namespace {

constexpr uint64_t kSettings = 0x62D;
constexpr uint64_t kModuleCount = 0xCFC;
constexpr uint64_t kModules = 0xCFD;
constexpr uint64_t kAddresses = 0x1135;
constexpr uint64_t kRecordingLength = 0x11F6;
constexpr uint64_t kEventCount = 0x11FA;
constexpr uint64_t kSetupEnd = kEventCount + 1;
constexpr uint32_t kLowestDataAddress = 21 * 256;

uint64_t ChannelAt(unsigned c) { return 8 + 13ull * c; }
uint64_t SensorAt(unsigned s) { return 0x613 + 29ull * s; }
uint64_t TableAt(unsigned t) { return 0xD15 + 96ull * t; }

void Check(bool ok, const char* what) {
  if (!ok) throw std::invalid_argument(what);
}

void PutName(std::vector<uint8_t>& f, uint64_t at, const std::string& name) {
  std::memset(&f[at], ' ', 12);
  std::memcpy(&f[at], name.data(), std::min<std::size_t>(name.size(), 12));
}

void PutU16(std::vector<uint8_t>& f, uint64_t at, uint16_t v) {
  f[at] = static_cast<uint8_t>(v);
  f[at + 1] = static_cast<uint8_t>(v >> 8);
}

void PutU16BE(std::vector<uint8_t>& f, uint64_t at, uint16_t v) {
  f[at] = static_cast<uint8_t>(v >> 8);
  f[at + 1] = static_cast<uint8_t>(v);
}

void PutFloat(std::vector<uint8_t>& f, uint64_t at, float v) {
  const auto bits = std::bit_cast<uint32_t>(v);
  for (int k = 0; k < 4; ++k) f[at + k] = static_cast<uint8_t>(bits >> (8 * k));
}

// Magic text and file type of each kind, in LegacyKind order.
struct KindInfo {
  const char* magic;
  uint16_t fileType;
};
constexpr KindInfo kKinds[] = {{"RB41 v1.00 stup fil", 1},
                               {"RB41 v1.01 data fil", 2},
                               {"RB42 v2.00 stup fil", 13},
                               {"RB42 v1.00 data fil", 14},
                               {"RB42 v2.00 data fil", 2}};

}  // namespace

std::array<uint8_t, 3> LegacyAddressBytes(bool fullHighByte, uint32_t address) {
  Check(address >= kLowestDataAddress, "data address below the setup");
  const uint32_t high = address / 256 - 21;
  const unsigned shift = fullHighByte ? 8 : 7;
  Check((high >> shift) <= 0xFF, "data address too far for the address bytes");
  return {static_cast<uint8_t>(high >> shift), static_cast<uint8_t>(high & ((1u << shift) - 1)),
          static_cast<uint8_t>(address)};
}

LegacyFileBuilder::LegacyFileBuilder(LegacyKind kind) : kind_(kind), setup_(kSetupEnd, 0) {
  std::memcpy(setup_.data(), kKinds[static_cast<int>(kind)].magic, 19);
  setup_[19] = 'e';
  setup_[20] = 0x1A;
  for (unsigned c = 1; c <= 120; ++c) Channel(c, "Chan " + std::to_string(c), 1);
  for (unsigned s = 1; s <= 60; ++s) Sensor(s, "Sensor " + std::to_string(s), 0, {1, 0, 0, 0});
  for (unsigned t = 1; t <= 10; ++t) Table(t, "Table " + std::to_string(t), {}, 1.0f);
}

uint16_t LegacyFileBuilder::FileType() const { return kKinds[static_cast<int>(kind_)].fileType; }

bool LegacyFileBuilder::IsData() const {
  return kind_ != LegacyKind::kFirstSetup && kind_ != LegacyKind::kSecondSetup;
}

LegacyFileBuilder& LegacyFileBuilder::Channel(unsigned c, const std::string& name, uint8_t sensor) {
  Check(c >= 1 && c <= 120, "channel record out of range");
  PutName(setup_, ChannelAt(c), name);
  setup_[ChannelAt(c) + 12] = sensor;
  return *this;
}

LegacyFileBuilder& LegacyFileBuilder::Sensor(unsigned s, const std::string& name,
                                             uint8_t sampleByte, std::array<float, 4> values) {
  Check(s >= 1 && s <= 60, "sensor record out of range");
  PutName(setup_, SensorAt(s), name);
  setup_[SensorAt(s) + 12] = sampleByte;
  for (unsigned k = 0; k < 4; ++k) PutFloat(setup_, SensorAt(s) + 13 + 4 * k, values[k]);
  return *this;
}

LegacyFileBuilder& LegacyFileBuilder::TableSensor(unsigned s, const std::string& name,
                                                  uint8_t sampleByte, float table, float minimum,
                                                  float maximum) {
  return Sensor(s, name, sampleByte, {0.0f, table, minimum, maximum});
}

LegacyFileBuilder& LegacyFileBuilder::Table(
    unsigned t, const std::string& name, const std::vector<std::pair<uint16_t, uint16_t>>& points,
    float scale) {
  Check(t >= 1 && t <= 10, "table record out of range");
  Check(points.size() <= 20, "a table holds 20 points");
  const uint64_t base = TableAt(t);
  std::fill(setup_.begin() + static_cast<std::ptrdiff_t>(base),
            setup_.begin() + static_cast<std::ptrdiff_t>(base + 96), 0);
  PutName(setup_, base, name);
  for (std::size_t j = 0; j < points.size(); ++j) {
    PutU16(setup_, base + 12 + 2 * j, points[j].first);
    PutU16(setup_, base + 52 + 2 * j, points[j].second);
  }
  PutFloat(setup_, base + 92, scale);
  return *this;
}

LegacyFileBuilder& LegacyFileBuilder::Settings(uint8_t byte, uint16_t value) {
  setup_[kSettings] = byte;
  PutU16(setup_, kSettings + 1, value);
  return *this;
}

LegacyFileBuilder& LegacyFileBuilder::Module(uint8_t channel, uint8_t rate,
                                             std::vector<uint8_t> samples) {
  Check(modules_.size() < 60, "room for 60 modules");
  modules_.push_back({channel, rate, std::move(samples)});
  return *this;
}

LegacyFileBuilder& LegacyFileBuilder::RecordingLength(uint16_t minutes, uint16_t milliseconds) {
  PutU16BE(setup_, kRecordingLength, minutes);
  PutU16BE(setup_, kRecordingLength + 2, milliseconds);
  return *this;
}

LegacyFileBuilder& LegacyFileBuilder::Event(const LegacyEventRecord& record) {
  Check(events_.size() < 255, "at most 255 events");
  events_.push_back(record);
  return *this;
}

LegacyFileBuilder& LegacyFileBuilder::DataStart(uint32_t address) {
  dataStart_ = address;
  return *this;
}

LegacyFileBuilder& LegacyFileBuilder::Poke(uint64_t offset, uint8_t byte) {
  pokes_[offset] = byte;
  return *this;
}

LegacyFileBuilder& LegacyFileBuilder::Truncate(uint64_t size) {
  truncate_ = size;
  return *this;
}

uint32_t LegacyFileBuilder::FirstDataAddress() const {
  const uint64_t eventsEnd = kSetupEnd + 12 * events_.size();
  if (dataStart_ != 0) {
    Check(dataStart_ >= eventsEnd, "samples would overlap the events");
    return dataStart_;
  }
  const uint64_t aligned = (eventsEnd + 255) / 256 * 256;
  return static_cast<uint32_t>(std::max<uint64_t>(aligned, kLowestDataAddress));
}

uint32_t LegacyFileBuilder::ModuleAddress(std::size_t i) const {
  uint64_t address = FirstDataAddress();
  for (std::size_t k = 0; k < i && k < modules_.size(); ++k) address += modules_[k].samples.size();
  Check(address <= UINT32_MAX, "samples too large");
  return static_cast<uint32_t>(address);
}

std::vector<uint8_t> LegacyFileBuilder::Build() const {
  std::vector<uint8_t> f = setup_;
  f[kModuleCount] = static_cast<uint8_t>(modules_.size());
  const bool full = kind_ == LegacyKind::kSecondDataV1;
  for (std::size_t i = 0; i < modules_.size(); ++i) {
    f[kModules + 2 * i] = modules_[i].channel;
    f[kModules + 2 * i + 1] = modules_[i].rate;
    const auto b = LegacyAddressBytes(full, ModuleAddress(i));
    std::copy(b.begin(), b.end(), f.begin() + static_cast<std::ptrdiff_t>(kAddresses + 3 * i));
  }
  if (IsData()) {
    f[kEventCount] = static_cast<uint8_t>(events_.size());
    for (const LegacyEventRecord& e : events_) f.insert(f.end(), e.begin(), e.end());
    f.resize(FirstDataAddress(), 0);
    for (const ModuleEntry& m : modules_) f.insert(f.end(), m.samples.begin(), m.samples.end());
  } else {
    f.resize(kRecordingLength);
  }
  for (const auto& [offset, byte] : pokes_) {
    if (offset >= f.size()) f.resize(offset + 1, 0);
    f[offset] = byte;
  }
  if (truncate_ < f.size()) f.resize(truncate_);
  return f;
}

}  // namespace kestron4::test
