// One row: open the input in the engine, choose sizes and the frame rate,
// run the encode thread, multiplex the two temporaries into the output.
#pragma once

#include <atomic>

#include "tools/fennick/engine/job_types.h"
#include "tools/fennick/engine/temp_folder.h"

namespace fennick {

class JobObserver;

/// True when the engine can draw a chosen DVD subpicture into the pictures.
bool subpicture_burn_in_available();

/// Converts `row` (index `index`) with the run's settings; the temporaries
/// go to `temp` and are removed before it returns.
RowResult ConvertFile(const JobSettings &settings, const JobRow &row, int32_t index, const TempFolder &temp,
                      const std::atomic<int32_t> &stop, JobObserver *observer);

}  // namespace fennick
