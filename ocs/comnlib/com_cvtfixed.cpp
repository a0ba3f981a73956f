// Conversion-matrix routines between fixed-size types: integers, bit,
// floats, money, smallmoney and the two datetime types.
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "com_raw.h"
#include "comnlib/com_cvt.h"
#include "comnlib/com_date.h"

namespace {

using comraw::load;
using comraw::store;

// An integer value into each fixed target.
int int_to(std::int64_t v, int target, void* d) {
  switch (target) {
    case COM_BT_I1:
      if (v < 0 || v > 255) return -1;
      return store(d, static_cast<std::uint8_t>(v));
    case COM_BT_I2:
      if (v > 32767) return -1;
      if (v < -32768) return -2;
      return store(d, static_cast<std::int16_t>(v));
    case COM_BT_I4: return store(d, static_cast<std::int32_t>(v));
    case COM_BT_BIT: return store(d, static_cast<std::uint8_t>(v != 0));
    case COM_BT_FLT8: return store(d, static_cast<double>(v));
    case COM_BT_FLT4: return store(d, static_cast<float>(v));
    case COM_BT_MONEY: {
      COM_MONEY m;
      com__inttomny(&m, static_cast<std::int32_t>(v));
      return store(d, m);
    }
    case COM_BT_MNY4: {
      COM_MONEY4 m4;
      int r = com__inttomny4(&m4, static_cast<std::int32_t>(v));
      store(d, m4);
      return r ? -1 : 4;
    }
    default: return -1;
  }
}

// A float value into each fixed target.  Values outside an integer target's
// range fail; a NaN stores 0 there (it has no integer value).
int flt_to(double v, int target, void* d) {
  auto in = [v](double lo, double hi) { return std::isnan(v) || (v >= lo && v <= hi); };
  auto trunc = [v]() { return std::isnan(v) ? 0.0 : std::trunc(v); };
  switch (target) {
    case COM_BT_I1:
      if (!in(0.0, 255.0)) return -1;
      return store(d, static_cast<std::uint8_t>(trunc()));
    case COM_BT_I2:
      if (!in(-32768.0, 32767.0)) return -1;
      return store(d, static_cast<std::int16_t>(trunc()));
    case COM_BT_I4:
      if (!in(-2147483648.0, 2147483647.0)) return -1;
      return store(d, static_cast<std::int32_t>(trunc()));
    case COM_BT_BIT: return store(d, static_cast<std::uint8_t>(v != 0.0));
    case COM_BT_FLT8: return store(d, v);
    case COM_BT_FLT4:
      if (v > 3.4028234663852886e+38 || v < -3.4028234663852886e+38) return -1;
      return store(d, static_cast<float>(v));
    case COM_BT_MONEY: {
      COM_MONEY m{0, 0};
      int r = com__flt8tomny(&v, 8, &m);
      store(d, m);
      return r;
    }
    case COM_BT_MNY4: {
      COM_MONEY4 m4;
      int r = com__flt8tomny4(&v, 8, &m4);
      store(d, m4);
      return r;
    }
    default: return -1;
  }
}

// A money value into each fixed target.
int money_to(const COM_MONEY& m, bool small, int target, void* d) {
  std::int32_t i = 0;
  int over = com__mnytoint(&m, &i);
  switch (target) {
    case COM_BT_I4:
      store(d, i);
      return over ? -1 : 4;
    case COM_BT_I1:
      if (over || i < 0 || i > 255) return -1;
      return store(d, static_cast<std::uint8_t>(i));
    case COM_BT_I2:
      if (over) return -1;
      if (small) return int_to(i, COM_BT_I2, d);
      if (i < -32768 || i > 32767) return -1;
      return store(d, static_cast<std::int16_t>(i));
    case COM_BT_BIT: return store(d, static_cast<std::uint8_t>(m.mnyhigh != 0 || m.mnylow != 0));
    case COM_BT_FLT8:
    case COM_BT_FLT4: {
      double v;
      if (small) v = static_cast<std::int32_t>(m.mnylow) / 10000.0;  // the smallmoney value
      else com__mnytoflt8(&m, 8, &v);
      if (target == COM_BT_FLT8) return store(d, v);
      return store(d, static_cast<float>(v));
    }
    case COM_BT_MONEY: return store(d, m);
    case COM_BT_MNY4: {
      COM_MONEY4 m4;
      int r = com__mnytomny4(&m, &m4);
      store(d, m4);
      return r;
    }
    default: return -1;
  }
}

COM_MONEY widen(const void* s) {
  COM_MONEY4 m4 = load<COM_MONEY4>(s);
  COM_MONEY m;
  com__mny4tomny(&m4, &m);
  return m;
}

}  // namespace

