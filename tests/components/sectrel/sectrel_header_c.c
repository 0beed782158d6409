/* The contract header must stand alone as C: the media library and the
 * programs see only it. */
#include "components/sectrel/sectrel.h"

int sectrel_header_is_c(void) {
  SectrelDriveInfo info;
  SectrelCommandFn fn = SectrelCommand;
  (void)fn;
  info.ready = SECTREL_RAW_SECTOR + SECTREL_CMD_DOOR;
  return info.ready + SECTREL_ORD_READ_DATA;
}
