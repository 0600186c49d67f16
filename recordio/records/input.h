#pragma once
#include <string>
// Text input: records are lines of the console (unit -4) or of a formatted
// file. A line of any length is read through a buffer of a few kilobytes.
#include <cstdint>
#include <span>

namespace KOVA {

// List-directed read of one integer item from the next record(s). VALUE keeps
// its value for a null value or a slash. Failures end the run (24, 59, 64).
void READ_INTEGER(int UNIT, std::int32_t& VALUE);

// Character read of the next record into VALUE: its first VALUE.size()
// characters, blank-padded. True when the record holds characters other than
// blanks after those taken (VALUE is cut). End of input is report 24.
bool READ_CHARACTERS(int UNIT, std::span<char> VALUE);

// The next text record of UNIT with the blanks around it removed (a typed
// file name). Of a very long line only the first few kilobytes are kept,
// enough for any name the system takes. End of input is report 24.
std::string NEXT_NAME_RECORD(int UNIT);

}  // namespace KOVA
