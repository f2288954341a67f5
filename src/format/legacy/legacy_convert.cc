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
  // Empty items fix the order in which the logger block lists its items,
  // whatever the later steps fill in first.
  constexpr struct {
    Tid tid;
    uint16_t count;
  } kOrder[] = {{107, 0}, {104, 1}, {101, 0}, {102, 0}, {106, 0}, {100, 0}, {120, 1}, {125, 1}};
  for (const auto& item : kOrder) out.Items(item.tid, item.count);
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
