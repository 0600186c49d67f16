// Restart data for the analysis program: per selected step a header record
// naming the step and its time, then one record per node, on unit 8.
#include <array>
#include <cstddef>

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
  const std::array HEADER{ITEM_T(" LA,TIME "), ITEM_I(ISTEP), ITEM_R8(TIME)};
  LIST_STATEMENT(O, HEADER);

  // Node numbers are positions in the store, not values from the result file.
  for (std::int32_t i = 1; i <= NUMNP; ++i) {
    const auto n = static_cast<std::size_t>(i - 1);
    const std::array ITEMS{ITEM_I(i),        ITEM_I(NFLAG[n]), ITEM_I(NCODE[n]),
                           ITEM_R8(X[n]),    ITEM_R8(Y[n]),    ITEM_R8(H[n]),
                           ITEM_R8(Q[n]),    ITEM_R8(NPAR1[n]), ITEM_R8(NPAR2[n])};
    FORMATTED_STATEMENT(O, F_NODE, ITEMS);
  }
}
