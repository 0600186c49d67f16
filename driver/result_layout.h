#pragma once
// The items of the result file's records and how they go into the model store.
// kovaconv fetches the records through the record layer; the sibling tools
// fetch them with their own reader (driver/result_reader.h). Both decode them
// here, so the layout is written once.
//
// Records in file order: title (80 bytes), NUMNP, the nodes, NUMEL, the
// elements, then per time step: header (ISTEP, TIME), node results, element
// results. Items are interleaved per node or per element.
#include <cstddef>
#include <cstdint>

#include "driver/store.h"
#include "recordio/unformatted.h"

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

// Entry of IX for element E and column J, both counted from 0 (J = 4 is the
// attribute).
inline std::size_t IX_AT(const MODEL_STORE& S, std::size_t E, std::size_t J) {
  return J * static_cast<std::size_t>(S.MAXN) + E;
}

// An element is a triangle when its fourth corner is 0 or repeats the third.
inline bool IS_TRIANGLE(std::int32_t N3, std::int32_t N4) { return N4 == 0 || N4 == N3; }

// Each procedure takes its items from the front of record R (bytes after them
// are left untaken). The per-node and per-element records size the store's
// arrays for the counts already in S, then fill them; the step records
// overwrite the step held.
void DECODE_TITLE(RECORD& R, MODEL_STORE& S);
std::int32_t DECODE_COUNT(RECORD& R);
void DECODE_NODES(RECORD& R, MODEL_STORE& S);
void DECODE_ELEMENTS(RECORD& R, MODEL_STORE& S);
void DECODE_STEP_HEADER(RECORD& R, MODEL_STORE& S);
void DECODE_NODE_RESULTS(RECORD& R, MODEL_STORE& S);
void DECODE_ELEMENT_RESULTS(RECORD& R, MODEL_STORE& S);
