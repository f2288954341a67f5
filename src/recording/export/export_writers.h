// The writers of the formats written in C++, one per format; each is listed
// in the table of export_formats.cc.
#pragma once

#include <string>

#include "recording/export/export.h"

namespace kstrn::recording {

// CSV (RFC 4180): one file on a raster, else one per rate (csv_writer.cc).
void WriteCsv(const ExportPlan& plan, const std::string& out);
// ASAM MDF 4.1: one data group per rate, samples as stored (mdf4_export.cc).
void WriteMdf(const ExportPlan& plan, const std::string& out);
// MAT level 5: one struct per channel with its time vector (mat5_export.cc).
void WriteMat(const ExportPlan& plan, const std::string& out);

}  // namespace kstrn::recording
