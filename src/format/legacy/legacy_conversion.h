// Working state of one conversion, shared by its steps and discarded at its
// end, and the steps themselves in the order they run. Each step leaves the
// cursor on the logger block.
#pragma once

#include <bitset>
#include <cstdint>
#include <vector>

#include "format/legacy/legacy_layout.h"
#include "format/legacy/legacy_reader.h"
#include "format/legacy/legacy_tree.h"

namespace kestron4::legacy {

struct LegacyModule {
  uint8_t channelNumber = 0;  // 1-based; validated
  uint8_t rateIndex = 0;      // validated
  uint32_t periodMs = 1;
  uint8_t sampleSize = 2;  // bytes per sample
  uint8_t sensorByte = 0;
  uint32_t dataAddress = 0;
};

struct LegacyTableLimits {
  float minimum = 0.0f;
  float maximum = 255.0f;
  uint8_t sensorByte = 0;
};

struct LegacyConversion {
  LegacyConversion(LegacyReader& reader, LegacyTree& tree, uint16_t type)
      : in(reader), out(tree), fileType(type) {}

  LegacyReader& in;
  LegacyTree& out;
  uint16_t fileType;
  bool isDataFile = false;
  std::bitset<256> usedSensors;
  std::bitset<256> tableSensors;
  LegacyTableLimits tables[kTableRecords + 1];  // indexed by table number 1..10
  std::vector<LegacyModule> modules;
};

// Throw ELegacyRejected for numbers outside the working tables.
unsigned CheckedChannel(uint8_t channelNumber);
unsigned CheckedRate(uint8_t rateIndex);
unsigned CheckedTable(float tableNumber);

void ReadModules(LegacyConversion& job);           // module count and first pass
void AddChannelReferences(LegacyConversion& job);  // one reference item per module
void AddFixedReferences(LegacyConversion& job);    // logger status and ECU strings
void AddLoggerSettings(LegacyConversion& job);
void AddSensors(LegacyConversion& job);
void AddTables(LegacyConversion& job);
void AddModuleAddresses(LegacyConversion& job);
void AddChannelItems(LegacyConversion& job);  // the fixed channel set
void AddRecording(LegacyConversion& job);     // data files only

}  // namespace kestron4::legacy
