// Links one entry point of each installed library, so that a link line that
// misses a library beneath it fails here.  Built once through pkg-config and
// once through find_package.
#include <dblib/dblib.h>
#include <halvo/c_tables.h>
#include <pravel/pravel_fc.h>

int main(int argc, char**) {
  // Called only with an argument, so that running it does nothing.
  if (argc > 1) {
    c_vosinit();
    dbinit();
    int conn = 1;
    return pravel_get_status_fc(&conn);
  }
  return 0;
}
