// The one table of export formats: a new format adds its writer here.
#include "recording/export/export.h"
#include "recording/export/export_writers.h"

namespace kstrn::recording {

const std::vector<ExportFormat>& ExportFormats() {
  static const std::vector<ExportFormat> kFormats = {
      {"csv", "CSV text (RFC 4180): one file on a raster, else OUT_<period>ms.csv per rate",
       WriteCsv},
      {"mdf", "ASAM MDF 4.1: one data group per rate, samples as stored, tables as conversions "
              "(--set compression=deflate, transpose=no, time=float)",
       WriteMdf},
      {"mat", "MAT-file (level 5) for MATLAB and Octave: one struct per channel with its time vector",
       WriteMat},
  };
  return kFormats;
}

const ExportFormat* FindExportFormat(std::string_view name) {
  for (const ExportFormat& format : ExportFormats())
    if (name == format.name) return &format;
  return nullptr;
}

}  // namespace kstrn::recording
