// The AVI side of razavori info and frame, for the commands to hand AVI files to.
#pragma once

namespace razavori_cli {

/// True when the path ends in ".avi" (any case).
bool is_avi_path(const char *path);
/// Prints the AVI's headers (and with index every entry). -> exit code.
int run_avi_info(const char *path, bool index);
/// Seeks the AVI source to each time of list and decodes the picture there,
/// printing a line per time. -> exit code.
int run_frame_times(const char *path, const char *list);

}  // namespace razavori_cli
