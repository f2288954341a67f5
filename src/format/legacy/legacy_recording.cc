// The recording of a data file: its length, the samples of every module,
// the module descriptions and the event list.
#include <algorithm>
#include <vector>

#include "format/channel_names.h"
#include "format/legacy/legacy_conversion.h"

namespace kestron4::legacy {
namespace {

constexpr Tid kSamples = 135;
constexpr Tid kModuleInfo = 133;
constexpr Tid kEvent = 137;
constexpr uint64_t kCopyChunk = 1 << 20;

uint8_t Bcd(uint8_t b) { return static_cast<uint8_t>((b >> 4) * 10 + (b & 15)); }

uint32_t Milliseconds(uint16_t minutes, uint16_t ms) { return minutes * 60000u + ms; }

// Bytes of samples to take for module m: what the recording length asks for,
// cut to the whole samples the file still holds after the module's address.
// The request is computed in 64 bits (a long recording at a fast rate does
// not fit 32) and never exceeds what a 32-bit blob length can say.
uint32_t SampleBytes(uint32_t lengthMs, const LegacyModule& m, uint64_t fileSize) {
  const uint64_t wanted = (uint64_t{lengthMs} / m.periodMs + 1) * m.sampleSize;
  const uint64_t remaining = m.dataAddress < fileSize ? fileSize - m.dataAddress : 0;
  const uint64_t size = std::min({wanted, remaining, uint64_t{UINT32_MAX}});
  return static_cast<uint32_t>(size - size % m.sampleSize);
}

void CopySamples(LegacyConversion& job, const LegacyModule& m, uint32_t size) {
  job.out.Alloc(1063, size);
  std::vector<uint8_t> chunk(static_cast<std::size_t>(std::min<uint64_t>(size, kCopyChunk)));
  for (uint32_t done = 0; done < size;) {
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(size - done, kCopyChunk));
    job.in.ReadRun(uint64_t{m.dataAddress} + done, chunk.data(), n);
    job.out.Write(1063, done, chunk.data(), n);
    done += n;
  }
}

void AddEvents(LegacyConversion& job) {
  LegacyTree& out = job.out;
  const uint8_t count = job.in.U8(kEventCountOffset);
  if (count == 0) return;
  out.Items(kEvent, count);
  for (unsigned e = 0; e < count; ++e) {
    uint8_t r[kEventRecord];
    job.in.Bytes(kEventCountOffset + 1 + kEventRecord * e, r, sizeof r);
    out.Open(kEvent, static_cast<int32_t>(e));
    out.U16(1067, static_cast<uint16_t>(Bcd(r[0]) * 10));
    for (unsigned k = 1; k <= 5; ++k) out.U8(static_cast<Tid>(1067 + k), Bcd(r[k]));
    // Two-digit years: 94..99 are the last century, everything else this one.
    const uint8_t year = Bcd(r[6]);
    out.U16(1073, static_cast<uint16_t>(year < 94 ? 2000 + year : 1900 + year));
    out.U8(1074, r[7]);
    out.U32(1018, Milliseconds(static_cast<uint16_t>(r[8] << 8 | r[9]),
                               static_cast<uint16_t>(r[10] << 8 | r[11])));
    out.Close();
  }
}

}  // namespace

void AddRecording(LegacyConversion& job) {
  LegacyTree& out = job.out;
  const uint16_t minutes = job.in.U16BE(kRecordingLengthOffset);
  const uint16_t ms = job.in.U16BE(kRecordingLengthOffset + 2);
  const uint32_t lengthMs = Milliseconds(minutes, ms);
  out.U32(1018, lengthMs);

  const auto count = static_cast<uint16_t>(job.modules.size());
  out.Items(kSamples, count);
  for (uint16_t i = 0; i < count; ++i) {
    const LegacyModule& m = job.modules[i];
    out.Open(kSamples, i);
    const uint32_t size = SampleBytes(lengthMs, m, job.in.size());
    out.U32(1066, size);
    CopySamples(job, m, size);
    out.Text(1002, ChannelNameTable::Name(m.channelNumber - 1u));
    out.Close();
  }

  out.Items(kModuleInfo, count);
  for (uint16_t i = 0; i < count; ++i) {
    const LegacyModule& m = job.modules[i];
    out.Open(kModuleInfo, i);
    out.Text(1002, ChannelNameTable::Name(m.channelNumber - 1u));
    out.U8(1010, m.sensorByte);
    out.U8(1050, m.rateIndex);
    out.Close();
  }

  AddEvents(job);
}

}  // namespace kestron4::legacy
