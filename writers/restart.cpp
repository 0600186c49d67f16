// Restart data for the analysis program: per selected step a header record
// naming the step and its time, then one record per node, on unit 8.
#include <cstddef>
#include <string_view>

#include "recordio/recordio.h"
#include "writers/writers.h"

namespace KOVA {

namespace {

constexpr int UNIT = 8;

// Node numbers take 5 columns unless the model has more nodes than that shows.
constexpr int NUMBER_FIELD = 5;

// Node number (W wide), NFLAG, NCODE, then X, Y, H, Q, NPAR1, NPAR2; the scale
// factor sits inside the repeated group so every real shows one digit before the point.
template <int W>
constexpr FORMAT F_NODE = PARSE_FORMAT_WIDTH<W>("(I#,2(',',I5),6(',',1PE12.4))");

// The node records with node numbers W wide.
template <int W>
void NODE_RECORDS(OUTPUT& O, INTS NFLAG, REALS X, REALS Y, REALS H, REALS Q, INTS NCODE,
                  REALS NPAR1, REALS NPAR2, std::int32_t NUMNP) {
  // Node numbers are positions in the store, not values from the result file.
  for (std::int32_t i = 1; i <= NUMNP; ++i) {
    const auto n = static_cast<std::size_t>(i - 1);
    WRITE_STATEMENT<F_NODE<W>>(O, i, NFLAG[n], NCODE[n], X[n], Y[n], H[n], Q[n], NPAR1[n], NPAR2[n]);
  }
}

}  // namespace

void WRITE_RESTART(INTS NFLAG, REALS X, REALS Y, REALS H, REALS Q, INTS NCODE, REALS NPAR1,
                   REALS NPAR2, std::int32_t NUMNP, std::int32_t ISTEP, double TIME) {
  OUTPUT& O = OUTPUT_OF(UNIT);
  WRITE_LIST_ITEMS(O, std::string_view(" LA,TIME "), ISTEP, TIME);
  WITH_NUMBER_WIDTH<NUMBER_FIELD>(NUMBER_WIDTH(UNIT, NUMBER_FIELD, NUMNP, 0), [&](auto W) {
    NODE_RECORDS<W()>(O, NFLAG, X, Y, H, Q, NCODE, NPAR1, NPAR2, NUMNP);
  });
}

}  // namespace KOVA
