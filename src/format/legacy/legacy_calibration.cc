// Sensor and table records: the calibration a logger's setup carries. The
// logger's tool fills unused records with default names ("Sensor ...",
// "Table ..."), which is how the passes below tell them from real ones.
#include "format/legacy/legacy_conversion.h"
#include "format/legacy/legacy_name.h"

namespace kestron4::legacy {
namespace {

constexpr Tid kSensor = 101;
constexpr Tid kTable = 102;
constexpr Tid kTablePoint = 108;

}  // namespace

void AddSensors(LegacyConversion& job) {
  LegacyReader& in = job.in;
  LegacyTree& out = job.out;
  for (unsigned s = 1; s <= kSensorRecords; ++s) {
    const uint64_t base = SensorOffset(s);
    uint8_t name[kNameLength];
    in.Bytes(base, name, kNameLength);
    // A table sensor is described by its table; a default-named sensor that
    // no module uses carries nothing.
    const bool wanted = job.usedSensors.test(s) || !HasPrefix(name, "Sensor");
    if (!wanted || job.tableSensors.test(s)) continue;
    out.Append(kSensor);
    out.Text(1002, LegacyName(name).c_str());
    out.U8(1010, in.U8(base + kSensorByteField));
    constexpr Tid kFloatTids[] = {1011, 1012, 1005, 1006};
    for (unsigned k = 0; k < 4; ++k)
      out.F64(kFloatTids[k], in.F32(base + kSensorFloatField + 4 * k));
    out.Close();
  }
}

void AddTables(LegacyConversion& job) {
  LegacyReader& in = job.in;
  LegacyTree& out = job.out;
  for (unsigned t = 1; t <= kTableRecords; ++t) {
    const uint64_t base = TableOffset(t);
    uint8_t name[kNameLength];
    in.Bytes(base, name, kNameLength);
    if (HasPrefix(name, "Table")) continue;
    // Whether a table holds points is judged by two fields only, the second
    // x point and the third y point; converted sessions have always been
    // built by this test, so it is kept as it is.
    if (in.U16(base + 14) == 0 && in.U16(base + 56) == 0) continue;
    const LegacyTableLimits& limits = job.tables[t];
    out.Append(kTable);
    out.Text(1002, LegacyName(name).c_str());
    out.U8(1010, limits.sensorByte);
    out.F64(1005, limits.minimum);
    out.F64(1006, limits.maximum);
    const double scale = in.F32(base + kTableScaleField);
    for (unsigned j = 1; j <= kTablePoints; ++j) {
      const uint16_t x = in.U16(base + kTableXField + 2 * j);
      const uint16_t y = in.U16(base + kTableYField + 2 * j);
      if (j != 1 && x == 0 && y == 0) continue;
      out.Append(kTablePoint);
      out.U16(1025, x);
      // In double the product of a 16-bit integer and a single is exact.
      out.F64(1031, y * scale);
      out.Close();
    }
    out.Close();
  }
}

}  // namespace kestron4::legacy
