// The generic main of the tool: start the host binding, sort the command
// line into options and positional arguments, print the installation date
// when asked, and run the task.
#include <cstdlib>

#include "halvo/c_tables.h"
#include "loadfile/strfn.h"
#include "orvolib/options.h"
#include "orvolib/orvo_error.h"
#include "orvolib/task.h"

int main(int argc, char** argv) {
  c_vosinit();
  init_option();
  param[0] = strclone(argc > 0 && argv[0] != nullptr ? argv[0] : "");
  nparam = 1;
  for (int i = 1; i < argc; ++i) {
    if (is_option(argv[i]))
      put_option(argv[i]);
    else
      wild_expand(argv[i], ORVO_MAXPARAM, &nparam, param);
  }
  param[nparam] = nullptr;
  print_ver();
  std::atexit(free_option);
  std::atexit(free_param);  // registered last, so it runs first
  task(nparam, param);
  return orvo_errorflag ? 1 : 0;
}
