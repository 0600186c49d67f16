#pragma once
// The width of an output's fields for node numbers, element numbers, corner
// numbers and the counts NUMNP and NUMEL. Each output has one such width
// (I5, I6, I7 or I8), sized for the models the layouts were made for. A model
// whose count has more digits would show those numbers as asterisks and lose
// its connectivity; its number fields are then written, for the whole output,
// as wide as the count's digits plus one, so the numbers stay whole and apart.
#include <cstdint>
#include <type_traits>
#include <utility>

namespace KOVA {

// The number width of UNIT: NORMAL while the larger of NUMNP and NUMEL fits
// NORMAL digits, else that count's digits plus one, with one warning line
// naming the count, the output and both widths. NUMEL is 0 for an output whose
// number fields hold node numbers only. Chosen at the first call after UNIT
// was opened and kept, whatever later calls pass, until it is opened again.
int NUMBER_WIDTH(int UNIT, int NORMAL, std::int32_t NUMNP, std::int32_t NUMEL);

namespace number_width {

// The widened layouts, used rarely, stay out of line and are compiled for
// size, so that the usual layout is compiled as it would be alone: its field
// editors stay inlined.
template <int NORMAL, typename BODY>
[[gnu::cold]] [[gnu::noinline]] void WIDENED(int W, BODY& body) {
  // A wider count has NORMAL + 1 to 10 digits: widths NORMAL + 2 to 11.
  [&]<int... K>(std::integer_sequence<int, K...>) {
    ((W == NORMAL + 2 + K ? (body(std::integral_constant<int, NORMAL + 2 + K>{}), 0) : 0), ...);
  }(std::make_integer_sequence<int, 10 - NORMAL>{});
}

}  // namespace number_width

// BODY(std::integral_constant<int, W>{}) for the width W chosen by
// NUMBER_WIDTH with NORMAL: the layouts of every width are prepared when the
// program is built, and one of them is taken per call, not per field.
template <int NORMAL, typename BODY>
void WITH_NUMBER_WIDTH(int W, BODY&& body) {
  if (W == NORMAL) {
    body(std::integral_constant<int, NORMAL>{});
  } else {
    number_width::WIDENED<NORMAL>(W, body);
  }
}

}  // namespace KOVA
