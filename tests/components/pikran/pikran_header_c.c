/* The contract header compiles alone as C. */
#include "components/pikran/pikran.h"

int pikran_header_compiles_as_c(void) { return (int)sizeof(PikranParams); }
