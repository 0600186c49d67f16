// The ATLAS pair: atlas.msh (unit 21), the mesh, written once; atlas.pst
// (unit 22), one result block per selected step. Every line is one formatted
// statement of its own.
#include <array>
#include <cstddef>
#include <string_view>

#include "recordio/recordio.h"
#include "writers/writers.h"

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
constexpr FORMAT F_NODE = PARSE_FORMAT("(I6,3E12.6)");
constexpr FORMAT F_TRIANGLE = PARSE_FORMAT("(7I6)");
constexpr FORMAT F_QUAD = PARSE_FORMAT("(8I6)");

constexpr FORMAT F_I2 = PARSE_FORMAT("(I2)");
constexpr FORMAT F_I6 = PARSE_FORMAT("(I6)");
constexpr FORMAT F_I8 = PARSE_FORMAT("(I8)");
constexpr FORMAT F_SIZES = PARSE_FORMAT("(8(I8,TR2))");
constexpr FORMAT F_STEP = PARSE_FORMAT("(2(I8,TR2),F12.0)");
constexpr FORMAT F_HEAD = PARSE_FORMAT("(6(E12.6,TR1))");
constexpr FORMAT F_VELOCITY = PARSE_FORMAT("(2(E12.6,TR1))");

void TEXT_LINE(OUTPUT& O, const FORMAT& F, std::string_view TEXT) {
  const std::array ITEMS{ITEM_T(TEXT)};
  FORMATTED_STATEMENT(O, F, ITEMS);
}

void INT_LINE(OUTPUT& O, const FORMAT& F, std::int32_t VALUE) {
  const std::array ITEMS{ITEM_I(VALUE)};
  FORMATTED_STATEMENT(O, F, ITEMS);
}

}  // namespace

void WRITE_ATLAS_MESH(const TITLE_TEXT& TITLE, std::int32_t NUMNP, REALS X, REALS Y,
                      std::int32_t NUMEL, INTS IX, std::int32_t MAXN) {
  OUTPUT& O = OUTPUT_OF(MESH_UNIT);
  TEXT_LINE(O, F_A5, "TITLE");
  TEXT_LINE(O, F_A12, "FEM ANALISYS");
  TEXT_LINE(O, F_A6, "STITLE");

  // The title as stored, twenty 4-character pieces, trailing blanks included.
  std::array<ITEM, 20> PIECES;
  for (std::size_t k = 0; k < PIECES.size(); ++k) {
    PIECES[k] = ITEM_T(std::string_view(TITLE.data() + 4 * k, 4));
  }
  FORMATTED_STATEMENT(O, F_TITLE, PIECES);

  // The section headers carry the read formats the ATLAS program applies.
  const std::array GRID{ITEM_T("GRID"), ITEM_T("(I6,3E12.0)")};
  FORMATTED_STATEMENT(O, F_SECTION, GRID);
  for (std::int32_t i = 1; i <= NUMNP; ++i) {
    const auto n = static_cast<std::size_t>(i - 1);
    const std::array ITEMS{ITEM_I(i), ITEM_R8(X[n]), ITEM_R8(Y[n]), ITEM_R8(0.0)};
    FORMATTED_STATEMENT(O, F_NODE, ITEMS);
  }
  TEXT_LINE(O, F_A2, "-1");

  const std::array CONC{ITEM_T("CONC"), ITEM_T("(8I6)")};
  FORMATTED_STATEMENT(O, F_SECTION, CONC);
  const auto COLUMN = static_cast<std::size_t>(MAXN);
  for (std::int32_t e = 1; e <= NUMEL; ++e) {
    const auto n = static_cast<std::size_t>(e - 1);
    const std::int32_t N1 = IX[n];
    const std::int32_t N2 = IX[COLUMN + n];
    const std::int32_t N3 = IX[2 * COLUMN + n];
    const std::int32_t N4 = IX[3 * COLUMN + n];
    const std::int32_t ATTRIBUTE = IX[4 * COLUMN + n];
    const std::int32_t M = ATTRIBUTE >= 0 ? ATTRIBUTE : NEGATIVE_MATERIAL;
    // A triangle is stored with 0 or with its third corner repeated in slot 4.
    if (N4 == 0 || N3 == N4) {
      const std::array ITEMS{ITEM_I(e), ITEM_I(203), ITEM_I(M), ITEM_I(N1),
                             ITEM_I(N2), ITEM_I(N3),  ITEM_I(M)};
      FORMATTED_STATEMENT(O, F_TRIANGLE, ITEMS);
    } else {
      const std::array ITEMS{ITEM_I(e),  ITEM_I(204), ITEM_I(M),  ITEM_I(N1),
                             ITEM_I(N2), ITEM_I(N3),  ITEM_I(N4), ITEM_I(M)};
      FORMATTED_STATEMENT(O, F_QUAD, ITEMS);
    }
  }
  TEXT_LINE(O, F_A2, "-1");
}

void WRITE_ATLAS_RESULT(std::int32_t NREAD, REALS H, REALS VX, REALS VY, std::int32_t NUMNP,
                        std::int32_t NUMEL, double TIME, std::int32_t /*MAXN*/) {
  OUTPUT& O = OUTPUT_OF(RESULT_UNIT);
  TEXT_LINE(O, F_A7, "VERSION");
  INT_LINE(O, F_I6, 950400);

  TEXT_LINE(O, F_A4, "PSIZ");
  const std::array SIZES{ITEM_I(0), ITEM_I(1), ITEM_I(3), ITEM_I(0),
                         ITEM_I(0), ITEM_I(0), ITEM_I(0), ITEM_I(0)};
  FORMATTED_STATEMENT(O, F_SIZES, SIZES);
  std::array<ITEM, 8> ZEROS;
  ZEROS.fill(ITEM_I(0));
  FORMATTED_STATEMENT(O, F_SIZES, ZEROS);

  // The step field is the position of the step in the result file.
  TEXT_LINE(O, F_A4, "STEP");
  const std::array STEP{ITEM_I(NREAD), ITEM_I(1), ITEM_R8(TIME)};
  FORMATTED_STATEMENT(O, F_STEP, STEP);

  TEXT_LINE(O, F_A4, "GVAL");
  for (std::int32_t i = 1; i <= NUMNP; ++i) {
    INT_LINE(O, F_I8, i);
    const std::array VALUE{ITEM_R8(H[static_cast<std::size_t>(i - 1)])};
    FORMATTED_STATEMENT(O, F_HEAD, VALUE);
  }
  INT_LINE(O, F_I2, -1);

  TEXT_LINE(O, F_A4, "EVAL");
  for (std::int32_t e = 1; e <= NUMEL; ++e) {
    const auto n = static_cast<std::size_t>(e - 1);
    INT_LINE(O, F_I8, e);
    const std::array VALUES{ITEM_R8(VX[n]), ITEM_R8(VY[n])};
    FORMATTED_STATEMENT(O, F_VELOCITY, VALUES);
  }
  INT_LINE(O, F_I2, -1);
}
