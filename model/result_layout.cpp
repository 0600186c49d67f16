#include "model/result_layout.h"

#include <algorithm>

namespace KOVA {

namespace {

// Rows that the arrays of a count need: the count itself, at least the
// store's minimum capacity. A count of 0 or below still gets the minimum.
std::size_t ROWS_FOR(std::int32_t COUNT) {
  return static_cast<std::size_t>(std::max(COUNT, MIN_CAPACITY));
}

}  // namespace

void SIZE_NODE_ARRAYS(MODEL_STORE& S) {
  const std::size_t N = ROWS_FOR(S.NUMNP);
  for (auto* A : {&S.X, &S.Y, &S.NPAR1, &S.NPAR2, &S.H, &S.Q, &S.VXN, &S.VYN}) SIZE_ROWS(*A, N);
  for (auto* A : {&S.NCODE, &S.NFLAG, &S.NCNT}) SIZE_ROWS(*A, N);
}

void SIZE_ELEMENT_ARRAYS(MODEL_STORE& S) {
  // IX holds five columns of MAXN rows each.
  const std::size_t N = ROWS_FOR(S.NUMEL);
  S.MAXN = static_cast<std::int32_t>(N);
  SIZE_ROWS(S.IX, 5 * N);
  for (std::size_t J = 1; J < 5; ++J) S.IX[J * N] = 0;  // row 1 of every column
  for (auto* A : {&S.EPAR, &S.VX, &S.VY}) SIZE_ROWS(*A, N);
}

}  // namespace KOVA
