/* The contract header compiles alone as C. */
#include "components/sondral/sondral.h"

int sondral_header_compiles_as_c(void) { return SondralSetLayer(2); }
