// Binding result columns to program variables and the per-row copy into
// them.
#include <climits>
#include <cstring>

#include "comnlib/com_cvt.h"
#include "dblib/db_convert.h"
#include "dblib/db_internal.h"
#include "db_compute.h"

DBINT dblib::calc_bindlen(int vartype, DBINT varlen, DBINT collen) {
  switch (vartype) {
    case NTBSTRINGBIND: return varlen == 0 ? INT_MAX : varlen;
    case CHARBIND:
    case VARYCHARBIND: return varlen == 0 ? -1 : varlen;
    case STRINGBIND: return varlen;
    default: return varlen == 0 ? collen : varlen;
  }
}

namespace {

bool version2() { return Db__GlobalRec.version == 2; }

}  // namespace

// Binds `col` (of bind type `coltype`) to a variable after the checks both
// kinds of column share;
// `mismatch` is the error for a pair of types the matrix cannot convert.
static RETCODE bind_column(DBPROCESS* dbproc, dbcolumn* col, int coltype, int vartype,
                           DBINT varlen, BYTE* varaddr, DBTYPEINFO* typeinfo, int mismatch) {
  ComAnyFn f = com_matrix_cell(coltype, vartype);
  if (!f) {
    db__raise(dbproc, mismatch, 7);
    return FAIL;
  }
  int prec = 18, scale = 0;
  if (vartype == NUMERICBIND || vartype == DECIMALBIND) {
    if (typeinfo) {
      if (typeinfo->precision < 1 || typeinfo->precision > 77) {
        db__raise(dbproc, 20216, 7);
        return FAIL;
      }
      if (typeinfo->scale < 0 || typeinfo->scale > 77 || typeinfo->scale > typeinfo->precision) {
        db__raise(dbproc, 20217, 7);
        return FAIL;
      }
      prec = typeinfo->precision;
      scale = typeinfo->scale;
    } else if (col->type == 106 || col->type == 108) {
      prec = col->precision;
      scale = col->scale;
    }
  }
  col->varaddr = varaddr;
  col->bindlen = calc_bindlen(vartype, varlen, col->maxlen);
  col->bindtype = vartype;
  col->cvtproc = reinterpret_cast<DB_CVTPROC>(f);
  col->typeinfo.precision = prec;
  col->typeinfo.scale = scale;
  return SUCCEED;
}

RETCODE dbbind_ps(DBPROCESS* dbproc, int column, int vartype, DBINT varlen, BYTE* varaddr,
                  DBTYPEINFO* typeinfo) {
  if (!db__procchk(dbproc)) return FAIL;
  if (!varaddr) {
    db__raise(dbproc, 20046, 7);
    return FAIL;
  }
  dbcolumn* col = dbfcol(dbproc, column);
  if (!col) {
    db__raise(dbproc, 20032, 7);
    return FAIL;
  }
  int coltype = dbmer2bind(dbproc, col->type, col->maxlen);
  if (coltype < 0) return FAIL;
  if (vartype < 1 || vartype > 22 || (vartype >= 19 && !version2())) {
    db__raise(dbproc, 20023, 7);
    return FAIL;
  }
  return bind_column(dbproc, col, coltype, vartype, varlen, varaddr, typeinfo, 20033);
}

RETCODE dbbind(DBPROCESS* dbproc, int column, int vartype, DBINT varlen, BYTE* varaddr) {
  return dbbind_ps(dbproc, column, vartype, varlen, varaddr, nullptr);
}

RETCODE dbnullbind(DBPROCESS* dbproc, int column, DBINT* indicator) {
  if (!db__procchk(dbproc)) return FAIL;
  dbcolumn* col = dbfcol(dbproc, column);
  if (!col) {
    db__raise(dbproc, 20032, 7);
    return FAIL;
  }
  col->nullind = indicator;
  return SUCCEED;
}

// Whether `col`'s worked-out conversion still holds: the binding and the
// column are those it was worked out for.
static inline bool plan_holds(const dbcolumn* col) {
  const dbcvtplan& p = col->cvtplan;
  return p.srcbind > 0 && p.cvtproc == col->cvtproc && p.bindtype == col->bindtype && p.type == col->type &&
         p.maxlen == col->maxlen;
}

// How `col`'s values are converted into its variable, worked out again
// when the binding or the column changed; null when the column's type has
// no bind type (the error is raised).
static const dbcvtplan* conversion(DBPROCESS* dbproc, dbcolumn* col) {
  dbcvtplan& p = col->cvtplan;
  if (plan_holds(col)) return &p;
  int src = dbmer2bind(dbproc, col->type, col->maxlen);
  if (src < 0) return nullptr;
  p = {col->type, col->maxlen, col->bindtype, col->cvtproc, src, db__call_type(src, col->bindtype)};
  return &p;
}

