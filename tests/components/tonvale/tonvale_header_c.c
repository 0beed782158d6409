/* The contract header must stand alone as C: the audio engine's callers
 * and any outside user see only it. */
#include "components/tonvale/tonvale.h"

int tonvale_header_is_c(void) { return TONVALE_BANDS + TONVALE_ORD_SET_ENABLE; }