#define NO_SRC(s, l) (!(s) || (l) == 0)

#define INT_SOURCE(name, type)                                                      \
  int com_##name##toi1(const void* s, int l, void* d, int) {                        \
    return NO_SRC(s, l) ? 0 : int_to(load<type>(s), COM_BT_I1, d);                  \
  }                                                                                 \
  int com_##name##toi2(const void* s, int l, void* d, int) {                        \
    return NO_SRC(s, l) ? 0 : int_to(load<type>(s), COM_BT_I2, d);                  \
  }                                                                                 \
  int com_##name##toi4(const void* s, int l, void* d, int) {                        \
    return NO_SRC(s, l) ? 0 : int_to(load<type>(s), COM_BT_I4, d);                  \
  }                                                                                 \
  int com_##name##tobit(const void* s, int l, void* d, int) {                       \
    return NO_SRC(s, l) ? 0 : int_to(load<type>(s), COM_BT_BIT, d);                 \
  }                                                                                 \
  int com_##name##toflt8(const void* s, int l, void* d, int) {                      \
    return NO_SRC(s, l) ? 0 : int_to(load<type>(s), COM_BT_FLT8, d);                \
  }                                                                                 \
  int com_##name##toflt4(const void* s, int l, void* d, int) {                      \
    return NO_SRC(s, l) ? 0 : int_to(load<type>(s), COM_BT_FLT4, d);                \
  }
INT_SOURCE(i1, std::uint8_t)
INT_SOURCE(i2, std::int16_t)
INT_SOURCE(i4, std::int32_t)
INT_SOURCE(bit, std::uint8_t)

#define INT_TO_MONEY(name, type)                                                    \
  int com_##name##tomoney(const void* s, int l, void* d, int) {                     \
    return NO_SRC(s, l) ? 0 : int_to(load<type>(s), COM_BT_MONEY, d);               \
  }                                                                                 \
  int com_##name##tomny4(const void* s, int l, void* d, int) {                      \
    return NO_SRC(s, l) ? 0 : int_to(load<type>(s), COM_BT_MNY4, d);                \
  }
INT_TO_MONEY(i1, std::uint8_t)
INT_TO_MONEY(i2, std::int16_t)
INT_TO_MONEY(i4, std::int32_t)

#define FLT_SOURCE(name, type)                                                      \
  int com_##name##toi1(const void* s, int l, void* d, int) {                        \
    return NO_SRC(s, l) ? 0 : flt_to(load<type>(s), COM_BT_I1, d);                  \
  }                                                                                 \
  int com_##name##toi2(const void* s, int l, void* d, int) {                        \
    return NO_SRC(s, l) ? 0 : flt_to(load<type>(s), COM_BT_I2, d);                  \
  }                                                                                 \
  int com_##name##toi4(const void* s, int l, void* d, int) {                        \
    return NO_SRC(s, l) ? 0 : flt_to(load<type>(s), COM_BT_I4, d);                  \
  }                                                                                 \
  int com_##name##tobit(const void* s, int l, void* d, int) {                       \
    return NO_SRC(s, l) ? 0 : flt_to(load<type>(s), COM_BT_BIT, d);                 \
  }                                                                                 \
  int com_##name##toflt8(const void* s, int l, void* d, int) {                      \
    return NO_SRC(s, l) ? 0 : flt_to(load<type>(s), COM_BT_FLT8, d);                \
  }                                                                                 \
  int com_##name##toflt4(const void* s, int l, void* d, int) {                      \
    return NO_SRC(s, l) ? 0 : flt_to(load<type>(s), COM_BT_FLT4, d);                \
  }                                                                                 \
  int com_##name##tomny4(const void* s, int l, void* d, int) {                      \
    return NO_SRC(s, l) ? 0 : flt_to(load<type>(s), COM_BT_MNY4, d);                \
  }
