#pragma once
// The items of the result file's records and how they go into the model store.
// kovaconv takes them from the record layer's records (recordio/records/unformatted.h);
// the sibling tools take them from the records their reader holds in memory
// (HELD_RECORD, model/result_reader.h). Both decode them with the procedures
// below, so the layout is written once.
//
// Records in file order: title (80 bytes), NUMNP, the nodes, NUMEL, the
// elements, then per time step: header (ISTEP, TIME), node results, element
// results. Items are interleaved per node or per element.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "model/mesh.h"
#include "model/store.h"
#include "recordio/records/unformatted.h"

namespace KOVA {

inline constexpr std::size_t TITLE_BYTES = 80;
inline constexpr std::size_t COUNT_BYTES = 4;           // NUMNP or NUMEL
inline constexpr std::size_t NODE_BYTES = 36;           // X, Y, NPAR1, NPAR2 reals, NCODE
inline constexpr std::size_t ELEMENT_BYTES = 28;        // IX(e,1..5), EPAR real
inline constexpr std::size_t STEP_HEADER_BYTES = 12;    // ISTEP, TIME real
inline constexpr std::size_t NODE_RESULT_BYTES = 20;    // NFLAG, H real, Q real
inline constexpr std::size_t ELEMENT_RESULT_BYTES = 16; // VX real, VY real

// Bytes the items of a record need for COUNT entries of PER bytes each; a
// count of 0 or below reads no item.
inline std::uint64_t ITEM_BYTES(std::int32_t COUNT, std::size_t PER) {
  return COUNT > 0 ? static_cast<std::uint64_t>(COUNT) * PER : 0;
}

// A record's items held in memory, little-endian. Its reader never hands out
// a record shorter than the items asked of it; should that happen, the bytes
// missing read as zero rather than from outside DATA.
struct HELD_RECORD {
  std::span<const unsigned char> DATA;
  std::size_t POS = 0;
};

inline std::uint64_t TAKE_BITS(HELD_RECORD& R, std::size_t BYTES) {
  std::uint64_t V = 0;
  if (R.POS + BYTES <= R.DATA.size()) {
    const unsigned char* P = R.DATA.data() + R.POS;
    if constexpr (std::endian::native == std::endian::little) {
      std::memcpy(&V, P, BYTES);  // one load where the host's order is the file's
    } else {
      for (std::size_t K = 0; K < BYTES; ++K) V |= std::uint64_t{P[K]} << (8 * K);
    }
  }
  R.POS += BYTES;
  return V;
}
inline std::int32_t TAKE_INT(HELD_RECORD& R) { return static_cast<std::int32_t>(TAKE_BITS(R, 4)); }
inline double TAKE_REAL8(HELD_RECORD& R) { return std::bit_cast<double>(TAKE_BITS(R, 8)); }
inline void TAKE_TEXT(HELD_RECORD& R, std::span<char> DEST) {
  for (char& C : DEST) C = static_cast<char>(TAKE_BITS(R, 1));
}

// Node and element arrays sized for the counts in S.
void SIZE_NODE_ARRAYS(MODEL_STORE& S);
void SIZE_ELEMENT_ARRAYS(MODEL_STORE& S);

// Each procedure takes its items from the front of record R, a RECORD of the
// record layer or a HELD_RECORD (bytes after the items are left untaken). The
// per-node and per-element records size the store's arrays for the counts
// already in S, then fill them; the step records overwrite the step held.
template <class ITEMS>
void DECODE_TITLE(ITEMS& R, MODEL_STORE& S) {
  TAKE_TEXT(R, S.TITLE);
}

template <class ITEMS>
std::int32_t DECODE_COUNT(ITEMS& R) {
  return TAKE_INT(R);
}

template <class ITEMS>
void DECODE_NODES(ITEMS& R, MODEL_STORE& S) {
  SIZE_NODE_ARRAYS(S);
  for (std::int32_t I = 0; I < S.NUMNP; ++I) {
    S.X[I] = TAKE_REAL8(R);
    S.Y[I] = TAKE_REAL8(R);
    S.NPAR1[I] = TAKE_REAL8(R);
    S.NPAR2[I] = TAKE_REAL8(R);
    S.NCODE[I] = TAKE_INT(R);
  }
}

template <class ITEMS>
void DECODE_ELEMENTS(ITEMS& R, MODEL_STORE& S) {
  SIZE_ELEMENT_ARRAYS(S);
  for (std::int32_t E = 0; E < S.NUMEL; ++E) {
    for (std::size_t J = 0; J < 5; ++J) S.IX[IX_AT(S, E, J)] = TAKE_INT(R);
    S.EPAR[E] = TAKE_REAL8(R);
  }
}

template <class ITEMS>
void DECODE_STEP_HEADER(ITEMS& R, MODEL_STORE& S) {
  S.ISTEP = TAKE_INT(R);
  S.TIME = TAKE_REAL8(R);
}

template <class ITEMS>
void DECODE_NODE_RESULTS(ITEMS& R, MODEL_STORE& S) {
  for (std::int32_t I = 0; I < S.NUMNP; ++I) {
    S.NFLAG[I] = TAKE_INT(R);
    S.H[I] = TAKE_REAL8(R);
    S.Q[I] = TAKE_REAL8(R);
  }
}

template <class ITEMS>
void DECODE_ELEMENT_RESULTS(ITEMS& R, MODEL_STORE& S) {
  for (std::int32_t E = 0; E < S.NUMEL; ++E) {
    S.VX[E] = TAKE_REAL8(R);
    S.VY[E] = TAKE_REAL8(R);
  }
}

}  // namespace KOVA
