// Checks made on every row before a run converts anything: a row never
// writes over its own input or an earlier row's output, never over an
// existing file unless asked, and only into a folder that exists.
#pragma once

#include <string>
#include <vector>

#include "tools/fennick/engine/job_types.h"

namespace fennick {

/// Why row `index` of `rows` cannot be converted; empty when it can.
std::string refuse_reason(const std::vector<JobRow> &rows, size_t index, bool overwrite);

}  // namespace fennick
