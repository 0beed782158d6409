/* The public header compiles alone as C and its records keep their sizes. */
#include <stddef.h>

#include "video/video_api.h"

_Static_assert(sizeof(KestrumBenchmarkRecord) == 40, "benchmark record is ten 32-bit values");
_Static_assert(offsetof(KestrumStateRecord, open_mode) == 51, "state record layout");
_Static_assert(VCMD_PLANE_RECORD == 184, "command codes");

int main(void) {
  KestrumHostDisplay display = {0};
  (void)display;
  return KESTRUM_COMMAND_COUNT == 186 ? 0 : 1;
}
