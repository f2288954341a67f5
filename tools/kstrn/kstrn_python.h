// Running the Python package for what only its libraries write (Parquet,
// through pyarrow).
//
// The interpreter: $KESTRON4_PYTHON, else the one the package was built for
// (KESTRON4_DEFAULT_PYTHON at build time). The package: where that
// interpreter imports it from (an installed package), with the build tree's
// staged copy put first on PYTHONPATH when kstrn runs from a build tree.
#pragma once

#include "kstrn_commands.h"

namespace kstrn::tool {

// Runs `python -m kestron4._export_cli` for options; throws Failure when it
// cannot be started or fails (Python prints its own reason, such as a
// missing pyarrow).
int RunPythonExport(const RecordingExportOptions& options);

}  // namespace kstrn::tool
