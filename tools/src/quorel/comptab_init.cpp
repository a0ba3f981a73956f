// The output table's header and columns, and the cut-off date text.
#include <string>

#include "comptab.h"
#include "loadfile/strfn.h"
#include "orvolib/dates.h"
#include "orvolib/orvo_error.h"

namespace {
const int kMaxKeyValue = 63;
const int kColumns = 4;
}  // namespace

void history_text(double now, char* out) {
  char when[kMaxKeyValue + 1];
  put_merrow_date(now, when, kMaxKeyValue);
  safecopy(out, "Created on ", kMaxKeyValue);
  safecat(out, when, kMaxKeyValue);
}

void init_comptab(const char* columns, table* t) {
  put_tab_key(t, "INSTRUME", "ZOR");
  put_tab_key(t, "DBTABLE", "CRCOMPLIST");
  put_tab_key(t, "DESCRIP", "The lookup table for the ZOR component throughputs");
  char history[kMaxKeyValue + 1];
  history_text(get_now(), history);
  put_tab_key(t, "HISTORY", history);
  std::string copy(columns);
  char* names[kColumns];
  strsplit(',', copy.data(), names, kColumns);
  for (char* name : names) add_tab_col(t, name);
}

void cutoff_text(const char* option, char* out, int maxch) {
  double date = option[0] != '\0' ? get_dash_date(option) : get_now();
  if (date < 0.0) orvo_error(ORVO_DATEFORMAT, "%s", option);
  put_merrow_date(date, out, maxch);
}
