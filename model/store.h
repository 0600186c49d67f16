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
//
// Only rows 1..count of an array are ever read, each after it was written,
// so sizing leaves the rows unfilled: memory that is never touched costs
// neither time nor resident pages. Row 1 alone starts at zero, because an
// empty model's writers still take their start values from it.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <span>
#include <utility>
#include <vector>

namespace KOVA {

inline constexpr std::int32_t MIN_CAPACITY = 20000;

// An allocator whose new elements are left uninitialised, not zeroed.
template <typename T>
struct UNFILLED : std::allocator<T> {
  template <typename U>
  struct rebind {
    using other = UNFILLED<U>;
  };
  template <typename U, typename... A>
  void construct(U* p, A&&... args) {
    if constexpr (sizeof...(A) == 0) {
      ::new (static_cast<void*>(p)) U;
    } else {
      ::new (static_cast<void*>(p)) U(std::forward<A>(args)...);
    }
  }
};

template <typename T>
using STORE_ARRAY = std::vector<T, UNFILLED<T>>;

// Size ARRAY to ROWS entries once, with only the first one zeroed.
template <typename T>
void SIZE_ROWS(STORE_ARRAY<T>& ARRAY, std::size_t ROWS) {
  ARRAY.resize(ROWS);
  if (ROWS > 0) ARRAY[0] = T{};
}

// The views of the store's arrays and title that procedures take.
using REALS = std::span<const double>;
using INTS = std::span<const std::int32_t>;
using TITLE_TEXT = std::array<char, 80>;

struct MODEL_STORE {
  TITLE_TEXT TITLE{};
  std::int32_t NUMNP = 0;
  std::int32_t NUMEL = 0;
  std::int32_t ISTEP = 0;
  double TIME = 0.0;
  std::int32_t NREAD = 0;
  std::int32_t MAXN = MIN_CAPACITY;  // column length of IX

  // Static node and element data.
  STORE_ARRAY<double> X, Y, NPAR1, NPAR2;
  STORE_ARRAY<std::int32_t> NCODE;
  STORE_ARRAY<std::int32_t> IX;  // 5 * MAXN entries
  STORE_ARRAY<double> EPAR;

  // The step held.
  STORE_ARRAY<std::int32_t> NFLAG;
  STORE_ARRAY<double> H, Q, VX, VY;

  // Work arrays of the TECPLOT and output-set writers.
  STORE_ARRAY<double> VXN, VYN;
  STORE_ARRAY<std::int32_t> NCNT;

  // Neutral-file state.
  std::int32_t IOUT = 8;
  std::int32_t NSETID = 0;
  std::int32_t NGRPID = 20000;
};

}  // namespace KOVA
