// No drive layer yet: every drive reports that it cannot be used, so the
// media library reads every source through the file system.
#include "components/sectrel/sectrel.h"

extern "C" {

int32_t SectrelOpenDrive(int32_t) { return 0; }
int32_t SectrelReadRaw8(int32_t, void *, int32_t) { return 0; }
int32_t SectrelReadRaw(int32_t, void *, int32_t, int32_t) { return 0; }
int32_t SectrelCommand(int32_t, int32_t, int32_t) { return 0; }
int32_t SectrelReadData(int32_t, void *, int32_t, int32_t) { return 0; }

}  // extern "C"
