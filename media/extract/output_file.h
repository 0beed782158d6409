// The one path by which extraction and segment saving create and write
// their output files. Every create and write passes here, so a test can make
// the Nth of them fail and see how the loss is reported.
#pragma once

#include <cstdint>

#include "media/hooks/file_layer.h"

namespace dravik {

/// Creates (or truncates) an output file through table C or the OS.
LayerFile output_create(const Hooks &h, const char *path);
/// Writes all len bytes. -> false when not all of them reached the file.
bool output_write(const LayerFile &f, const void *data, int32_t len);
/// The same on a descriptor the caller handed in (segment saving).
bool output_write(int fd, const void *data, int32_t len);
void output_close(LayerFile &f);

/// For tests: the nth create or write call from now on fails (1 = the next
/// one); 0 switches the fault off.
void fail_output_call(int32_t nth);

}  // namespace dravik
