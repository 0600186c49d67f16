// Reads of the work list and of the result file into the model store.
#include <algorithm>
#include <charconv>
#include <cstddef>
#include <string_view>

#include "driver/driver.h"
#include "recordio/recordio.h"

namespace {

// The 20 characters as they stand; the open trims the blanks around them.
std::string_view NAME_VIEW(const NAME_TEXT& NAME) { return {NAME.data(), NAME.size()}; }

// Rows that the arrays of a count need: the count itself, at least the
// store's minimum capacity. A count of 0 or below still gets the minimum.
std::size_t ROWS_FOR(std::int32_t COUNT) {
  return static_cast<std::size_t>(std::max(COUNT, MIN_CAPACITY));
}

// Node arrays: static and per-step values and the writers' work arrays.
void SIZE_NODE_ARRAYS(MODEL_STORE& S) {
  const std::size_t N = ROWS_FOR(S.NUMNP);
  for (auto* A : {&S.X, &S.Y, &S.NPAR1, &S.NPAR2, &S.H, &S.Q, &S.VXN, &S.VYN}) A->assign(N, 0.0);
  for (auto* A : {&S.NCODE, &S.NFLAG, &S.NCNT}) A->assign(N, 0);
}

// Element arrays: IX holds five columns of MAXN rows each.
void SIZE_ELEMENT_ARRAYS(MODEL_STORE& S) {
  const std::size_t N = ROWS_FOR(S.NUMEL);
  S.MAXN = static_cast<std::int32_t>(N);
  S.IX.assign(5 * N, 0);
  for (auto* A : {&S.EPAR, &S.VX, &S.VY}) A->assign(N, 0.0);
}

// Entry (e, j) of IX, both 0-based here.
std::size_t IX_AT(const MODEL_STORE& S, std::size_t E, std::size_t J) {
  return J * static_cast<std::size_t>(S.MAXN) + E;
}

}  // namespace

void READ_WORK_LIST(NAME_TEXT& FNAME) {
  OPEN_UNIT(WORK_UNIT, "WORK.LST", STATUS::OLD, FORM::FORMATTED);
  for (int LINE = 1; LINE <= 4; ++LINE) READ_CHARACTERS(WORK_UNIT, FNAME);
}

void READ_MODEL(const NAME_TEXT& FNAME, MODEL_STORE& S) {
  OPEN_UNIT(RESULT_UNIT, NAME_VIEW(FNAME), STATUS::OLD, FORM::UNFORMATTED);
  RECORD R;

  FETCH_RECORD(RESULT_UNIT, R, false);
  TAKE_TEXT(R, S.TITLE);

  FETCH_RECORD(RESULT_UNIT, R, false);
  S.NUMNP = TAKE_INT(R);

  // A count that its record cannot hold ends the run before anything is
  // sized to it, so a damaged count never turns into a huge allocation.
  FETCH_RECORD(RESULT_UNIT, R, false);
  if (S.NUMNP > 0) NEED_BYTES(R, 36 * static_cast<std::uint64_t>(S.NUMNP));
  SIZE_NODE_ARRAYS(S);
  for (std::int32_t I = 0; I < S.NUMNP; ++I) {
    S.X[I] = TAKE_REAL8(R);
    S.Y[I] = TAKE_REAL8(R);
    S.NPAR1[I] = TAKE_REAL8(R);
    S.NPAR2[I] = TAKE_REAL8(R);
    S.NCODE[I] = TAKE_INT(R);
  }

  FETCH_RECORD(RESULT_UNIT, R, false);
  S.NUMEL = TAKE_INT(R);

  FETCH_RECORD(RESULT_UNIT, R, false);
  if (S.NUMEL > 0) NEED_BYTES(R, 28 * static_cast<std::uint64_t>(S.NUMEL));
  SIZE_ELEMENT_ARRAYS(S);
  for (std::int32_t E = 0; E < S.NUMEL; ++E) {
    for (std::size_t J = 0; J < 5; ++J) S.IX[IX_AT(S, E, J)] = TAKE_INT(R);
    S.EPAR[E] = TAKE_REAL8(R);
  }

  // Such corners would index outside the node arrays; the averaging writers
  // skip them, and the user is told once.
  const std::int64_t STRAY = COUNT_STRAY_CORNERS(S);
  if (STRAY > 0) {
    char TEXT[96];
    auto [END, EC] = std::to_chars(TEXT, TEXT + 24, STRAY);
    (void)EC;
    constexpr std::string_view REST = " corner numbers outside 0..NUMNP take no part in node averaging";
    END = std::copy(REST.begin(), REST.end(), END);
    WARN(std::string_view(TEXT, static_cast<std::size_t>(END - TEXT)));
  }
}

bool READ_STEP(MODEL_STORE& S) {
  RECORD R;
  if (!FETCH_RECORD(RESULT_UNIT, R, true)) return false;
  S.ISTEP = TAKE_INT(R);
  S.TIME = TAKE_REAL8(R);

  FETCH_RECORD(RESULT_UNIT, R, false);
  for (std::int32_t I = 0; I < S.NUMNP; ++I) {
    S.NFLAG[I] = TAKE_INT(R);
    S.H[I] = TAKE_REAL8(R);
    S.Q[I] = TAKE_REAL8(R);
  }

  FETCH_RECORD(RESULT_UNIT, R, false);
  for (std::int32_t E = 0; E < S.NUMEL; ++E) {
    S.VX[E] = TAKE_REAL8(R);
    S.VY[E] = TAKE_REAL8(R);
  }
  return true;
}

bool RESULT_AT_END() { return AT_END_OF_FILE(RESULT_UNIT); }

std::int64_t COUNT_STRAY_CORNERS(const MODEL_STORE& S) {
  std::int64_t N = 0;
  for (std::int32_t E = 0; E < S.NUMEL; ++E)
    for (std::size_t J = 0; J < 4; ++J) {
      const std::int32_t C = S.IX[IX_AT(S, E, J)];
      if (C < 0 || C > S.NUMNP) ++N;
    }
  return N;
}
