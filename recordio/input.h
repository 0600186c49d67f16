#pragma once
// Text input: records are lines of the console (unit -4) or of a formatted file.
#include <cstdint>
#include <span>

// List-directed read of one integer item from the next record(s). VALUE keeps
// its value for a null value or a slash. Failures end the run (24, 59, 64).
void READ_INTEGER(int UNIT, std::int32_t& VALUE);

// Character read of the next record into VALUE: its first VALUE.size()
// characters, blank-padded. End of input ends the run with report 24.
void READ_CHARACTERS(int UNIT, std::span<char> VALUE);
