// Sorting with a caller's compare routine.
#include "vos/sort.h"

#include <algorithm>
#include <vector>

namespace vos {

void qsort(int* x, std::size_t n, const std::function<int(int, int)>& cmp) {
  if (!x || n < 2) return;
  // Sort a copy so that a compare routine that raises leaves `x` intact.
  std::vector<int> v(x, x + n);
  std::stable_sort(v.begin(), v.end(), [&](int a, int b) { return cmp(a, b) < 0; });
  std::copy(v.begin(), v.end(), x);
}

}  // namespace vos
