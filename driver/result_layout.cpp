#include "driver/result_layout.h"

#include <algorithm>

namespace {

// Rows that the arrays of a count need: the count itself, at least the
// store's minimum capacity. A count of 0 or below still gets the minimum.
std::size_t ROWS_FOR(std::int32_t COUNT) {
  return static_cast<std::size_t>(std::max(COUNT, MIN_CAPACITY));
}

}  // namespace

void SIZE_NODE_ARRAYS(MODEL_STORE& S) {
  const std::size_t N = ROWS_FOR(S.NUMNP);
  for (auto* A : {&S.X, &S.Y, &S.NPAR1, &S.NPAR2, &S.H, &S.Q, &S.VXN, &S.VYN}) A->assign(N, 0.0);
  for (auto* A : {&S.NCODE, &S.NFLAG, &S.NCNT}) A->assign(N, 0);
}

void SIZE_ELEMENT_ARRAYS(MODEL_STORE& S) {
  // IX holds five columns of MAXN rows each.
  const std::size_t N = ROWS_FOR(S.NUMEL);
  S.MAXN = static_cast<std::int32_t>(N);
  S.IX.assign(5 * N, 0);
  for (auto* A : {&S.EPAR, &S.VX, &S.VY}) A->assign(N, 0.0);
}
