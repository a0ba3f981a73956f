// The data root built into the tool; see orvo_default_root in
// orvolib/catalog.h.  The build compiles this file once per root
// (ORVO_ROOT_DIR): into the tool built in the tree and the tests, and into
// the installed tool.
#include "orvolib/catalog.h"

#ifndef ORVO_ROOT_DIR
#error "ORVO_ROOT_DIR names the data root this object is built for"
#endif

const char* orvo_default_root() { return ORVO_ROOT_DIR; }
