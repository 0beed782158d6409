// fennick convert IN... : runs the job engine over the inputs.
#pragma once

namespace fennick_cli {

/// argv after "convert". Returns the process exit code: 0 all done, 1 a
/// file failed, 2 usage, 130 stopped by Ctrl-C.
int run_convert(int argc, char **argv);

}  // namespace fennick_cli
