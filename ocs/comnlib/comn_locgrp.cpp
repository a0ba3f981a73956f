// Reading a group of integers from a localisation entry.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "comnlib/comn_alloc.h"
#include "comnlib/comn_cschar.h"
#include "comnlib/comn_loc.h"

int comn__read_grp(COMN_CONTEXT* ctx, INTL_LOCFILE* lf, const COM_CHARATTRIB* attr,
                   std::int32_t** list, int* count) {
  *list = nullptr;
  *count = 0;
  std::vector<std::int32_t> values;
  int st = 0;
  while (char* v = intl_nextvalue(lf, &st)) {
    const int n = static_cast<int>(std::strlen(v));
    std::vector<comn_uchar> ascii(static_cast<size_t>(n) + 1, 0);
    int len = 0;
    comn_str_to_ascii(reinterpret_cast<const comn_uchar*>(v), n, ascii.data(), &len, attr);
    ascii[static_cast<size_t>(len)] = 0;
    const char* text = reinterpret_cast<const char*>(ascii.data());
    char* end = nullptr;
    const long x = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || x < -2147483647L || x > 2147483647L) return 0;
    if (values.empty() && (x == 0 || x < -1)) return 0;
    values.push_back(static_cast<std::int32_t>(x));
    if (values.size() == 1 && x == -1) break;
  }
  if (st < 0) {
    if (ctx != nullptr) ctx->intl_err = st;
    return COMN_EINTL;
  }
  if (values.empty()) return 0;
  *list = static_cast<std::int32_t*>(comn_malloc(values.size() * sizeof(std::int32_t)));
  if (*list == nullptr) return COMN_NOMEM;
  std::memcpy(*list, values.data(), values.size() * sizeof(std::int32_t));
  *count = static_cast<int>(values.size());
  return 1;
}
