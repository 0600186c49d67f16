#pragma once
// Failure reports and warnings. A failure report writes its lines to standard
// error, writes out every unit's completed records, closes the units and ends
// the process with exit status C0000000 plus the report number. It never
// returns.
#include <string_view>

#include "recordio/run_end/report_numbers.h"

// WHICH: the report. OS_ERROR: the system's error code, 0 when the failure
// carries none; an open, write or read failure puts the system's text for it
// on a first line.
[[noreturn]] void FAIL_IO(REPORT WHICH, int UNIT, int OS_ERROR);

// One warning line on standard error ("kovaconv: warning: " + TEXT); the
// console output is written out first so that the lines keep their order.
void WARN(std::string_view TEXT);
