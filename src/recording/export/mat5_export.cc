// The "mat" export: a MAT-file, level 5 (mat/mat5_writer.h); no settings.
#include "recording/export/export_file.h"
#include "recording/export/export_writers.h"
#include "recording/export/written_from_plan.h"
#include "recording/mat/mat5_writer.h"

namespace kstrn::recording {

void WriteMat(const ExportPlan& plan, const std::string& out) {
  for (const auto& [key, value] : plan.settings) throw RecordingError("mat takes no setting \"" + key + "\"");
  WrittenPlan written = WrittenFromPlan(plan, "mat");
  ExportFile file(out);
  written::ExportFileSink sink(file);
  ReportingRefusals(out, [&] { mat5::WriteMat5(written.data, *written.source, sink); });
  file.Commit();
}

}  // namespace kstrn::recording
