// TECPLOT point data (finite-element point layout), unit 8: per selected step
// a three-line header, one point line per node with the velocities averaged
// to the nodes, and one connectivity line per counted element.
#include <array>
#include <cmath>
#include <cstddef>
#include <string_view>

#include "model/mesh.h"
#include "recordio/recordio.h"
#include "writers/writers.h"

namespace KOVA {

namespace {

constexpr int UNIT = 8;

// The counts of the zone line and the corner numbers take 5 columns unless
// the model has more nodes or elements than that shows.
constexpr int NUMBER_FIELD = 5;

template <int W>
constexpr FORMAT F_HEADER = PARSE_FORMAT_WIDTH<W>(
    "('TITLE = \"TIME=',1PE12.4,' ',20A4,'\"',/,"
    "'VARIABLES = \"X\",\"Y\",\"H\",\"VX\",\"VY\",\"V\"',/,"
    "'ZONE N= ',I#,', E= ',I#,', F=FEPOINT')");
constexpr FORMAT F_POINT = PARSE_FORMAT("(1PE12.4,6(',',1PE12.4))");
template <int W>
constexpr FORMAT F_CORNERS = PARSE_FORMAT_WIDTH<W>("(I#,3(',',I#))");

// The connectivity lines of the counted elements, corner numbers W wide,
// built by the threads when they run (they are all of one length; false:
// the threads do not run). Apart from the loop below, which is compiled as
// it is without them.
template <int W>
[[gnu::noinline]] bool CORNER_LINES_SHARED(OUTPUT& O, INTS IX, std::int32_t NUMEL, std::int32_t MAXN) {
  const auto LINE = [&](char* AT, std::size_t E) {
    return FILL_STATEMENT<F_CORNERS<W>>(AT, CORNER(IX, MAXN, E, 0), CORNER(IX, MAXN, E, 1), CORNER(IX, MAXN, E, 2),
                                        CORNER(IX, MAXN, E, 3));
  };
  const auto COUNTED = [&](std::size_t E) { return CORNER(IX, MAXN, E, 4) > 0; };
  return WRITE_FIXED_RECORDS(O, static_cast<std::size_t>(NUMEL > 0 ? NUMEL : 0), LINE, COUNTED);
}

// The same, one by one.
template <int W>
void CORNER_LINES(OUTPUT& O, INTS IX, std::int32_t NUMEL, std::int32_t MAXN) {
  if (CORNER_LINES_SHARED<W>(O, IX, NUMEL, MAXN)) return;
  for (std::int32_t E = 0; E < NUMEL; ++E) {
    if (CORNER(IX, MAXN, E, 4) <= 0) continue;
    WRITE_STATEMENT<F_CORNERS<W>>(O, CORNER(IX, MAXN, E, 0), CORNER(IX, MAXN, E, 1),
                                  CORNER(IX, MAXN, E, 2), CORNER(IX, MAXN, E, 3));
  }
}

// Node I's point line, its items handed to PUT.
template <typename PUT>
auto POINT_LINE(REALS X, REALS Y, REALS H, REALS VXN, REALS VYN, std::size_t I, const PUT& PUT_ITEMS) {
  const double V = std::sqrt(VXN[I] * VXN[I] + VYN[I] * VYN[I]);
  return PUT_ITEMS(X[I], Y[I], H[I], VXN[I], VYN[I], V);
}

// The point lines, built by the threads when they run (they are all of one
// length; false: the threads do not run).
[[gnu::noinline]] bool POINT_LINES_SHARED(OUTPUT& O, REALS X, REALS Y, REALS H, REALS VXN, REALS VYN,
                                          std::int32_t NUMNP) {
  return WRITE_FIXED_RECORDS(O, static_cast<std::size_t>(NUMNP > 0 ? NUMNP : 0), [&](char* AT, std::size_t I) {
    return POINT_LINE(X, Y, H, VXN, VYN, I, [&](const auto&... ITEMS) { return FILL_STATEMENT<F_POINT>(AT, ITEMS...); });
  });
}

}  // namespace

void WRITE_TECPLOT(const TITLE_TEXT& TITLE, REALS X, REALS Y, REALS H, REALS VX, REALS VY, INTS IX,
                   std::span<double> VXN, std::span<double> VYN, std::span<std::int32_t> NCNT,
                   std::int32_t NUMNP, std::int32_t NUMEL, std::int32_t MAXN, double TIME) {
  auto AT = [&](std::int32_t E, std::size_t J) { return CORNER(IX, MAXN, E, J); };

  // Elements with an attribute of 0 or below are left out of the block.
  std::int32_t NE = 0;
  for (std::int32_t E = 0; E < NUMEL; ++E)
    if (AT(E, 4) > 0) ++NE;

  std::array<ITEM, 23> HEAD;
  HEAD[0] = ITEM_R8(TIME);
  for (std::size_t K = 0; K < 20; ++K) HEAD[1 + K] = ITEM_T(std::string_view(TITLE.data() + 4 * K, 4));
  HEAD[21] = ITEM_I(NUMNP);
  HEAD[22] = ITEM_I(NE);
  OUTPUT& O = OUTPUT_OF(UNIT);
  const int WIDTH = NUMBER_WIDTH(UNIT, NUMBER_FIELD, NUMNP, NUMEL);
  WITH_NUMBER_WIDTH<NUMBER_FIELD>(WIDTH, [&](auto W) { FORMATTED_STATEMENT(O, F_HEADER<W()>, HEAD); });

  AVERAGE_TO_NODES(VX, VY, IX, VXN, VYN, NCNT, NUMNP, NUMEL, MAXN);

  if (!POINT_LINES_SHARED(O, X, Y, H, VXN, VYN, NUMNP)) {
    for (std::int32_t I = 0; I < NUMNP; ++I) {
      POINT_LINE(X, Y, H, VXN, VYN, static_cast<std::size_t>(I),
                 [&](const auto&... ITEMS) { WRITE_STATEMENT<F_POINT>(O, ITEMS...); });
    }
  }

  WITH_NUMBER_WIDTH<NUMBER_FIELD>(WIDTH, [&](auto W) { CORNER_LINES<W()>(O, IX, NUMEL, MAXN); });
}

}  // namespace KOVA
