#include "format/legacy/legacy_convert.h"

#include <cstring>
#include <ios>

#include "format/legacy/legacy_conversion.h"

namespace kestron4::legacy {
namespace {

constexpr Tid kLogger = 2;

void AddLoggerSkeleton(LegacyTree& out) {
  out.Items(kLogger, 1);
  out.Open(kLogger, 0);
  // The logger block lists its items in this order whatever the later steps
  // fill in first. Settings (104), logger status (120) and the 8-byte string
  // (125) have their one block from the start; the other items hold their
  // places until their own step releases them.
  out.HoldPlace(107);
  out.Items(104, 1);
  out.HoldPlace(101);
  out.HoldPlace(102);
  out.HoldPlace(106);
  out.HoldPlace(100);
  out.Items(120, 1);
  out.Items(125, 1);
}

}  // namespace
}  // namespace kestron4::legacy

namespace kestron4 {

ErrorCode ConvertLegacyFile(AbstractSession& session, TStream& stream, uint16_t fileType) {
  using namespace legacy;
  try {
    LegacyReader in(stream);
    LegacyTree out(session);
    LegacyConversion job(in, out, fileType);

    char mark[4];
    in.Bytes(kDataMarkOffset, mark, sizeof mark);
    job.isDataFile = std::memcmp(mark, "data", sizeof mark) == 0;
    session.GotoRoot();

    AddLoggerSkeleton(out);
    ReadModules(job);
    AddChannelReferences(job);
    AddFixedReferences(job);
    AddLoggerSettings(job);
    AddSensors(job);
    AddTables(job);
    AddModuleAddresses(job);
    AddChannelItems(job);
    if (job.isDataFile) AddRecording(job);
    return ErrNone;
  } catch (const std::ios_base::failure&) {
    return ErrFileAccess;
  } catch (const ELegacyRejected&) {
    return ErrFileAccess;
  }
}

}  // namespace kestron4