// Copies one value into a column's indicator and variable; false when the
// conversion failed.  A NULL value leaves a regular row's variable alone
// when an indicator is bound; a compute row's variable then receives the
// connection's null value.
static bool copy_any_value(DBPROCESS* dbproc, dbcolumn* col, const dbcolvalue& v, bool compute) {
  bool isnull = !v.data || v.len == 0;
  if (col->nullind) {
    if (isnull) *col->nullind = -1;
    else if (v.len <= col->bindlen ||
             ((col->bindtype == CHARBIND || col->bindtype == VARYCHARBIND) && col->bindlen == -1))
      *col->nullind = 0;
    else *col->nullind = v.len;
    if (isnull && !compute) return true;  // the variable keeps its value
  }
  if (!col->varaddr) return true;
  const dbcvtplan* plan = conversion(dbproc, col);
  if (!plan) return false;
  auto routine = reinterpret_cast<ComAnyFn>(col->cvtproc);
  DBINT r = isnull ? db__convertfunc(dbproc, routine, plan->srcbind, nullptr, 0, col->bindtype,
                                     col->varaddr, col->bindlen, col->typeinfo.precision,
                                     col->typeinfo.scale)
                   : db__convertcall(dbproc, routine, plan->calltype, v.data, v.len, col->varaddr,
                                     col->bindlen, col->typeinfo.precision, col->typeinfo.scale);
  return r != -1;
}

// copy_any_value, with the case of most values in place: a value that is
// there, no indicator, and a conversion already worked out.  A datetime
// bound as a string calls its routine here, with what the general call
// would give it: the connection's short month names and its date style.
static inline bool copy_value(DBPROCESS* dbproc, dbcolumn* col, const dbcolvalue& v, bool compute) {
  if (!v.data || v.len == 0 || col->nullind || !col->varaddr || !plan_holds(col))
    return copy_any_value(dbproc, col, v, compute);
  if (col->cvtplan.calltype == 3 &&
      reinterpret_cast<ComAnyFn>(col->cvtproc) == reinterpret_cast<ComAnyFn>(&com_datetostring_ex)) {
    const int r = com_datetostring_ex(v.data, v.len, col->varaddr, col->bindlen, db__shortmonth_list(dbproc),
                                      db__date_style(dbproc));
    if (r >= 0) return true;
    db__raise_cvt_error(dbproc, r);
    return false;
  }
  return db__convertcall(dbproc, reinterpret_cast<ComAnyFn>(col->cvtproc), col->cvtplan.calltype, v.data,
                         v.len, col->varaddr, col->bindlen, col->typeinfo.precision,
                         col->typeinfo.scale) != -1;
}

RETCODE dbdobind(DBPROCESS* dbproc) {
  dbrow* row = dbproc->currow;
  if (!row) return SUCCEED;
  bool failed = false;
  int i = 0;
  for (dbcolumn* col = dbproc->columns; col && i < row->nvalues; col = col->next, ++i) {
    if (!col->nullind && !col->varaddr) continue;
    if (!copy_value(dbproc, col, row->values[i], false)) failed = true;
  }
  return failed ? FAIL : SUCCEED;
}

// Compute columns are found as the print list orders them (dbfacol).
RETCODE dbaltbind_ps(DBPROCESS* dbproc, int computeid, int column, int vartype, DBINT varlen,
                     BYTE* varaddr, DBTYPEINFO* typeinfo) {
  if (!db__procchk(dbproc)) return FAIL;
  if (!varaddr) {
    db__raise(dbproc, 20046, 7);
    return FAIL;
  }
  if (!dbfcompute(db__computes(dbproc), computeid)) {
    db__raise(dbproc, 20024, 7);
    return FAIL;
  }
  dbprnode* node = dbfacol(db__computes(dbproc), computeid, column);
  if (!node) {
    db__raise(dbproc, 20032, 7);
    return FAIL;
  }
  dbcolumn* col = &node->col->col;
  int coltype = dbmer2bind(dbproc, col->type, col->maxlen);
  if (coltype < 0) return FAIL;
  if (vartype < 1 || vartype > 20 || (vartype >= 19 && !version2())) {
    db__raise(dbproc, 20023, 7);
    return FAIL;
  }
  return bind_column(dbproc, col, coltype, vartype, varlen, varaddr, typeinfo, 20035);
}

RETCODE dbaltbind(DBPROCESS* dbproc, int computeid, int column, int vartype, DBINT varlen,
                  BYTE* varaddr) {
  return dbaltbind_ps(dbproc, computeid, column, vartype, varlen, varaddr, nullptr);
}

RETCODE dbanullbind(DBPROCESS* dbproc, int computeid, int column, DBINT* indicator) {
  if (!db__procchk(dbproc)) return FAIL;
  dbprnode* node = dbfacol(db__computes(dbproc), computeid, column);
  if (!node) {
    db__raise(dbproc, 20032, 7);
    return FAIL;
  }
  node->col->col.nullind = indicator;
  return SUCCEED;
}

RETCODE dbdoabind(DBPROCESS* dbproc) {
  dbrow* row = dbproc->currow;
  dbcompute* rec = row && row->computeid ? dbfcompute(db__computes(dbproc), row->computeid) : nullptr;
  if (!rec) {
    db__raise(dbproc, 20024, 7);
    return FAIL;
  }
  bool failed = false;
  int i = 0;
  for (dbaltcol* a = rec->cols; a; a = a->next, ++i) {
    dbcolumn* col = &a->col;
    if (!col->nullind && !col->varaddr) continue;
    if (i >= row->nvalues) {
      db__raise(dbproc, 20032, 7);
      failed = true;
      continue;
    }
    if (!copy_value(dbproc, col, row->values[i], true)) failed = true;
  }
  return failed ? FAIL : SUCCEED;
}
