#pragma once
// Which time steps a conversion takes: every step, the final one (after which
// nothing is left in the file), and the steps whose numbers are listed. The
// converter's command line and the sibling tools name them the same way.
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace KOVA {

struct STEP_SELECTION {
  bool EVERY = false;
  bool FINAL = false;
  std::vector<std::int32_t> NUMBERS;  // each listed once, in the order given
};

// "all", "final", or step numbers separated by commas ("3,7,10"; a number may
// be 0 or negative); nothing else.
std::optional<STEP_SELECTION> PARSE_STEPS(std::string_view TEXT);

// Whether SEL takes the step numbered ISTEP as every step or by its list (the
// final step is known only at the end of the file). Marks the listed numbers
// met in FOUND, one entry per number.
bool TAKES_STEP(const STEP_SELECTION& SEL, std::int32_t ISTEP, std::vector<bool>& FOUND);

}  // namespace KOVA
