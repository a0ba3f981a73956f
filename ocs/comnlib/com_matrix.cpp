// The conversion matrix (22 x 22 routines by source and target bind type),
// the null-setter table and the call type of each cell.
//
#include <array>

#include "comnlib/com_cvt.h"

namespace {

using Matrix = std::array<std::array<ComAnyFn, COM_BT_COUNT>, COM_BT_COUNT>;

template <typename F>
constexpr ComAnyFn any(F f) {
  return reinterpret_cast<ComAnyFn>(f);
}

constexpr int kText[] = {COM_BT_CHAR, COM_BT_STRING, COM_BT_NTBSTRING, COM_BT_SENS, COM_BT_BOUND};
constexpr int kChar3[] = {COM_BT_CHAR, COM_BT_STRING, COM_BT_NTBSTRING};
constexpr int kFixedToBin[] = {COM_BT_I1,    COM_BT_I2,    COM_BT_I4,   COM_BT_BINARY,
                               COM_BT_BIT,   COM_BT_DATETIME, COM_BT_MONEY, COM_BT_FLT8,
                               COM_BT_DATE4, COM_BT_MNY4,  COM_BT_FLT4};

Matrix build() {
  Matrix m{};
  auto set = [&m](int s, int d, ComAnyFn f) { m[s - 1][d - 1] = f; };
  for (int s : kText) {
    set(s, COM_BT_CHAR, any(com_chartochar));
    set(s, COM_BT_STRING, any(com_chartostring));
    set(s, COM_BT_NTBSTRING, any(com_chartontbstring));
    set(s, COM_BT_VARYCHAR, any(com_chartovarychar));
  }
  for (int s : kChar3) {
    set(s, COM_BT_SENS, any(com_chartontbstring));
    set(s, COM_BT_BOUND, any(com_chartontbstring));
    set(s, COM_BT_BINARY, any(com_chartobinary));
    set(s, COM_BT_VARYBIN, any(com_chartovarybin));
    set(s, COM_BT_BIT, any(com_chartobit));
  }
  set(COM_BT_SENS, COM_BT_SENS, any(com_chartontbstring));
  set(COM_BT_BOUND, COM_BT_BOUND, any(com_chartontbstring));

  const int V = COM_BT_VARYCHAR;
  set(V, COM_BT_CHAR, any(com_varychartochar));
  set(V, COM_BT_STRING, any(com_varychartostring));
  set(V, COM_BT_NTBSTRING, any(com_varychartontbstring));
  set(V, COM_BT_SENS, any(com_varychartontbstring));
  set(V, COM_BT_BOUND, any(com_varychartontbstring));
  set(V, COM_BT_VARYCHAR, any(com_varychartovarychar));
  set(V, COM_BT_BINARY, any(com_varychartobinary));
  set(V, COM_BT_VARYBIN, any(com_varychartovarybin));
  set(V, COM_BT_BIT, any(com_varychartobit));

#define TEXT_ROW(src, pfx)                                   \
  set(src, COM_BT_CHAR, any(com_##pfx##tochar));             \
  set(src, COM_BT_STRING, any(com_##pfx##tostring));         \
  set(src, COM_BT_NTBSTRING, any(com_##pfx##tontbstring));   \
  set(src, COM_BT_VARYCHAR, any(com_##pfx##tovarychar));
  TEXT_ROW(COM_BT_I1, i1)
  TEXT_ROW(COM_BT_I2, i2)
  TEXT_ROW(COM_BT_I4, i4)
  TEXT_ROW(COM_BT_BIT, bit)
  TEXT_ROW(COM_BT_FLT4, flt4)
  TEXT_ROW(COM_BT_FLT8, flt8)
  TEXT_ROW(COM_BT_MONEY, money)
  TEXT_ROW(COM_BT_MNY4, mny4)
  TEXT_ROW(COM_BT_DATE4, date4)
  TEXT_ROW(COM_BT_BINARY, bin)
#undef TEXT_ROW
  set(COM_BT_DATETIME, COM_BT_CHAR, any(com_date2char_ex));
  set(COM_BT_DATETIME, COM_BT_STRING, any(com_datetostring_ex));
  set(COM_BT_DATETIME, COM_BT_NTBSTRING, any(com_datetontbstring_ex));
  set(COM_BT_DATETIME, COM_BT_VARYCHAR, any(com_datetovarychar_ex));

  const int B = COM_BT_BINARY;
  set(B, COM_BT_I1, any(com_bintoi1));
  set(B, COM_BT_I2, any(com_bintoi2));
  set(B, COM_BT_I4, any(com_bintoi4));
  set(B, COM_BT_MONEY, any(com_bintomoney));
  set(B, COM_BT_FLT8, any(com_bintoflt8));
  set(B, COM_BT_FLT4, any(com_bintoflt4));
  set(B, COM_BT_MNY4, any(com_bintomny4));
  set(B, COM_BT_BIT, any(com_bintobit));

  const int VB = COM_BT_VARYBIN;
  set(VB, COM_BT_I1, any(com_varybintoi1));
  set(VB, COM_BT_I2, any(com_varybintoi2));
  set(VB, COM_BT_I4, any(com_varybintoi4));
  set(VB, COM_BT_CHAR, any(com_varybintochar));
  set(VB, COM_BT_BINARY, any(com_varybintobinary));
  set(VB, COM_BT_BIT, any(com_varybintobit));
  set(VB, COM_BT_MONEY, any(com_varybintomoney));
  set(VB, COM_BT_FLT8, any(com_varybintoflt8));
  set(VB, COM_BT_STRING, any(com_varybintostring));
  set(VB, COM_BT_NTBSTRING, any(com_varybintontbstring));
  set(VB, COM_BT_VARYCHAR, any(com_varybintovarychar));
  set(VB, COM_BT_FLT4, any(com_varybintoflt4));
  set(VB, COM_BT_MNY4, any(com_varybintomny4));
  set(VB, COM_BT_VARYBIN, any(com_varybintovarybin));

  // Between fixed-size types.
#define FIXED_ROW(src, pfx)                                       \
  set(src, COM_BT_I1, any(com_##pfx##toi1));                      \
  set(src, COM_BT_I2, any(com_##pfx##toi2));                      \
  set(src, COM_BT_I4, any(com_##pfx##toi4));                      \
  set(src, COM_BT_BIT, any(com_##pfx##tobit));                    \
  set(src, COM_BT_FLT8, any(com_##pfx##toflt8));                  \
  set(src, COM_BT_FLT4, any(com_##pfx##toflt4));
  FIXED_ROW(COM_BT_I1, i1)
  FIXED_ROW(COM_BT_I2, i2)
  FIXED_ROW(COM_BT_I4, i4)
  FIXED_ROW(COM_BT_BIT, bit)
  FIXED_ROW(COM_BT_FLT4, flt4)
  FIXED_ROW(COM_BT_FLT8, flt8)
  FIXED_ROW(COM_BT_MONEY, money)
  FIXED_ROW(COM_BT_MNY4, mny4)
#undef FIXED_ROW
  set(COM_BT_I1, COM_BT_MONEY, any(com_i1tomoney));
  set(COM_BT_I2, COM_BT_MONEY, any(com_i2tomoney));
  set(COM_BT_I4, COM_BT_MONEY, any(com_i4tomoney));
  set(COM_BT_FLT4, COM_BT_MONEY, any(com_flt4tomoney));
  set(COM_BT_FLT8, COM_BT_MONEY, any(com_flt8tomny));
  set(COM_BT_MONEY, COM_BT_MONEY, any(com_moneytomoney));
  set(COM_BT_MNY4, COM_BT_MONEY, any(com_mny4tomoney));
  set(COM_BT_I1, COM_BT_MNY4, any(com_i1tomny4));
  set(COM_BT_I2, COM_BT_MNY4, any(com_i2tomny4));
  set(COM_BT_I4, COM_BT_MNY4, any(com_i4tomny4));
  set(COM_BT_FLT4, COM_BT_MNY4, any(com_flt4tomny4));
  set(COM_BT_FLT8, COM_BT_MNY4, any(com_flt8tomny4));
  set(COM_BT_MONEY, COM_BT_MNY4, any(com_moneytomny4));
  set(COM_BT_MNY4, COM_BT_MNY4, any(com_mny4tomny4));
  set(COM_BT_DATETIME, COM_BT_DATETIME, any(com_datetodate));
  set(COM_BT_DATETIME, COM_BT_DATE4, any(com_datetodate4));
  set(COM_BT_DATE4, COM_BT_DATETIME, any(com_date4todate));
  set(COM_BT_DATE4, COM_BT_DATE4, any(com_date4todate4));

  // Text to numbers, money and dates.
  for (int s : kChar3) {
    set(s, COM_BT_I1, any(com_mb_chartoi1));
    set(s, COM_BT_I2, any(com_mb_chartoi2));
    set(s, COM_BT_I4, any(com_mb_chartoi4));
    set(s, COM_BT_FLT8, any(com_mb_chartoflt8));
    set(s, COM_BT_FLT4, any(com_mb_chartoflt4));
    set(s, COM_BT_MONEY, any(com_mb_chartomoney));
    set(s, COM_BT_MNY4, any(com_mb_chartomny4));
    set(s, COM_BT_DATETIME, any(com_mb_chartodatetime));
    set(s, COM_BT_DATE4, any(com_mb_chartodate4));
  }
  set(V, COM_BT_I1, any(com_mb_varychartoi1));
  set(V, COM_BT_I2, any(com_mb_varychartoi2));
  set(V, COM_BT_I4, any(com_mb_varychartoi4));
  set(V, COM_BT_FLT8, any(com_mb_varychartoflt8));
  set(V, COM_BT_FLT4, any(com_mb_varychartoflt4));
  set(V, COM_BT_MONEY, any(com_mb_varychartomoney));
  set(V, COM_BT_MNY4, any(com_mb_varychartomny4));
  set(V, COM_BT_DATETIME, any(com_mb_varychartodatetime));
  set(V, COM_BT_DATE4, any(com_mb_varychartodate4));

  // Exact numerics (numeric and decimal) to and from every type.
  for (int n : {COM_BT_NUMERIC, COM_BT_DECIMAL}) {
    set(n, COM_BT_I1, any(com_numtoi1));
    set(n, COM_BT_I2, any(com_numtoi2));
    set(n, COM_BT_I4, any(com_numtoi4));
    set(n, COM_BT_BIT, any(com_numtobit));
    set(n, COM_BT_FLT4, any(com_numtoflt4));
    set(n, COM_BT_FLT8, any(com_numtoflt8));
    set(n, COM_BT_MNY4, any(com_numtomny4));
    set(n, COM_BT_MONEY, any(com_numtomny));
    set(n, COM_BT_NUMERIC, any(com_numtonum));
    set(n, COM_BT_DECIMAL, any(com_numtonum));
    set(n, COM_BT_CHAR, any(com_numtochar));
    set(n, COM_BT_STRING, any(com_numtostring));
    set(n, COM_BT_NTBSTRING, any(com_numtontbstring));
    set(n, COM_BT_VARYCHAR, any(com_numtovarychar));
    set(n, COM_BT_BINARY, any(com_numtobin));
    set(n, COM_BT_VARYBIN, any(com_numtovarybin));
    set(COM_BT_I1, n, any(com_i1tonum));
    set(COM_BT_I2, n, any(com_i2tonum));
    set(COM_BT_I4, n, any(com_i4tonum));
    set(COM_BT_BIT, n, any(com_bittonum));
    set(COM_BT_FLT4, n, any(com_flt4tonum));
    set(COM_BT_FLT8, n, any(com_flt8tonum));
    set(COM_BT_MNY4, n, any(com_mny4tonum));
    set(COM_BT_MONEY, n, any(com_moneytonum));
    set(COM_BT_BINARY, n, any(com_bintonum));
    set(COM_BT_VARYBIN, n, any(com_varybintonum));
    for (int s : kChar3) set(s, n, any(com_mb_chartonum));
    set(V, n, any(com_mb_varychartonum));
  }

  for (int s : kFixedToBin) {
    set(s, COM_BT_BINARY, any(com_anytobinary));
    set(s, COM_BT_VARYBIN, any(com_anytovarybin));
  }
  return m;
}

const Matrix kMatrix = build();

constexpr bool in_range(int t) { return t >= 1 && t <= COM_BT_COUNT; }

bool is_text_src(int t) {
  return t == COM_BT_CHAR || t == COM_BT_STRING || t == COM_BT_NTBSTRING ||
         t == COM_BT_VARYCHAR || t == COM_BT_SENS || t == COM_BT_BOUND;
}

}  // namespace

ComAnyFn com_matrix_cell(int s, int d) {
  if (!in_range(s) || !in_range(d)) return nullptr;
  return kMatrix[s - 1][d - 1];
}

namespace {

// The calling convention of the routine converting s to d.
int classify_call(int s, int d) {
  if (!in_range(s)) return 1;
  auto one_of = [](int t, std::initializer_list<int> l) {
    for (int x : l)
      if (x == t) return true;
    return false;
  };
  bool num_dst = d == COM_BT_NUMERIC || d == COM_BT_DECIMAL;
  if (num_dst && one_of(s, {COM_BT_I1, COM_BT_I2, COM_BT_I4, COM_BT_MONEY, COM_BT_MNY4,
                            COM_BT_NUMERIC, COM_BT_DECIMAL, COM_BT_FLT8, COM_BT_FLT4,
                            COM_BT_BINARY, COM_BT_BIT, COM_BT_VARYBIN}))
    return 6;
  if (is_text_src(s)) {
    if (one_of(d, {COM_BT_I1, COM_BT_I2, COM_BT_I4, COM_BT_MONEY, COM_BT_FLT8, COM_BT_MNY4,
                   COM_BT_FLT4}))
      return 5;
    if (d == COM_BT_DATETIME || d == COM_BT_DATE4) return 2;
    if (num_dst) return 7;
  }
  bool text_dst = one_of(d, {COM_BT_CHAR, COM_BT_STRING, COM_BT_NTBSTRING, COM_BT_VARYCHAR});
  if (text_dst && (s == COM_BT_DATETIME || s == COM_BT_DATE4)) return 3;
  if (text_dst && (s == COM_BT_FLT8 || s == COM_BT_FLT4)) return 4;
  return 1;
}

}  // namespace

int com_call_type(int s, int d) {
  // Looked up for every value converted, so the answers are tabled once.
  struct Table {
    unsigned char type[COM_BT_COUNT][COM_BT_COUNT];
    Table() {
      for (int a = 1; a <= COM_BT_COUNT; ++a)
        for (int b = 1; b <= COM_BT_COUNT; ++b)
          type[a - 1][b - 1] = static_cast<unsigned char>(classify_call(a, b));
    }
  };
  static const Table table;
  if (!in_range(s) || !in_range(d)) return classify_call(s, d);
  return table.type[s - 1][d - 1];
}

ComNullSetter com_null_setter(int d) {
  static const ComNullSetter table[COM_BT_COUNT] = {
      com_seti1null,        com_seti2null,       com_seti4null,        com_setcharnull,
      nullptr,              com_setbinarynull,   nullptr,              com_setbitnull,
      com_setdatetimenull,  com_setmoneynull,    com_setflt8null,      com_setstringnull,
      com_setntbstringnull, com_setvarycharnull, com_setvarybinnull,   com_setdatetime4null,
      com_setmny4null,      com_setflt4null,     com_setnumnull,       com_setnumnull,
      com_setntbstringnull, com_setntbstringnull};
  return in_range(d) ? table[d - 1] : nullptr;
}
