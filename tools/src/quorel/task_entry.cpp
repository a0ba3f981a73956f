// The task of the component-table tool: build the component throughput
// lookup table and write it under the one output table name.
#include "comptab.h"
#include "loadfile/table.h"
#include "orvolib/mivutab.h"
#include "orvolib/options.h"
#include "orvolib/orvo_error.h"
#include "orvolib/task.h"

namespace {
// Character widths of TIME, COMPNAME, FILENAME and COMMENT.
const int kWidths[] = {26, 18, 50, 68};
const int kColumns = 4;
}  // namespace

void task(int count, char** args) {
  if (count != 2) orvo_error(ORVO_NARGS, "%d", count - 1);
  def_option("date=,ext=fits");
  table* t = create_table();
  quorel(t);
  write_mivutab(t, kColumns, kWidths, args[1]);
  free_table(t);
}
