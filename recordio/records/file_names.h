#pragma once
// Opening a unit by a name that may be blank: a blank name takes the next
// unused command-line argument, or is asked for at the console.
#include <string_view>

#include "recordio/records/units.h"

namespace KOVA {

// Remember the process arguments: a blank file name takes the next unused one.
void SET_COMMAND_ARGUMENTS(int ARGC, char** ARGV);

// Connect UNIT to the file NAME (blanks around it trimmed). Any failure ends
// the run with its report.
void OPEN_UNIT(int UNIT, std::string_view NAME, STATUS S, FORM F,
               NAME_FROM FROM = NAME_FROM::DIALOGUE);

}  // namespace KOVA
