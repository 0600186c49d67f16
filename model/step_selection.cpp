#include "model/step_selection.h"

#include <algorithm>
#include <charconv>

namespace KOVA {

std::optional<STEP_SELECTION> PARSE_STEPS(std::string_view TEXT) {
  STEP_SELECTION SEL;
  if (TEXT == "all") {
    SEL.EVERY = true;
    return SEL;
  }
  if (TEXT == "final") {
    SEL.FINAL = true;
    return SEL;
  }
  for (;;) {
    std::string_view ITEM = TEXT.substr(0, TEXT.find(','));
    const std::size_t TAKEN = ITEM.size();
    if (!ITEM.empty() && ITEM.front() == '+') ITEM.remove_prefix(1);
    std::int32_t N = 0;
    const auto [END, REASON] = std::from_chars(ITEM.data(), ITEM.data() + ITEM.size(), N);
    if (ITEM.empty() || REASON != std::errc{} || END != ITEM.data() + ITEM.size()) return std::nullopt;
    if (std::find(SEL.NUMBERS.begin(), SEL.NUMBERS.end(), N) == SEL.NUMBERS.end())
      SEL.NUMBERS.push_back(N);
    if (TAKEN == TEXT.size()) return SEL;
    TEXT.remove_prefix(TAKEN + 1);
  }
}

bool TAKES_STEP(const STEP_SELECTION& SEL, std::int32_t ISTEP, std::vector<bool>& FOUND) {
  bool TAKEN = SEL.EVERY;
  for (std::size_t K = 0; K < SEL.NUMBERS.size(); ++K) {
    if (SEL.NUMBERS[K] == ISTEP) TAKEN = FOUND[K] = true;
  }
  return TAKEN;
}

}  // namespace KOVA
