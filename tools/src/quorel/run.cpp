// The run of the task: fill the component table.
#include <string>

#include "comptab.h"
#include "orvolib/options.h"

namespace {
const char kColumns[] = "TIME,COMPNAME,FILENAME,COMMENT";
const char kDbColumns[] = "availability_date,compname,file_name,comment";
const int kMaxDate = 63;
}  // namespace

void quorel(table* t) {
  init_comptab(kColumns, t);
  std::string date = get_option("date");
  std::string ext = get_option("ext");
  char cutoff[kMaxDate + 1];
  cutoff_text(date.c_str(), cutoff, kMaxDate);
  comptab_qry(cutoff, 4, kDbColumns, kColumns, ext.c_str(), t);
  update_comp(t);
}
