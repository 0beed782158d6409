/* The public header must compile alone as C. */
#include "media/media_api.h"

int main(void) {
  int32_t (*probe)(const char *, int32_t *) = SysProbe;
  intptr_t (*control)(int32_t, intptr_t) = SysControl;
  return (probe != 0 && control != 0 && CTL_SPU_PREFER_ADD == 86) ? 0 : 1;
}
