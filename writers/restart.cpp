// Restart data for the analysis program: per selected step a header record
// naming the step and its time, then one record per node, on unit 8.
#include <cstddef>
#include <string_view>

#include "recordio/recordio.h"
#include "writers/writers.h"

namespace {

constexpr int UNIT = 8;

// Node number, NFLAG, NCODE, then X, Y, H, Q, NPAR1, NPAR2; the scale factor
// sits inside the repeated group so every real shows one digit before the point.
constexpr FORMAT F_NODE = PARSE_FORMAT("(I5,2(',',I5),6(',',1PE12.4))");

}  // namespace

void WRITE_RESTART(INTS NFLAG, REALS X, REALS Y, REALS H, REALS Q, INTS NCODE, REALS NPAR1,
                   REALS NPAR2, std::int32_t NUMNP, std::int32_t ISTEP, double TIME) {
  OUTPUT& O = OUTPUT_OF(UNIT);
  WRITE_LIST_ITEMS(O, std::string_view(" LA,TIME "), ISTEP, TIME);

  // Node numbers are positions in the store, not values from the result file.
  for (std::int32_t i = 1; i <= NUMNP; ++i) {
    const auto n = static_cast<std::size_t>(i - 1);
    WRITE_STATEMENT<F_NODE>(O, i, NFLAG[n], NCODE[n], X[n], Y[n], H[n], Q[n], NPAR1[n], NPAR2[n]);
  }
}
