// The AVI side of razavori info, for run_info to hand AVI files to.
#pragma once

namespace razavori_cli {

/// True when the path ends in ".avi" (any case).
bool is_avi_path(const char *path);
/// Prints the AVI's headers (and with index every entry). -> exit code.
int run_avi_info(const char *path, bool index);

}  // namespace razavori_cli
