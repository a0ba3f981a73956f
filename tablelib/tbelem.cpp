// Single elements: get or put the first element of one cell in one of six
// caller types.  Text and FITS tables go to their back ends; binary tables
// are read and written here through the raw access and the conversions.
#include <climits>
#include <string>

#include "tablelib/tbbackend.h"
#include "tablelib/tbcore.h"
#include "tbcheck.h"
#include "tbconv.h"
#include "vos/error.h"

namespace tbl {

namespace {

constexpr int kNumTextMax = 255;  // text read for the numeric gets

bool known_type(int t) {
  return t == kTyBool || t == kTyChar || t == kTyShort || t == kTyInt || t == kTyReal ||
         t == kTyDouble || t < 0;
}

[[noreturn]] void bad_dtype(const char* who) {
  vos::error(82, std::string(who) + ":  bad data type; table or memory corrupted?");
}

// Reads the stored element of (row, column) of a binary table.
Raw read_raw(Table* tp, Column* cp, int row, int textmax, const char* who) {
  if (!known_type(cp->dtype)) bad_dtype(who);
  const int pos = tbeoff(tp, cp, row, 1);
  Raw v;
  v.type = cp->dtype;
  switch (cp->dtype) {
    case kTyBool: tbegpb(tp, cp, pos, row, v.b); break;
    case kTyShort: tbegps(tp, cp, pos, row, v.s); break;
    case kTyInt: tbegpi(tp, cp, pos, row, v.i); break;
    case kTyReal: tbegpr(tp, cp, pos, row, v.r); break;
    case kTyDouble: tbegpd(tp, cp, pos, row, v.d); break;
    default:
      v.type = -1;
      tbegpt(tp, cp, pos, row, v.t, textmax);
      break;
  }
  return v;
}

// Writes a stored element of a binary table (v already converted).
void write_raw(Table* tp, Column* cp, int row, const Raw& v) {
  const int pos = tbeoff(tp, cp, row, 1);
  switch (cp->dtype) {
    case kTyBool: tbeppb(tp, cp, pos, row, v.b); break;
    case kTyShort: tbepps(tp, cp, pos, row, v.s); break;
    case kTyInt: tbeppi(tp, cp, pos, row, v.i); break;
    case kTyReal: tbeppr(tp, cp, pos, row, v.r); break;
    case kTyDouble: tbeppd(tp, cp, pos, row, v.d); break;
    default: tbeppt(tp, cp, pos, row, v.t); break;
  }
}

// Common start of every put: refuse a read-only table, map and extend the
// row, mark the table modified.  Returns the actual row.
int begin_put(Table* tp, int row) {
  if (tp->readonly) vos::error(3, "can't write to table; it's readonly");
  int actual = 0;
  tbswer(tp, row, actual);
  tp->modified = true;
  return actual;
}

int text_dtype(int t) { return t == kTyChar ? -1 : t; }

// A text column: its cells are read and written as text without conversion.
bool text_column(const Column* cp) { return cp->dtype < 0 || cp->dtype == kTyChar; }

}  // namespace

// 1-based char position of element elem of (row, column) in the table file.
int tbeoff(Table* tp, Column* cp, int row, int elem) {
  long long pos;
  switch (tp->type) {
    case kRowOrdered:
      pos = static_cast<long long>(row - 1) * tp->allrowlen + tp->bod + cp->offset;
      break;
    case kColOrdered:
      pos = static_cast<long long>(cp->offset) * tp->allrows + tp->bod +
            static_cast<long long>(row - 1) * cp->length;
      break;
    case kTextTable:
      return 0;
    default:
      vos::error(81, "tbeoff:  bad table type; table or memory corrupted?");
  }
  if (elem > 1) {
    int size;
    switch (cp->dtype) {
      case kTyShort: size = 1; break;
      case kTyDouble: size = 4; break;
      case kTyBool:
      case kTyInt:
      case kTyReal: size = 2; break;
      default: size = tbeszt(cp); break;
    }
    pos += static_cast<long long>(elem - 1) * size;
  }
  if (pos < 1 || pos > INT_MAX) vos::error(1, "tbeoff:  element position is beyond the file size limit");
  return static_cast<int>(pos);
}

// ---- gets -----------------------------------------------------------------------

void tbegtd(Table* tp, Column* cp, int row, double& v) {
  need_table(tp, "tbegtd");
  need_column(cp, "tbegtd");
  int r = 0;
  tbsirow(tp, row, r);
  if (tp->type == kTextTable) return tbzgtd(tp, cp, r, v);
  if (tp->type == kFitsTable) { tbfagd(tp, cp, r, &v, 1, 1); return; }
  v = raw_to_d(read_raw(tp, cp, r, kNumTextMax, "tbegtd"));
}

void tbegtr(Table* tp, Column* cp, int row, float& v) {
  need_table(tp, "tbegtr");
  need_column(cp, "tbegtr");
  int r = 0;
  tbsirow(tp, row, r);
  if (tp->type == kTextTable) return tbzgtr(tp, cp, r, v);
  if (tp->type == kFitsTable) { tbfagr(tp, cp, r, &v, 1, 1); return; }
  v = raw_to_r(read_raw(tp, cp, r, kNumTextMax, "tbegtr"));
}

void tbegti(Table* tp, Column* cp, int row, int& v) {
  need_table(tp, "tbegti");
  need_column(cp, "tbegti");
  int r = 0;
  tbsirow(tp, row, r);
  if (tp->type == kTextTable) return tbzgti(tp, cp, r, v);
  if (tp->type == kFitsTable) { tbfagi(tp, cp, r, &v, 1, 1); return; }
  v = raw_to_i(read_raw(tp, cp, r, kNumTextMax, "tbegti"));
}

void tbegts(Table* tp, Column* cp, int row, short& v) {
  need_table(tp, "tbegts");
  need_column(cp, "tbegts");
  int r = 0;
  tbsirow(tp, row, r);
  if (tp->type == kTextTable) return tbzgts(tp, cp, r, v);
  if (tp->type == kFitsTable) { tbfags(tp, cp, r, &v, 1, 1); return; }
  v = raw_to_s(read_raw(tp, cp, r, kNumTextMax, "tbegts"));
}

void tbegtb(Table* tp, Column* cp, int row, bool& v) {
  need_table(tp, "tbegtb");
  need_column(cp, "tbegtb");
  int r = 0;
  tbsirow(tp, row, r);
  if (tp->type == kTextTable) return tbzgtb(tp, cp, r, v);
  if (tp->type == kFitsTable) { tbfagb(tp, cp, r, &v, 1, 1); return; }
  v = raw_to_b(read_raw(tp, cp, r, kNumTextMax, "tbegtb"));
}

void tbegtt(Table* tp, Column* cp, int row, std::string& text, int maxch) {
  need_table(tp, "tbegtt");
  need_column(cp, "tbegtt");
  int r = 0;
  tbsirow(tp, row, r);
  if (tp->type == kTextTable) { tbzgtt(tp, cp, r, text, maxch); return; }
  if (tp->type == kFitsTable) { tbfagt(tp, cp, r, &text, maxch, 1, 1); return; }
  if (text_column(cp)) {  // the stored text as it is, already cut to maxch
    tbegpt(tp, cp, tbeoff(tp, cp, r, 1), r, text, maxch);
    return;
  }
  text = raw_to_t(read_raw(tp, cp, r, maxch, "tbegtt"), cp->format, maxch);
}

void tbegtt(Table* tp, Column* cp, int row, char* buf, int maxch) {
  need_table(tp, "tbegtt");
  need_column(cp, "tbegtt");
  int r = 0;
  tbsirow(tp, row, r);
  if ((tp->type == kRowOrdered || tp->type == kColOrdered) && text_column(cp))
    return tbegpt(tp, cp, tbeoff(tp, cp, r, 1), r, buf, maxch);
  std::string text;
  tbegtt(tp, cp, row, text, maxch);
  copy_text(buf, text, maxch);
}

// ---- puts ------------------------------------------------------------------------

void tbeptd(Table* tp, Column* cp, int row, double v) {
  need_table(tp, "tbeptd");
  need_column(cp, "tbeptd");
  const int r = begin_put(tp, row);
  if (tp->type == kTextTable) return tbzptd(tp, cp, r, v);
  if (tp->type == kFitsTable) return tbfapd(tp, cp, r, &v, 1, 1);
  if (!known_type(cp->dtype)) bad_dtype("tbeptd");
  write_raw(tp, cp, r, raw_from_d(v, text_dtype(cp->dtype)));
}

void tbeptr(Table* tp, Column* cp, int row, float v) {
  need_table(tp, "tbeptr");
  need_column(cp, "tbeptr");
  const int r = begin_put(tp, row);
  if (tp->type == kTextTable) return tbzptr(tp, cp, r, v);
  if (tp->type == kFitsTable) return tbfapr(tp, cp, r, &v, 1, 1);
  if (!known_type(cp->dtype)) bad_dtype("tbeptr");
  write_raw(tp, cp, r, raw_from_r(v, text_dtype(cp->dtype)));
}

void tbepti(Table* tp, Column* cp, int row, int v) {
  need_table(tp, "tbepti");
  need_column(cp, "tbepti");
  const int r = begin_put(tp, row);
  if (tp->type == kTextTable) return tbzpti(tp, cp, r, v);
  if (tp->type == kFitsTable) return tbfapi(tp, cp, r, &v, 1, 1);
  if (!known_type(cp->dtype)) bad_dtype("tbepti");
  write_raw(tp, cp, r, raw_from_i(v, text_dtype(cp->dtype)));
}

void tbepts(Table* tp, Column* cp, int row, short v) {
  need_table(tp, "tbepts");
  need_column(cp, "tbepts");
  const int r = begin_put(tp, row);
  if (tp->type == kTextTable) return tbzpts(tp, cp, r, v);
  if (tp->type == kFitsTable) return tbfaps(tp, cp, r, &v, 1, 1);
  if (!known_type(cp->dtype)) bad_dtype("tbepts");
  write_raw(tp, cp, r, raw_from_s(v, text_dtype(cp->dtype)));
}

void tbeptb(Table* tp, Column* cp, int row, bool v) {
  need_table(tp, "tbeptb");
  need_column(cp, "tbeptb");
  const int r = begin_put(tp, row);
  if (tp->type == kTextTable) return tbzptb(tp, cp, r, v);
  if (tp->type == kFitsTable) return tbfapb(tp, cp, r, &v, 1, 1);
  if (!known_type(cp->dtype)) bad_dtype("tbeptb");
  write_raw(tp, cp, r, raw_from_b(v, text_dtype(cp->dtype)));
}

void tbeptt(Table* tp, Column* cp, int row, std::string_view text) {
  need_table(tp, "tbeptt");
  need_column(cp, "tbeptt");
  const int r = begin_put(tp, row);
  if (tp->type == kTextTable) return tbzptt(tp, cp, r, text);
  if (tp->type == kFitsTable) return tbfptt(tp, cp, r, text);
  if (!known_type(cp->dtype)) bad_dtype("tbeptt");
  if (text_column(cp)) return tbeppt(tp, cp, tbeoff(tp, cp, r, 1), r, text);
  write_raw(tp, cp, r, raw_from_t(text, text_dtype(cp->dtype)));
}

}  // namespace tbl