FLT_SOURCE(flt4, float)
FLT_SOURCE(flt8, double)

int com_flt4tomoney(const void* s, int l, void* d, int) {
  return NO_SRC(s, l) ? 0 : flt_to(load<float>(s), COM_BT_MONEY, d);
}
int com_flt8tomny(const void* s, int l, void* d, int) {
  return NO_SRC(s, l) ? 0 : flt_to(load<double>(s), COM_BT_MONEY, d);
}

#define MONEY_SOURCE(name, loader, small)                                           \
  int com_##name##toi1(const void* s, int l, void* d, int) {                        \
    return NO_SRC(s, l) ? 0 : money_to(loader(s), small, COM_BT_I1, d);             \
  }                                                                                 \
  int com_##name##toi2(const void* s, int l, void* d, int) {                        \
    return NO_SRC(s, l) ? 0 : money_to(loader(s), small, COM_BT_I2, d);             \
  }                                                                                 \
  int com_##name##toi4(const void* s, int l, void* d, int) {                        \
    return NO_SRC(s, l) ? 0 : money_to(loader(s), small, COM_BT_I4, d);             \
  }                                                                                 \
  int com_##name##tobit(const void* s, int l, void* d, int) {                       \
    return NO_SRC(s, l) ? 0 : money_to(loader(s), small, COM_BT_BIT, d);            \
  }                                                                                 \
  int com_##name##toflt8(const void* s, int l, void* d, int) {                      \
    return NO_SRC(s, l) ? 0 : money_to(loader(s), small, COM_BT_FLT8, d);           \
  }                                                                                 \
  int com_##name##toflt4(const void* s, int l, void* d, int) {                      \
    return NO_SRC(s, l) ? 0 : money_to(loader(s), small, COM_BT_FLT4, d);           \
  }                                                                                 \
  int com_##name##tomny4(const void* s, int l, void* d, int) {                      \
    return NO_SRC(s, l) ? 0 : money_to(loader(s), small, COM_BT_MNY4, d);           \
  }
MONEY_SOURCE(money, load<COM_MONEY>, false)
MONEY_SOURCE(mny4, widen, true)

int com_moneytomoney(const void* s, int l, void* d, int) {
  return NO_SRC(s, l) ? 0 : store(d, load<COM_MONEY>(s));
}
int com_mny4tomoney(const void* s, int l, void* d, int) {
  return NO_SRC(s, l) ? 0 : store(d, widen(s));
}

int com_datetodate(const void* s, int l, void* d, int) {
  return NO_SRC(s, l) ? 0 : store(d, load<COM_DATETIME>(s));
}
int com_date4todate4(const void* s, int l, void* d, int) {
  return NO_SRC(s, l) ? 0 : store(d, load<COM_DATETIME4>(s));
}
int com_datetodate4(const void* s, int l, void* d, int) {
  if (NO_SRC(s, l)) return 0;
  COM_DATETIME dt = load<COM_DATETIME>(s);
  COM_DATETIME4 d4;
  if (com__dttodate4(&dt, &d4) != 0) return -1;
  return store(d, d4);
}
int com_date4todate(const void* s, int l, void* d, int) {
  if (NO_SRC(s, l)) return 0;
  COM_DATETIME4 d4 = load<COM_DATETIME4>(s);
  COM_DATETIME dt;
  com__date4todt(&d4, &dt);
  return store(d, dt);
}
