#include "driver/result_layout.h"

#include <algorithm>

namespace {

// Rows that the arrays of a count need: the count itself, at least the
// store's minimum capacity. A count of 0 or below still gets the minimum.
std::size_t ROWS_FOR(std::int32_t COUNT) {
  return static_cast<std::size_t>(std::max(COUNT, MIN_CAPACITY));
}

}  // namespace

void DECODE_TITLE(RECORD& R, MODEL_STORE& S) { TAKE_TEXT(R, S.TITLE); }

std::int32_t DECODE_COUNT(RECORD& R) { return TAKE_INT(R); }

void DECODE_NODES(RECORD& R, MODEL_STORE& S) {
  const std::size_t N = ROWS_FOR(S.NUMNP);
  for (auto* A : {&S.X, &S.Y, &S.NPAR1, &S.NPAR2, &S.H, &S.Q, &S.VXN, &S.VYN}) A->assign(N, 0.0);
  for (auto* A : {&S.NCODE, &S.NFLAG, &S.NCNT}) A->assign(N, 0);
  for (std::int32_t I = 0; I < S.NUMNP; ++I) {
    S.X[I] = TAKE_REAL8(R);
    S.Y[I] = TAKE_REAL8(R);
    S.NPAR1[I] = TAKE_REAL8(R);
    S.NPAR2[I] = TAKE_REAL8(R);
    S.NCODE[I] = TAKE_INT(R);
  }
}

void DECODE_ELEMENTS(RECORD& R, MODEL_STORE& S) {
  // IX holds five columns of MAXN rows each.
  const std::size_t N = ROWS_FOR(S.NUMEL);
  S.MAXN = static_cast<std::int32_t>(N);
  S.IX.assign(5 * N, 0);
  for (auto* A : {&S.EPAR, &S.VX, &S.VY}) A->assign(N, 0.0);
  for (std::int32_t E = 0; E < S.NUMEL; ++E) {
    for (std::size_t J = 0; J < 5; ++J) S.IX[IX_AT(S, E, J)] = TAKE_INT(R);
    S.EPAR[E] = TAKE_REAL8(R);
  }
}

void DECODE_STEP_HEADER(RECORD& R, MODEL_STORE& S) {
  S.ISTEP = TAKE_INT(R);
  S.TIME = TAKE_REAL8(R);
}

void DECODE_NODE_RESULTS(RECORD& R, MODEL_STORE& S) {
  for (std::int32_t I = 0; I < S.NUMNP; ++I) {
    S.NFLAG[I] = TAKE_INT(R);
    S.H[I] = TAKE_REAL8(R);
    S.Q[I] = TAKE_REAL8(R);
  }
}

void DECODE_ELEMENT_RESULTS(RECORD& R, MODEL_STORE& S) {
  for (std::int32_t E = 0; E < S.NUMEL; ++E) {
    S.VX[E] = TAKE_REAL8(R);
    S.VY[E] = TAKE_REAL8(R);
  }
}
