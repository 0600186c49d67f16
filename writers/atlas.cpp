// The ATLAS pair: atlas.msh (unit 21), the mesh, written once; atlas.pst
// (unit 22), one result block per selected step. Every line is one formatted
// statement of its own.
#include <array>
#include <cstddef>
#include <string_view>

#include "model/mesh.h"
#include "recordio/recordio.h"
#include "writers/writers.h"

namespace KOVA {

namespace {

constexpr int MESH_UNIT = 21;
constexpr int RESULT_UNIT = 22;

// Material number written for an element with a negative attribute.
constexpr std::int32_t NEGATIVE_MATERIAL = 100;

constexpr FORMAT F_A2 = PARSE_FORMAT("(A2)");
constexpr FORMAT F_A4 = PARSE_FORMAT("(A4)");
constexpr FORMAT F_A5 = PARSE_FORMAT("(A5)");
constexpr FORMAT F_A6 = PARSE_FORMAT("(A6)");
constexpr FORMAT F_A7 = PARSE_FORMAT("(A7)");
constexpr FORMAT F_A12 = PARSE_FORMAT("(A12)");
constexpr FORMAT F_TITLE = PARSE_FORMAT("(20A4)");
constexpr FORMAT F_SECTION = PARSE_FORMAT("(A4,TR4,A11)");
constexpr FORMAT F_WIDE_SECTION = PARSE_FORMAT("(A4,TR4,A)");

// Node, element and corner numbers take 6 columns in atlas.msh and 8 in
// atlas.pst unless the model has more nodes or elements than that shows.
constexpr int MESH_NUMBER_FIELD = 6;
constexpr int RESULT_NUMBER_FIELD = 8;

// Node lines; element lines: number, shape code, material, the corners, material.
template <int W>
constexpr FORMAT F_NODE = PARSE_FORMAT_WIDTH<W>("(I#,3E12.6)");
template <int W>
constexpr FORMAT F_TRIANGLE = PARSE_FORMAT_WIDTH<W>("(I#,2I6,3I#,I6)");
template <int W>
constexpr FORMAT F_QUAD = PARSE_FORMAT_WIDTH<W>("(I#,2I6,4I#,I6)");

// The read formats the section headers give for widened lines. A triangle
// line, one corner short, ends where that format's seventh field begins and
// is read right by it all the same.
template <int W>
constexpr WIDTH_FILLED GRID_READ = FILL_WIDTH<W>("(I#,3E12.0)");
template <int W>
constexpr WIDTH_FILLED CONC_READ = FILL_WIDTH<W>("(I#,2I6,4I#,I6)");

constexpr FORMAT F_I2 = PARSE_FORMAT("(I2)");
constexpr FORMAT F_I6 = PARSE_FORMAT("(I6)");
template <int W>
constexpr FORMAT F_NUMBER = PARSE_FORMAT_WIDTH<W>("(I#)");
constexpr FORMAT F_SIZES = PARSE_FORMAT("(8(I8,TR2))");
constexpr FORMAT F_STEP = PARSE_FORMAT("(2(I8,TR2),F12.0)");
constexpr FORMAT F_HEAD = PARSE_FORMAT("(6(E12.6,TR1))");
constexpr FORMAT F_VELOCITY = PARSE_FORMAT("(2(E12.6,TR1))");

using namespace std::string_view_literals;

// The node section and the element lines of atlas.msh, numbers W wide.
template <int W>
void GRID_AND_CONC(OUTPUT& O, std::int32_t NUMNP, REALS X, REALS Y, std::int32_t NUMEL, INTS IX,
                   std::int32_t MAXN) {
  if constexpr (W == MESH_NUMBER_FIELD) {
    WRITE_STATEMENT<F_SECTION>(O, "GRID"sv, "(I6,3E12.0)"sv);
  } else {
    WRITE_FORMATTED(MESH_UNIT, F_WIDE_SECTION, {ITEM_T("GRID"), ITEM_T(GRID_READ<W>.VIEW())});
  }
  for (std::int32_t i = 1; i <= NUMNP; ++i) {
    const auto n = static_cast<std::size_t>(i - 1);
    WRITE_STATEMENT<F_NODE<W>>(O, i, X[n], Y[n], 0.0);
  }
  WRITE_STATEMENT<F_A2>(O, "-1"sv);

  if constexpr (W == MESH_NUMBER_FIELD) {
    WRITE_STATEMENT<F_SECTION>(O, "CONC"sv, "(8I6)"sv);
  } else {
    WRITE_FORMATTED(MESH_UNIT, F_WIDE_SECTION, {ITEM_T("CONC"), ITEM_T(CONC_READ<W>.VIEW())});
  }
  for (std::int32_t e = 1; e <= NUMEL; ++e) {
    const auto n = static_cast<std::size_t>(e - 1);
    const std::int32_t N1 = CORNER(IX, MAXN, n, 0);
    const std::int32_t N2 = CORNER(IX, MAXN, n, 1);
    const std::int32_t N3 = CORNER(IX, MAXN, n, 2);
    const std::int32_t N4 = CORNER(IX, MAXN, n, 3);
    const std::int32_t ATTRIBUTE = CORNER(IX, MAXN, n, 4);
    const std::int32_t M = ATTRIBUTE >= 0 ? ATTRIBUTE : NEGATIVE_MATERIAL;
    if (IS_TRIANGLE(N3, N4)) {
      WRITE_STATEMENT<F_TRIANGLE<W>>(O, e, 203, M, N1, N2, N3, M);
    } else {
      WRITE_STATEMENT<F_QUAD<W>>(O, e, 204, M, N1, N2, N3, N4, M);
    }
  }
}

// The head of every node and the velocity of every element, numbers W wide.
template <int W>
void GVAL_AND_EVAL(OUTPUT& O, REALS H, REALS VX, REALS VY, std::int32_t NUMNP, std::int32_t NUMEL) {
  WRITE_STATEMENT<F_A4>(O, "GVAL"sv);
  for (std::int32_t i = 1; i <= NUMNP; ++i) {
    WRITE_STATEMENT<F_NUMBER<W>>(O, i);
    WRITE_STATEMENT<F_HEAD>(O, H[static_cast<std::size_t>(i - 1)]);
  }
  WRITE_STATEMENT<F_I2>(O, -1);

  WRITE_STATEMENT<F_A4>(O, "EVAL"sv);
  for (std::int32_t e = 1; e <= NUMEL; ++e) {
    const auto n = static_cast<std::size_t>(e - 1);
    WRITE_STATEMENT<F_NUMBER<W>>(O, e);
    WRITE_STATEMENT<F_VELOCITY>(O, VX[n], VY[n]);
  }
}

}  // namespace

void WRITE_ATLAS_MESH(const TITLE_TEXT& TITLE, std::int32_t NUMNP, REALS X, REALS Y,
                      std::int32_t NUMEL, INTS IX, std::int32_t MAXN) {
  OUTPUT& O = OUTPUT_OF(MESH_UNIT);
  WRITE_STATEMENT<F_A5>(O, "TITLE"sv);
  WRITE_STATEMENT<F_A12>(O, "FEM ANALISYS"sv);
  WRITE_STATEMENT<F_A6>(O, "STITLE"sv);

  // The title as stored, twenty 4-character pieces, trailing blanks included.
  std::array<ITEM, 20> PIECES;
  for (std::size_t k = 0; k < PIECES.size(); ++k) {
    PIECES[k] = ITEM_T(std::string_view(TITLE.data() + 4 * k, 4));
  }
  FORMATTED_STATEMENT(O, F_TITLE, PIECES);

  // The section headers carry the read formats the ATLAS program applies;
  // widened lines get headers that describe them.
  WITH_NUMBER_WIDTH<MESH_NUMBER_FIELD>(NUMBER_WIDTH(MESH_UNIT, MESH_NUMBER_FIELD, NUMNP, NUMEL),
                                       [&](auto W) { GRID_AND_CONC<W()>(O, NUMNP, X, Y, NUMEL, IX, MAXN); });
  WRITE_STATEMENT<F_A2>(O, "-1"sv);
}

void WRITE_ATLAS_RESULT(std::int32_t NREAD, REALS H, REALS VX, REALS VY, std::int32_t NUMNP,
                        std::int32_t NUMEL, double TIME, std::int32_t /*MAXN*/) {
  OUTPUT& O = OUTPUT_OF(RESULT_UNIT);
  WRITE_STATEMENT<F_A7>(O, "VERSION"sv);
  WRITE_STATEMENT<F_I6>(O, 950400);

  WRITE_STATEMENT<F_A4>(O, "PSIZ"sv);
  WRITE_STATEMENT<F_SIZES>(O, 0, 1, 3, 0, 0, 0, 0, 0);
  WRITE_STATEMENT<F_SIZES>(O, 0, 0, 0, 0, 0, 0, 0, 0);

  // The step field is the position of the step in the result file.
  WRITE_STATEMENT<F_A4>(O, "STEP"sv);
  WRITE_STATEMENT<F_STEP>(O, NREAD, 1, TIME);

  WITH_NUMBER_WIDTH<RESULT_NUMBER_FIELD>(NUMBER_WIDTH(RESULT_UNIT, RESULT_NUMBER_FIELD, NUMNP, NUMEL),
                                         [&](auto W) { GVAL_AND_EVAL<W()>(O, H, VX, VY, NUMNP, NUMEL); });
  WRITE_STATEMENT<F_I2>(O, -1);
}

}  // namespace KOVA
