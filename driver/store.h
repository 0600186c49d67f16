#pragma once
// The model store: everything read from the result file, the work arrays of
// the writers and the neutral-file state. One instance lives for the whole run.
//
// Arrays are 0-based: node or element number i (numbered from 1) is entry
// [i - 1]. IX is held column by column: corner j (1..4) or attribute (j = 5)
// of element e is IX[(j - 1) * MAXN + (e - 1)].
//
// The arrays are sized once, when the model part is read: node arrays to
// max(NUMNP, MIN_CAPACITY) entries, element arrays to MAXN = max(NUMEL,
// MIN_CAPACITY) rows. Reading a step or writing one allocates nothing.
#include <array>
#include <cstdint>
#include <vector>

inline constexpr std::int32_t MIN_CAPACITY = 20000;

struct MODEL_STORE {
  std::array<char, 80> TITLE{};
  std::int32_t NUMNP = 0;
  std::int32_t NUMEL = 0;
  std::int32_t ISTEP = 0;
  double TIME = 0.0;
  std::int32_t NREAD = 0;
  std::int32_t MAXN = MIN_CAPACITY;  // column length of IX

  // Static node and element data.
  std::vector<double> X, Y, NPAR1, NPAR2;
  std::vector<std::int32_t> NCODE;
  std::vector<std::int32_t> IX;  // 5 * MAXN entries
  std::vector<double> EPAR;

  // The step held.
  std::vector<std::int32_t> NFLAG;
  std::vector<double> H, Q, VX, VY;

  // Work arrays of the TECPLOT and output-set writers.
  std::vector<double> VXN, VYN;
  std::vector<std::int32_t> NCNT;

  // Neutral-file state.
  std::int32_t IOUT = 8;
  std::int32_t NSETID = 0;
  std::int32_t NGRPID = 20000;
};
