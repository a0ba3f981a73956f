// The task of the component-table tool: one output table name.
#include "loadfile/table.h"
#include "orvolib/options.h"
#include "orvolib/orvo_error.h"
#include "orvolib/task.h"

void task(int count, char** args) {
  if (count != 2) orvo_error(ORVO_NARGS, "%d", count - 1);
  def_option("date=,ext=fits");
  table* t = create_table();
  (void)args;
  free_table(t);
}
