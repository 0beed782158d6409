// Why the system keeps a program from reading an input, for messages.
#pragma once

namespace razavori_cli {

/// The system's reason a source at path cannot be read (no such file,
/// permission, a folder, a FIFO or device without an end), or null when
/// the system would let it be read and the cause lies in its content.
const char *input_failure_reason(const char *path);

/// Prints "razavori CMD: PATH: REASON" with the system's reason when there
/// is one, else with `otherwise`.
void report_input_failure(const char *command, const char *path, const char *otherwise);

}  // namespace razavori_cli
