// Sorting with a caller's compare routine.
#pragma once

#include <cstddef>
#include <functional>

namespace vos {

// Sorts `n` integers (typically row numbers) in place so that cmp(a, b) <= 0
// for each neighbouring pair.  `cmp` returns <0, 0 or >0.  Equal elements
// keep their order.  The compare routine may raise vos::Error; the array is
// then left as it was.
void qsort(int* x, std::size_t n, const std::function<int(int, int)>& cmp);

}  // namespace vos
