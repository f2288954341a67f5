// Generator of synthetic setup and data files of the two older logger
// generations, laid out as src/format/legacy/legacy_layout.h describes. A new
// builder holds a blank setup as the logger's tool writes it: default names
// ("Sensor 7", "Table 3"), no modules, no events. Tests then set the records
// they care about and may poke single bytes to make the file hostile.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace kestron4::test {

enum class LegacyKind : uint8_t {
  kFirstSetup,    // file type 1
  kFirstData,     // file type 2
  kSecondSetup,   // file type 13
  kSecondDataV1,  // file type 14: module addresses use all of b0
  kSecondDataV2,  // file type 2
};

// One 12-byte event record as stored.
using LegacyEventRecord = std::array<uint8_t, 12>;

class LegacyFileBuilder {
 public:
  explicit LegacyFileBuilder(LegacyKind kind);

  uint16_t FileType() const;
  bool IsData() const;

  // Channel c (1..120): its name and the sensor number it uses.
  LegacyFileBuilder& Channel(unsigned c, const std::string& name, uint8_t sensor);
  // Sensor s (1..60). sampleByte 0 means two-byte samples.
  LegacyFileBuilder& Sensor(unsigned s, const std::string& name, uint8_t sampleByte,
                            std::array<float, 4> values);
  // Sensor s as a table sensor: first float 0.0, then table, minimum, maximum.
  LegacyFileBuilder& TableSensor(unsigned s, const std::string& name, uint8_t sampleByte,
                                 float table, float minimum, float maximum);
  // Table t (1..10) with up to 20 (x, y) points; the rest stay zero.
  LegacyFileBuilder& Table(unsigned t, const std::string& name,
                           const std::vector<std::pair<uint16_t, uint16_t>>& points, float scale);
  LegacyFileBuilder& Settings(uint8_t byte, uint16_t value);
  // Appends a module (at most 60). In a data file its samples are stored
  // after the previous module's, from DataStart on.
  LegacyFileBuilder& Module(uint8_t channel, uint8_t rate, std::vector<uint8_t> samples = {});
  LegacyFileBuilder& RecordingLength(uint16_t minutes, uint16_t milliseconds);
  LegacyFileBuilder& Event(const LegacyEventRecord& record);
  // Address of the first module's samples (at least 0x1500 and past the
  // events; 256-aligned default after the events).
  LegacyFileBuilder& DataStart(uint32_t address);
  // Overwrites one byte after everything else is laid out (the file grows
  // if needed).
  LegacyFileBuilder& Poke(uint64_t offset, uint8_t byte);
  // Cuts the built file to size bytes.
  LegacyFileBuilder& Truncate(uint64_t size);

  std::vector<uint8_t> Build() const;

  // Where module i's samples start in the built file.
  uint32_t ModuleAddress(std::size_t i) const;

 private:
  struct ModuleEntry {
    uint8_t channel;
    uint8_t rate;
    std::vector<uint8_t> samples;
  };

  uint32_t FirstDataAddress() const;

  LegacyKind kind_;
  std::vector<uint8_t> setup_;  // the fixed part up to the event count
  std::vector<ModuleEntry> modules_;
  std::vector<LegacyEventRecord> events_;
  uint32_t dataStart_ = 0;  // 0: default
  std::map<uint64_t, uint8_t> pokes_;
  uint64_t truncate_ = UINT64_MAX;
};

// Address bytes b0 b1 b2 that the logger stores for a data address.
std::array<uint8_t, 3> LegacyAddressBytes(bool fullHighByte, uint32_t address);

}  // namespace kestron4::test
