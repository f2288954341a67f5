// The blocks that describe one data group: its channels (name, source,
// unit, conversion, comment), the master time channel, the channel group
// and the data group.
#pragma once

#include <cstdint>

#include "recording/mdf4/mdf4_output.h"
#include "recording/mdf4/mdf4_records.h"
#include "recording/writer_input/recorded_data.h"

namespace kstrn::recording::mdf4 {

// Writes them after the group's data (data_link: what DataBlockWriter::
// Finish returned) and returns the DG's offset; its "next" link is 0.
uint64_t WriteGroupBlocks(BlockOutput& out, const written::WrittenGroup& group,
                          const GroupLayout& layout, uint64_t data_link);

}  // namespace kstrn::recording::mdf4
