/* The contract header compiles alone as C. */
#include "components/weavix/weavix.h"

int weavix_header_compiles_as_c(void) { return WeavixProgress(); }
