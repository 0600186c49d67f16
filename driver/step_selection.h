#pragma once
// Which time steps a sibling tool writes, from its --steps value: "all",
// "final", or a comma-separated list of step numbers. A listed number is
// marked as found when a step of that number is met, so the tool can say
// which ones the file does not hold.
#include <cstdint>
#include <string_view>
#include <vector>

struct SELECTION {
  enum { ALL, FINAL, LISTED } KIND = ALL;
  std::vector<std::int32_t> NUMBERS;  // step numbers, for LISTED
  std::vector<bool> FOUND;            // per listed number: met in the file
};

// False when TEXT is none of the three forms.
bool PARSE_STEPS(std::string_view TEXT, SELECTION& SEL);

// The numbers of a comma-separated list ("3,7") appended to NUMBERS; false
// when an item is empty or not a whole 32-bit number.
bool PARSE_NUMBER_LIST(std::string_view TEXT, std::vector<std::int32_t>& NUMBERS);

// Whether the step numbered STEP is listed (or every step is asked for);
// marks the listed numbers it matches as found. FINAL never matches here: the
// final step is known only when the file ends.
bool SELECTED(SELECTION& SEL, std::int32_t STEP);
