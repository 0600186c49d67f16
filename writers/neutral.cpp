// The FEMAP neutral file (version 4.5 layout) on unit IOUT: header and model
// blocks and the group block once per run, then one output set with its eight
// result vectors per selected step.
//
// Every block is framed by -1 in I5, its number in I6, its records, -1 in I5.
// Most records are list-directed; a record of one text item is one blank
// followed by the text.
#include <array>
#include <cmath>
#include <cstddef>
#include <string_view>

#include "model/mesh.h"
#include "recordio/recordio.h"
#include "writers/value_lines.h"
#include "writers/writers.h"

namespace KOVA {

namespace {

constexpr FORMAT F_I5 = PARSE_FORMAT("(I5)");
constexpr FORMAT F_I6 = PARSE_FORMAT("(I6)");
constexpr FORMAT F_PROPERTY = PARSE_FORMAT("(I5,A14)");
// Node numbers and the node numbers of element corners take 7 columns unless
// the model has more nodes than that shows (element numbers are list-directed).
constexpr int NUMBER_FIELD = 7;

template <int W>
constexpr FORMAT F_NODE = PARSE_FORMAT_WIDTH<W>("(I#,A22,1PE13.6,A1,1PE13.6,A1,1PE13.6)");
template <int W>
constexpr FORMAT F_CORNERS = PARSE_FORMAT_WIDTH<W>("(10(I#,','))");
constexpr FORMAT F_GROUP_TITLE = PARSE_FORMAT("('ELEM-GROUP 0 ')");
constexpr FORMAT F_SET_TITLE = PARSE_FORMAT("(' T=',1PE12.4)");

using namespace std::string_view_literals;

void BLOCK_START(OUTPUT& O, std::int32_t BLOCK) {
  WRITE_STATEMENT<F_I5>(O, -1);
  WRITE_STATEMENT<F_I6>(O, BLOCK);
}

void BLOCK_END(OUTPUT& O) { WRITE_STATEMENT<F_I5>(O, -1); }

void TEXT_RECORD(OUTPUT& O, std::string_view TEXT) { WRITE_LIST_ITEMS(O, TEXT); }

void TEXT_RECORDS(OUTPUT& O, std::string_view TEXT, int COUNT) {
  for (int k = 0; k < COUNT; ++k) TEXT_RECORD(O, TEXT);
}

// The one material: 33 records of fixed text.
constexpr std::array<std::string_view, 33> MATERIAL{
    "1,55,0,1,0,",     " ",
    "0.,0.,0.,",       "0.,0.,0.,",       "0.,0.,0.,",
    "0.,0.,0.,0.,0.,", "0.,0.,0.,0.,0.,", "0.,0.,0.,0.,0.,", "0.,0.,0.,0.,0.,",
    "0.,",             "0.,0.,0.,0.,0.,", "0.,",             "0.,0.,0.,0.,0.,",
    "0.,",             "0.,0.,0.,0.,0.,", "0.,",             "0.,0.,0.,0.,",
    "0.,0.,0.,0.,0.,", "0.,0.,0.,0.,0.,", "0.,0.,0.,0.,0.,", "0.,0.,0.,0.,0.,",
    "0.,0.,0.,0.,0.,", "0.,",             "0.,0.,0.,0.,0.,", "0.,0.,0.,",
    "0.,0.,0.,0,0,",   "0,0,0,0,0,",      "0,0,0,0,0,0,",    "0.,0.,0.,",
    "0.,0.,0.,0.,0.,", "0.,0.,",          "0,0,0,0,",        "0,0,0,0,"};

// The node and element blocks, node numbers W wide.
template <int W>
void NODES_AND_ELEMENTS(OUTPUT& O, REALS X, REALS Y, INTS IX, std::int32_t NUMNP, std::int32_t NUMEL,
                        std::int32_t MAXN) {
  // Nodes in the plane z = 0; coordinates keep only 4-byte precision.
  BLOCK_START(O, 403);
  for (std::int32_t i = 1; i <= NUMNP; ++i) {
    const auto n = static_cast<std::size_t>(i - 1);
    WRITE_STATEMENT<F_NODE<W>>(O, i, ",0,0,1,46,0,0,0,0,0,0,"sv, static_cast<float>(X[n]), ","sv,
                               static_cast<float>(Y[n]), ","sv, 0.0F);
  }
  BLOCK_END(O);

  // Elements: shape 4 (quadrilateral) or 2 (triangle, stored with 0 or with
  // its third corner repeated in slot 4; the repeated corner is not written).
  BLOCK_START(O, 404);
  for (std::int32_t e = 1; e <= NUMEL; ++e) {
    const auto n = static_cast<std::size_t>(e - 1);
    const std::int32_t N3 = CORNER(IX, MAXN, n, 2);
    const std::int32_t N4 = CORNER(IX, MAXN, n, 3);
    const std::int32_t K = IS_TRIANGLE(N3, N4) ? 2 : 4;

    WRITE_LIST_ITEMS(O, e, ",124,"sv, 1, ",19,"sv, K, ",1,0,0,"sv);
    WRITE_STATEMENT<F_CORNERS<W>>(O, CORNER(IX, MAXN, n, 0), CORNER(IX, MAXN, n, 1), N3,
                                  K == 4 ? N4 : 0, 0, 0, 0, 0, 0, 0);
    WRITE_TEXT_RECORDS<"0,0,0,0,0,0,0,0,0,0,", "0.,0.,0.,", "0.,0.,0.,", "0.,0.,0.,",
                       "0,0,0,0,0,0,0,0,0,0,0,0,">(O);
  }
  BLOCK_END(O);
}

}  // namespace

void WRITE_NEUTRAL_MODEL(REALS X, REALS Y, INTS IX, std::int32_t NUMNP, std::int32_t NUMEL,
                         std::int32_t MAXN, std::int32_t IOUT) {
  OUTPUT& O = OUTPUT_OF(IOUT);

  // Header: an empty title (a single blank item) and the layout version.
  BLOCK_START(O, 100);
  TEXT_RECORD(O, " ");
  TEXT_RECORD(O, "4.5,");
  BLOCK_END(O);

  BLOCK_START(O, 401);
  for (std::string_view TEXT : MATERIAL) TEXT_RECORD(O, TEXT);
  BLOCK_END(O);

  // The one property, number 1, that every element uses; type code 19.
  BLOCK_START(O, 402);
  WRITE_STATEMENT<F_PROPERTY>(O, 1, ",110,1,19,1,0,"sv);
  TEXT_RECORD(O, " ");
  TEXT_RECORD(O, "0,0,0,0,");
  TEXT_RECORD(O, "45,");
  TEXT_RECORDS(O, "0,0,0,0,0,0,0,0,", 5);
  TEXT_RECORD(O, "0,0,0,0,0,");
  TEXT_RECORD(O, "93,");
  TEXT_RECORDS(O, "0.,0.,0.,0.,0.,", 18);
  TEXT_RECORD(O, "0.,0.,0.,");
  BLOCK_END(O);

  WITH_NUMBER_WIDTH<NUMBER_FIELD>(NUMBER_WIDTH(IOUT, NUMBER_FIELD, NUMNP, 0),
                                  [&](auto W) { NODES_AND_ELEMENTS<W()>(O, X, Y, IX, NUMNP, NUMEL, MAXN); });
}

void WRITE_NEUTRAL_GROUP(INTS IX, std::int32_t NUMEL, std::int32_t MAXN, std::int32_t IOUT,
                         std::int32_t& NGRPID) {
  OUTPUT& O = OUTPUT_OF(IOUT);
  NGRPID = NGRPID + 1;

  BLOCK_START(O, 408);
  WRITE_LIST_ITEMS(O, NGRPID, ",1"sv);
  WRITE_STATEMENT<F_GROUP_TITLE>(O);
  TEXT_RECORD(O, "0,0,0");
  TEXT_RECORD(O, "0,0,0,0,0.,0.");
  TEXT_RECORD(O, "0,0");
  for (int k = 0; k < 6; ++k) {
    TEXT_RECORD(O, "0,0");
    TEXT_RECORDS(O, "0.,0.,0.", 2);
  }
  TEXT_RECORD(O, "38");
  TEXT_RECORD(O, "21");

  // Members: the elements with a positive attribute.
  for (std::int32_t e = 1; e <= NUMEL; ++e) {
    if (CORNER(IX, MAXN, static_cast<std::size_t>(e - 1), 4) > 0) {
      WRITE_LIST_ITEMS(O, e, ","sv, "0,1,1,"sv);
    }
  }
  TEXT_RECORD(O, "-1,-1,-1,-1,");
  TEXT_RECORD(O, "-1");
  TEXT_RECORD(O, "15");
  TEXT_RECORD(O, "-1");
  BLOCK_END(O);
}

namespace {

// Smallest and largest value of one quantity and the entities where they
// occur. Both start at entity 1 and the tests are strict, so on ties the
// lowest entity number wins.
struct EXTREMES {
  double MIN = 0.0;
  double MAX = 0.0;
  std::int32_t IMIN = 1;
  std::int32_t IMAX = 1;
};

EXTREMES START_AT(double FIRST) { return EXTREMES{FIRST, FIRST, 1, 1}; }

void TAKE(EXTREMES& E, std::int32_t ENTITY, double VALUE) {
  if (VALUE > E.MAX) {
    E.MAX = VALUE;
    E.IMAX = ENTITY;
  }
  if (VALUE < E.MIN) {
    E.MIN = VALUE;
    E.IMIN = ENTITY;
  }
}

// The larger magnitude of the two extremes, as a 4-byte real.
float ABSOLUTE_MAXIMUM(const EXTREMES& E) {
  float A = static_cast<float>(std::fabs(E.MAX));
  if (std::fabs(E.MIN) > A) A = static_cast<float>(std::fabs(E.MIN));
  return A;
}

double SPEED(double X, double Y) { return std::sqrt(X * X + Y * Y); }

// Entity 1 of an array; for a count of 0 this is still the store's first
// entry, which the start values of the extremes take.
double FIRST_OF(REALS A) { return A.empty() ? 0.0 : A[0]; }

struct VECTOR {
  std::string_view ID;         // written after the set number
  std::string_view TITLE;
  std::string_view COMPONENTS;
  std::string_view TYPE;       // ends in 7 for node vectors, 8 for element vectors
};

constexpr VECTOR V_HEAD{",10,1,", "Total Head", "0,0,0,0,0,0,0,0,0,0,", ",6,7,"};
constexpr VECTOR V_Q{",12,1,", "Q", "0,0,0,0,0,0,0,0,0,0,", ",6,7,"};
constexpr VECTOR V_NODE_SPEED{",13,1,", "Velocity(Node)", "14,15,0,0,0,0,0,0,0,0,", ",1,7,"};
constexpr VECTOR V_NODE_VX{",14,1,", "X Velocity(Node)", "14,0,0,0,0,0,0,0,0,0,", ",1,7,"};
constexpr VECTOR V_NODE_VY{",15,1,", "Y Velocity(Node)", "0,0,16,0,0,0,0,0,0,0,", ",1,7,"};
constexpr VECTOR V_SPEED{",70010,1,", "Velocity", "70011,70012,0,0,0,0,0,0,0,0,", ",1,8,"};
constexpr VECTOR V_VX{",70011,1,", "X Velocity", "70011,0,0,0,0,0,0,0,0,0,", ",1,8,"};
constexpr VECTOR V_VY{",70012,1,", "Y Velocity", "70013,0,0,0,0,0,0,0,0,0,", ",1,8,"};

// The seven records of a vector ahead of its value lines.
void VECTOR_HEAD(OUTPUT& O, std::int32_t NSETID, const VECTOR& V, const EXTREMES& E,
                 float ABSMAX) {
  WRITE_LIST_ITEMS(O, NSETID, V.ID);
  TEXT_RECORD(O, V.TITLE);
  WRITE_LIST_ITEMS(O, static_cast<float>(E.MIN), static_cast<float>(E.MAX), ABSMAX);
  TEXT_RECORD(O, V.COMPONENTS);
  TEXT_RECORD(O, "0,0,0,0,0,0,0,0,0,0,");
  WRITE_LIST_ITEMS(O, E.IMIN, ","sv, E.IMAX, V.TYPE);
  TEXT_RECORD(O, "0,1,1,");
}

// REAL is float or double: the value's list-directed form follows its size.
template <typename REAL>
void VALUE_LINE(OUTPUT& O, std::int32_t ENTITY, REAL VALUE) {
  WRITE_LIST_ITEMS(O, ENTITY, ","sv, VALUE);
}

// The value lines built by the threads when they run (false: they do not);
// never inlined, so that the one-thread loop below is compiled as it is alone.
template <typename VALUE_FUNCTION>
[[gnu::noinline]] bool VALUE_LINES_SHARED(OUTPUT& O, std::size_t N, VALUE_FUNCTION VALUE_OF) {
  const auto VALUE = [](const void* C, std::size_t n) { return (*static_cast<const VALUE_FUNCTION*>(C))(n); };
  return VALUE_LINES_IN_PARALLEL(O, N, &VALUE_OF, +VALUE);
}

// The value lines of entities 1 to COUNT, VALUE_OF(n) the value of entity n + 1
// (float or double), then the end line: -1 and a zero of the same size. A
// function of its own, so that its loop is compiled on its own terms.
template <typename VALUE_FUNCTION>
[[gnu::noinline]] void VALUE_LINES(OUTPUT& O, std::int32_t COUNT, VALUE_FUNCTION VALUE_OF) {
  const auto N = static_cast<std::size_t>(COUNT > 0 ? COUNT : 0);
  if (!VALUE_LINES_SHARED(O, N, VALUE_OF)) {
    RECORD_CURSOR cursor = CURSOR_ON(O);
    for (std::size_t n = 0; n < N; ++n) {
      WRITE_LIST_ITEMS(cursor, static_cast<std::int32_t>(n + 1), ","sv, VALUE_OF(n));
    }
  }
  using REAL = decltype(VALUE_OF(0));
  VALUE_LINE(O, -1, REAL{0});
}

// A vector whose values are written as 4-byte reals, closed by its end line.
void VECTOR_R4(OUTPUT& O, std::int32_t NSETID, const VECTOR& V, const EXTREMES& E, REALS VALUES,
               std::int32_t COUNT) {
  VECTOR_HEAD(O, NSETID, V, E, ABSOLUTE_MAXIMUM(E));
  VALUE_LINES(O, COUNT, [&](std::size_t n) { return static_cast<float>(VALUES[n]); });
}

// The same with the 8-byte values as they stand.
void VECTOR_R8(OUTPUT& O, std::int32_t NSETID, const VECTOR& V, const EXTREMES& E, REALS VALUES,
               std::int32_t COUNT) {
  VECTOR_HEAD(O, NSETID, V, E, ABSOLUTE_MAXIMUM(E));
  VALUE_LINES(O, COUNT, [&](std::size_t n) { return VALUES[n]; });
}

}  // namespace

void WRITE_NEUTRAL_STEP(REALS H, std::span<double> VXN, std::span<double> VYN, REALS VX, REALS VY,
                        REALS Q, std::span<std::int32_t> NCNT, INTS IX, std::int32_t NUMNP,
                        std::int32_t NUMEL, std::int32_t MAXN, double TIME, std::int32_t IOUT,
                        std::int32_t& NSETID) {
  OUTPUT& O = OUTPUT_OF(IOUT);
  const auto NODES = static_cast<std::size_t>(NUMNP > 0 ? NUMNP : 0);
  const auto ELEMENTS = static_cast<std::size_t>(NUMEL > 0 ? NUMEL : 0);

  // Element velocities averaged to the nodes over every non-zero corner slot:
  // a triangle stored with its third corner repeated gives that node its
  // velocity twice. Corners that name no node of the model take no share.
  for (std::size_t n = 0; n < NODES; ++n) {
    NCNT[n] = 0;
    VXN[n] = 0.0;
    VYN[n] = 0.0;
  }
  for (std::size_t e = 0; e < ELEMENTS; ++e) {
    for (std::size_t k = 0; k < 4; ++k) {
      const std::int32_t N = CORNER(IX, MAXN, e, k);
      if (!NAMES_NODE(N, NUMNP)) continue;
      const auto n = static_cast<std::size_t>(N - 1);
      VXN[n] += VX[e];
      VYN[n] += VY[e];
      NCNT[n] += 1;
    }
  }
  for (std::size_t n = 0; n < NODES; ++n) {
    if (NCNT[n] > 0) {
      VXN[n] = VXN[n] / NCNT[n];
      VYN[n] = VYN[n] / NCNT[n];
    }
  }

  NSETID = NSETID + 1;

  // Output set: the set number, its title " T=" and time, the time as value.
  const float TIME4 = static_cast<float>(TIME);
  BLOCK_START(O, 450);
  WRITE_LIST_ITEMS(O, NSETID);
  WRITE_STATEMENT<F_SET_TITLE>(O, TIME4);
  TEXT_RECORD(O, "0,0,");
  WRITE_LIST_ITEMS(O, TIME4);
  TEXT_RECORD(O, "1,");
  TEXT_RECORD(O, "  ");
  BLOCK_END(O);

  // Extremes in 8-byte precision, before any rounding for output.
  EXTREMES E_H = START_AT(FIRST_OF(H));
  for (std::size_t n = 0; n < NODES; ++n) TAKE(E_H, static_cast<std::int32_t>(n + 1), H[n]);
  EXTREMES E_Q = START_AT(FIRST_OF(Q));
  for (std::size_t n = 0; n < NODES; ++n) TAKE(E_Q, static_cast<std::int32_t>(n + 1), Q[n]);

  const double VXN1 = FIRST_OF(VXN);
  const double VYN1 = FIRST_OF(VYN);
  EXTREMES E_NSPEED = START_AT(SPEED(VXN1, VYN1));
  EXTREMES E_NVX = START_AT(VXN1);
  EXTREMES E_NVY = START_AT(VYN1);
  for (std::size_t n = 0; n < NODES; ++n) {
    const auto i = static_cast<std::int32_t>(n + 1);
    TAKE(E_NSPEED, i, SPEED(VXN[n], VYN[n]));
    TAKE(E_NVX, i, VXN[n]);
    TAKE(E_NVY, i, VYN[n]);
  }

  const double VX1 = FIRST_OF(VX);
  const double VY1 = FIRST_OF(VY);
  EXTREMES E_SPEED = START_AT(SPEED(VX1, VY1));
  EXTREMES E_VX = START_AT(VX1);
  EXTREMES E_VY = START_AT(VY1);
  for (std::size_t e = 0; e < ELEMENTS; ++e) {
    const auto i = static_cast<std::int32_t>(e + 1);
    TAKE(E_SPEED, i, SPEED(VX[e], VY[e]));
    TAKE(E_VX, i, VX[e]);
    TAKE(E_VY, i, VY[e]);
  }

  BLOCK_START(O, 451);
  VECTOR_R4(O, NSETID, V_HEAD, E_H, H, NUMNP);
  VECTOR_R4(O, NSETID, V_Q, E_Q, Q, NUMNP);

  // Speeds are not negative: the absolute maximum is the maximum.
  VECTOR_HEAD(O, NSETID, V_NODE_SPEED, E_NSPEED, static_cast<float>(E_NSPEED.MAX));
  VALUE_LINES(O, NUMNP, [&](std::size_t n) { return SPEED(VXN[n], VYN[n]); });

  VECTOR_R8(O, NSETID, V_NODE_VX, E_NVX, VXN, NUMNP);
  VECTOR_R8(O, NSETID, V_NODE_VY, E_NVY, VYN, NUMNP);

  // The element speed of the value lines comes from the 4-byte components,
  // rounded once more to a 4-byte real; its extremes above used 8 bytes.
  VECTOR_HEAD(O, NSETID, V_SPEED, E_SPEED, ABSOLUTE_MAXIMUM(E_SPEED));
  VALUE_LINES(O, NUMEL, [&](std::size_t e) {
    const double X4 = static_cast<float>(VX[e]);
    const double Y4 = static_cast<float>(VY[e]);
    return static_cast<float>(SPEED(X4, Y4));
  });

  VECTOR_R4(O, NSETID, V_VX, E_VX, VX, NUMEL);
  VECTOR_R4(O, NSETID, V_VY, E_VY, VY, NUMEL);
  BLOCK_END(O);
}

}  // namespace KOVA
