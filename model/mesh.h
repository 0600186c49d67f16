#pragma once
// The rules of the mesh: where a corner of an element is held, which element
// is a triangle, which corner number names a node, and the averages of the
// element velocities at the nodes. The writers and the tools take them from
// here; the small ones are inline, since they run once per corner.
#include <cstddef>
#include <cstdint>
#include <span>

#include "model/store.h"

namespace KOVA {

// Entry of IX for element E and column J, both counted from 0 (J = 4 is the
// attribute); IX is held column by column, MAXN rows to a column.
inline std::size_t IX_INDEX(std::int32_t MAXN, std::size_t E, std::size_t J) {
  return J * static_cast<std::size_t>(MAXN) + E;
}
inline std::size_t IX_AT(const MODEL_STORE& S, std::size_t E, std::size_t J) {
  return IX_INDEX(S.MAXN, E, J);
}
inline std::int32_t CORNER(INTS IX, std::int32_t MAXN, std::size_t E, std::size_t J) {
  return IX[IX_INDEX(MAXN, E, J)];
}

// An element is a triangle when its fourth corner is 0 or repeats the third.
inline bool IS_TRIANGLE(std::int32_t N3, std::int32_t N4) { return N4 == 0 || N4 == N3; }

// Whether corner number N names a node of a model of NUMNP nodes; 0 is an
// absent corner, and any other number outside 1..NUMNP names none.
inline bool NAMES_NODE(std::int32_t N, std::int32_t NUMNP) { return N >= 1 && N <= NUMNP; }

// Number of corner numbers (IX columns 1-4 of elements 1..NUMEL) other than 0
// that name no node.
std::int64_t COUNT_STRAY_CORNERS(const MODEL_STORE& S);

// Element velocities of the counted elements (attribute above 0) averaged to
// the nodes into VXN, VYN, with NCNT the corners that name each node: the
// TECPLOT point data's rule, also used by the tools that show the results.
void AVERAGE_TO_NODES(REALS VX, REALS VY, INTS IX, std::span<double> VXN, std::span<double> VYN,
                      std::span<std::int32_t> NCNT, std::int32_t NUMNP, std::int32_t NUMEL,
                      std::int32_t MAXN);

}  // namespace KOVA
