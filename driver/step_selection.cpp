#include "driver/step_selection.h"

#include <charconv>

bool PARSE_STEPS(std::string_view TEXT, SELECTION& SEL) {
  SEL = SELECTION{};
  if (TEXT == "all") return true;
  if (TEXT == "final") {
    SEL.KIND = SELECTION::FINAL;
    return true;
  }
  SEL.KIND = SELECTION::LISTED;
  if (!PARSE_NUMBER_LIST(TEXT, SEL.NUMBERS)) return false;
  SEL.FOUND.assign(SEL.NUMBERS.size(), false);
  return true;
}

bool PARSE_NUMBER_LIST(std::string_view TEXT, std::vector<std::int32_t>& NUMBERS) {
  while (true) {
    const std::string_view ITEM = TEXT.substr(0, TEXT.find(','));
    std::int32_t N = 0;
    const auto [END, EC] = std::from_chars(ITEM.data(), ITEM.data() + ITEM.size(), N);
    if (ITEM.empty() || EC != std::errc{} || END != ITEM.data() + ITEM.size()) return false;
    NUMBERS.push_back(N);
    if (ITEM.size() == TEXT.size()) return true;
    TEXT.remove_prefix(ITEM.size() + 1);
  }
}

bool SELECTED(SELECTION& SEL, std::int32_t STEP) {
  bool HIT = SEL.KIND == SELECTION::ALL;
  for (std::size_t K = 0; K < SEL.NUMBERS.size(); ++K) {
    if (SEL.NUMBERS[K] == STEP) HIT = SEL.FOUND[K] = true;
  }
  return HIT;
}
