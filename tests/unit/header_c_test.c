/* The public header compiles as C99 on its own; its size checks hold in C. */
#include "focus.h"

int focus_header_compiles_as_c(void) { return FOCUS_OK; }
