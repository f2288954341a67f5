// The "mdf" export: ASAM MDF 4.1 (mdf4/mdf4_writer.h). Settings:
// compression=none|deflate, transpose=yes|no (with deflate), time=ticks|float.
#include "recording/export/export_file.h"
#include "recording/export/export_writers.h"
#include "recording/export/written_from_plan.h"
#include "recording/mdf4/mdf4_writer.h"

namespace kstrn::recording {
namespace {

bool Choice(const std::string& key, const std::string& value, const char* no, const char* yes) {
  if (value == no) return false;
  if (value == yes) return true;
  throw RecordingError("mdf setting " + key + " is " + no + " or " + yes + ", not \"" + value + "\"");
}

mdf4::Mdf4Options OptionsOf(const std::map<std::string, std::string>& settings) {
  mdf4::Mdf4Options options;
  for (const auto& [key, value] : settings) {
    if (key == "compression") {
      options.blocks.compress = Choice(key, value, "none", "deflate");
    } else if (key == "transpose") {
      options.blocks.transpose = Choice(key, value, "no", "yes");
    } else if (key == "time") {
      options.float_time = Choice(key, value, "ticks", "float");
    } else {
      throw RecordingError("mdf takes no setting \"" + key + "\" (compression, transpose, time)");
    }
  }
  return options;
}

}  // namespace

void WriteMdf(const ExportPlan& plan, const std::string& out) {
  const mdf4::Mdf4Options options = OptionsOf(plan.settings);
  WrittenPlan written = WrittenFromPlan(plan, "mdf");
  ExportFile file(out);
  written::ExportFileSink sink(file);
  ReportingRefusals(out, [&] { mdf4::WriteMdf4(written.data, *written.source, sink, options); });
  file.Commit();
}

}  // namespace kstrn::recording
